#include "platform_services.h"

#include <cstdlib>

// Large pages need a privilege that a shell extension never has.
void adviseHugePages(void*, std::size_t) {}

void* allocateLargeBuffer(std::size_t& bytes) {
    return std::malloc(bytes);
}
