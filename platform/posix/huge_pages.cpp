#include "windows_api.h"

#include <sys/mman.h>

#include <cstdint>

void adviseHugePages(void* start, std::size_t bytes) {
    // Only whole 2 MiB pages inside the range can be huge.
    constexpr std::uintptr_t kHugePage = 2u << 20;
    const auto begin = (reinterpret_cast<std::uintptr_t>(start) + kHugePage - 1) & ~(kHugePage - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(start) + bytes) & ~(kHugePage - 1);
    if (end > begin) {
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
    }
}
