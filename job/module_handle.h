#pragma once

#include "windows_api.h"

#include <atomic>

// The module's own handle, stored by DllMain when the module is attached to a process. A job
// in a process where that never happened does nothing.
extern std::atomic<HMODULE> moduleHandle;
