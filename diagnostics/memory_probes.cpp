#include "memory_probes.h"

#include <atomic>

namespace {

std::atomic<MemoryStatusSource> statusSource{&GlobalMemoryStatusEx};

// A failed query reads as "nothing available, no load": the guard only ever stops a read at a
// high load, so a failure never stops one by itself.
MEMORYSTATUSEX queryMemoryStatus() {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof(MEMORYSTATUSEX);
    if (!statusSource.load()(&status)) {
        status = MEMORYSTATUSEX{};
    }
    return status;
}

} // namespace

MemoryStatusSource setMemoryStatusSource(MemoryStatusSource source) {
    return statusSource.exchange(source != nullptr ? source : &GlobalMemoryStatusEx);
}

quint64 availablePhysicalMemory() {
    return queryMemoryStatus().ullAvailPhys;
}

quint32 memoryLoad() {
    return queryMemoryStatus().dwMemoryLoad;
}

quint64 availablePageFile() {
    return queryMemoryStatus().ullAvailPageFile;
}
