#include "heap_tunables.h"

#include "platform_services.h"

#include <malloc.h>

#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {
constexpr char kTunables[] = "GLIBC_TUNABLES";
constexpr char kHugePageHeap[] = "glibc.malloc.hugetlb";
constexpr int kHeapMappedFrom = 32 << 20;
constexpr int kHeapKept = 256 << 20;
} // namespace

std::string withHugePageHeap(const char* current) {
    if (current == nullptr || *current == '\0') {
        return std::string(kHugePageHeap) + "=1";
    }
    if (std::strstr(current, kHugePageHeap) != nullptr) {
        return {};
    }
    return std::string(current) + ":" + kHugePageHeap + "=1";
}

void restartWithHugePageHeap(char** argv) {
    const std::string tunables = withHugePageHeap(std::getenv(kTunables));
    if (tunables.empty()) {
        return;
    }
    // glibc reads its tunables once, when the program starts, so the setting takes a restart;
    // the restarted program finds it set and goes on.
    if (setenv(kTunables, tunables.c_str(), 1) == 0) {
        execv("/proc/self/exe", argv);
    }
}

void keepFreedHeapMemory() {
    // A trim threshold of one's own also freezes glibc's adaptive mapping threshold at its
    // start value, 128 KiB; set alone it would make every larger block a fresh mapping.
    mallopt(M_MMAP_THRESHOLD, kHeapMappedFrom);
    mallopt(M_TRIM_THRESHOLD, kHeapKept);
}
