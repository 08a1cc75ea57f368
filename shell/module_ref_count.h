#pragma once

#include "com_api.h"

#include <atomic>

// Live factories and providers plus LockServer locks: while above zero the module stays.
extern std::atomic<LONG> moduleRefCount;
