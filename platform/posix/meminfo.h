#pragma once

#include "windows_api.h"

#include <string>
#include <string_view>

// Turns the text of /proc/meminfo into the fields GlobalMemoryStatusEx reports:
// the load is the used share of physical memory, the page file is the commit limit, and
// what may still be committed is the limit less what is committed already (never negative).
// Returns false when the text lacks MemTotal or MemAvailable.
bool memoryStatusFromMeminfo(std::string_view meminfo, MEMORYSTATUSEX& status);

// /proc/meminfo's figures narrowed to the process's memory cgroups (narrowToMemoryCgroups).
// Every file is read below `root`, "" for this machine. False when /proc/meminfo cannot be
// used.
bool readMemoryStatus(const std::string& root, MEMORYSTATUSEX& status);
