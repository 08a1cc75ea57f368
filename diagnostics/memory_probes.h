#pragma once

#include "windows_api.h"

#include <QtGlobal>

// The machine's memory state, as the mesh reader's guard sees it.
quint64 availablePhysicalMemory();
quint32 memoryLoad();
quint64 availablePageFile();

// Where the probes get their record from; GlobalMemoryStatusEx unless a test installs another
// source to drive the guard to a chosen load. Returns the source it replaces.
using MemoryStatusSource = BOOL (*)(LPMEMORYSTATUSEX);
MemoryStatusSource setMemoryStatusSource(MemoryStatusSource source);
