#include "platform_services.h"

#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <initializer_list>

namespace {

// The folder a termination signal removes, copied where a signal handler may read it.
char folderToRemove[4096];

void removeFolderAndDie(int signal) {
    rmdir(folderToRemove);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

} // namespace

bool isPrivateFolder(const char* path) {
    struct stat status {};
    return stat(path, &status) == 0 && S_ISDIR(status.st_mode) && status.st_uid == geteuid() &&
           (status.st_mode & 07777) == S_IRWXU;
}

bool removeFolderOnTermination(const char* path) {
    if (std::strlen(path) >= sizeof(folderToRemove)) {
        return false;
    }
    std::strcpy(folderToRemove, path);
    struct sigaction action {};
    action.sa_handler = &removeFolderAndDie;
    sigemptyset(&action.sa_mask);
    for (const int ending : {SIGTERM, SIGINT, SIGHUP, SIGQUIT}) {
        sigaction(ending, &action, nullptr);
    }
    return true;
}
