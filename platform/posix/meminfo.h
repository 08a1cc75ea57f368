#pragma once

#include "windows_api.h"

#include <string>
#include <string_view>

// Turns the text of /proc/meminfo into the fields GlobalMemoryStatusEx reports:
// the load is the used share of physical memory, the page file is the commit limit, and
// what may still be committed is the limit less what is committed already (never negative).
// Returns false when the text lacks MemTotal or MemAvailable.
bool memoryStatusFromMeminfo(std::string_view meminfo, MEMORYSTATUSEX& status);

// The machine's figures narrowed to the memory this process may really use: a memory cgroup
// on the way from the process's own group up to its hierarchy's root kills the process at its
// limit whatever the machine has free, so the tightest level sets the available memory, the
// load and the total. Cgroup v2, v1 and both at once are found through /proc/self/cgroup and
// /proc/self/mountinfo; where they cannot be read (no /sys in a sandbox) the machine's figures
// stand. Every file is read below `root`, "" for this machine. False when /proc/meminfo cannot
// be used.
bool readMemoryStatus(const std::string& root, MEMORYSTATUSEX& status);
