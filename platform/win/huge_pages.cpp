#include "windows_api.h"

#include <cstdlib>

// Large pages need a privilege that a shell extension never has.
void adviseHugePages(void*, std::size_t) {}

void* allocateLargeBuffer(std::size_t& bytes) {
    return std::malloc(bytes);
}
