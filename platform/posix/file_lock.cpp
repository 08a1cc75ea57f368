#include "windows_api.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

std::intptr_t lockFileExclusively(const char* path) {
    const int descriptor = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (descriptor < 0) {
        return -1;
    }
    while (flock(descriptor, LOCK_EX) != 0) {
        if (errno != EINTR) {
            close(descriptor);
            return -1;
        }
    }
    return descriptor;
}

void unlockFile(std::intptr_t lock) {
    if (lock >= 0) {
        // Closing the only descriptor of the open file releases its lock.
        close(static_cast<int>(lock));
    }
}
