#pragma once

#include <string>

// GLIBC_TUNABLES `current` (null when unset) with glibc's malloc asked to back its blocks with
// transparent huge pages; empty when `current` already settles that tunable either way.
std::string withHugePageHeap(const char* current);
