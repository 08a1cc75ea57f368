#pragma once

#include "windows_api.h"

#include <string>

// Narrows the machine's figures in `status` to the memory this process may really use: a
// memory cgroup on the way from the process's own group up to its hierarchy's root kills the
// process at its limit whatever the machine has free, so the tightest level sets the
// available memory, the load and the total. Cgroup v2, v1 and both at once are found through
// /proc/self/cgroup and /proc/self/mountinfo; where they cannot be read (no /sys in a
// sandbox) the figures stay. Every file is read below `root`, "" for this machine.
void narrowToMemoryCgroups(const std::string& root, MEMORYSTATUSEX& status);
