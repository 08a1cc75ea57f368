#include "platform_services.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

namespace {
constexpr std::uintptr_t kHugePage = 2u << 20;
} // namespace

void adviseHugePages(void* start, std::size_t bytes) {
    // Only whole 2 MiB pages inside the range can be huge.
    const auto begin = (reinterpret_cast<std::uintptr_t>(start) + kHugePage - 1) & ~(kHugePage - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(start) + bytes) & ~(kHugePage - 1);
    if (end > begin) {
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
    }
}

void* allocateLargeBuffer(std::size_t& bytes) {
    // A block from malloc starts anywhere: its first and last partial 2 MiB would fault in
    // 4 KiB pages, hundreds of them, each far dearer than a huge page.
    const std::size_t rounded = (bytes + kHugePage - 1) & ~(kHugePage - 1);
    void* block = std::aligned_alloc(kHugePage, rounded);
    if (block != nullptr) {
        madvise(block, rounded, MADV_HUGEPAGE);
        bytes = rounded;
    }
    return block;
}
