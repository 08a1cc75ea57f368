#pragma once

// On Windows every name of the platform layer is the SDK's own.
#include <windows.h>

#include <cstddef>
#include <cstdint>

class QByteArray;
class QString;

// Chooses the Qt platform integration before the in-process application starts. Windows
// always has a desktop, so Qt's default is right; there are no X sockets to look for.
bool prepareGuiEnvironment(const char* xSocketFolder = nullptr);

// Writes `bytes` into the file at `path` itself; refuses the file `source`. False with `error`
// set on failure, leaving an empty file where there was one and none where there was none.
bool writeFileInPlace(const QString& path, const QByteArray& bytes, const QString& source,
                      QString& error);

// Linux hosts restart with a huge-page heap; the Windows heap needs no such step.
inline void restartWithHugePageHeap(char**) {}

// The Windows heap decommits freed blocks by its own policy; there is nothing to set.
inline void keepFreedHeapMemory() {}

// strtof in the "C" locale, whatever locale the host process has set: model files write
// decimal points.
float strtofC(const char* text, char** end);

// Asks the OS to back a large buffer with huge pages where it offers them: on a machine
// where each first touch of a 4 KiB page is expensive, a mesh's vertex memory faults in
// 2 MiB steps instead. A hint only; nothing changes in what the buffer holds.
void adviseHugePages(void* start, std::size_t bytes);
void* allocateLargeBuffer(std::size_t& bytes);
constexpr std::intptr_t kLockTimedOut = -2;
std::intptr_t lockFileExclusively(const char* path, DWORD milliseconds);
void unlockFile(std::intptr_t lock);
int countFolderFiles(const char* path);
