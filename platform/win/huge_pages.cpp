#include "windows_api.h"

// Large pages need a privilege that a shell extension never has.
void adviseHugePages(void*, std::size_t) {}
