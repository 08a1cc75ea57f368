#pragma once

#include "windows_api.h"

#include <string_view>

// Turns the text of /proc/meminfo into the fields GlobalMemoryStatusEx reports:
// the load is the used share of physical memory, the page file is the commit limit, and
// what may still be committed is the limit less what is committed already (never negative).
// Returns false when the text lacks MemTotal or MemAvailable.
bool memoryStatusFromMeminfo(std::string_view meminfo, MEMORYSTATUSEX& status);
