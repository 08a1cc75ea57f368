#include "module_handle.h"

std::atomic<HMODULE> moduleHandle{nullptr};
