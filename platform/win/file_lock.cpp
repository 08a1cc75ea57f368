#include "platform_services.h"

#include <windows.h>

#include <algorithm>

namespace {

// A holder keeps the lock for one picture save; short first naps answer that case quickly,
// longer ones keep a long wait from spinning.
constexpr DWORD kFirstNap = 1;
constexpr DWORD kLongestNap = 20;

} // namespace

std::intptr_t lockFileExclusively(const char* path, std::uint32_t milliseconds) {
    const HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return -1;
    }
    // A blocking LockFileEx has no time limit: try without blocking until the deadline.
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    DWORD nap = kFirstNap;
    for (;;) {
        OVERLAPPED whole{};
        if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD,
                       MAXDWORD, &whole)) {
            return reinterpret_cast<std::intptr_t>(file);
        }
        const ULONGLONG now = GetTickCount64();
        if (GetLastError() != ERROR_LOCK_VIOLATION || now >= deadline) {
            const bool timedOut = GetLastError() == ERROR_LOCK_VIOLATION;
            CloseHandle(file);
            return timedOut ? kLockTimedOut : -1;
        }
        Sleep(static_cast<DWORD>(std::min<ULONGLONG>(nap, deadline - now)));
        nap = std::min(nap * 2, kLongestNap);
    }
}

void unlockFile(std::intptr_t lock) {
    if (lock >= 0) {
        // Closing the handle releases its lock.
        CloseHandle(reinterpret_cast<HANDLE>(lock));
    }
}
