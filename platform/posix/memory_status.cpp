#include "meminfo.h"
#include "windows_api.h"

#include <chrono>
#include <mutex>

namespace {

// Reading /proc/meminfo and the memory cgroup files costs about 50 us; the mesh readers ask
// after every face line. A reading is reused for this long: the process cannot fault in more
// than a few MB meanwhile, which the 90 % guard cannot tell apart anyway.
constexpr std::chrono::milliseconds kReadingLifetime{10};

struct Reading {
    std::mutex mutex;
    std::chrono::steady_clock::time_point takenAt;
    MEMORYSTATUSEX status{};
    bool valid = false;
};

} // namespace

BOOL GlobalMemoryStatusEx(LPMEMORYSTATUSEX status) {
    if (status == nullptr || status->dwLength != sizeof(MEMORYSTATUSEX)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    static Reading last;
    const std::lock_guard<std::mutex> lock(last.mutex);
    const auto now = std::chrono::steady_clock::now();
    if (!last.valid || now - last.takenAt >= kReadingLifetime) {
        last.status.dwLength = sizeof(MEMORYSTATUSEX);
        last.valid = readMemoryStatus("", last.status);
        last.takenAt = now;
    }
    if (!last.valid) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    *status = last.status;
    return TRUE;
}
