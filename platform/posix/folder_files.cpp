#include "platform_services.h"

#include <dirent.h>
#include <sys/stat.h>

int countFolderFiles(const char* path) {
    DIR* folder = opendir(path);
    if (folder == nullptr) {
        return 0;
    }
    const int descriptor = dirfd(folder);
    int files = 0;
    while (const dirent* entry = readdir(folder)) {
        // Hidden names, "." and ".." among them, do not count.
        if (entry->d_name[0] == '.') {
            continue;
        }
        if (entry->d_type == DT_REG) {
            ++files;
            continue;
        }
        // A link counts when it leads to a file; a file system without entry types asks too.
        struct stat target {};
        if ((entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) &&
            fstatat(descriptor, entry->d_name, &target, 0) == 0 && S_ISREG(target.st_mode)) {
            ++files;
        }
    }
    closedir(folder);
    return files;
}
