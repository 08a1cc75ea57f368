#include "windows_api.h"

#include <windows.h>

std::intptr_t lockFileExclusively(const char* path) {
    const HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return -1;
    }
    OVERLAPPED whole{};
    if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) {
        CloseHandle(file);
        return -1;
    }
    return reinterpret_cast<std::intptr_t>(file);
}

void unlockFile(std::intptr_t lock) {
    if (lock != -1) {
        // Closing the handle releases its lock.
        CloseHandle(reinterpret_cast<HANDLE>(lock));
    }
}
