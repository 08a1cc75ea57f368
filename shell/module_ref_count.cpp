#include "module_ref_count.h"

std::atomic<LONG> moduleRefCount{0};
