#pragma once

// Our own services over the operating system, for the layers above: one declaration each, the
// body under posix/ or win/. The Windows names the system itself calls are in windows_api.h.

#include <cstddef>
#include <cstdint>

class QByteArray;
class QString;

// Where prepareGuiEnvironment looks for the X server's local sockets by default; null on
// Windows, which has no X server to look for.
extern const char* const kXSocketFolder;

// Chooses the Qt platform integration before the application starts, whatever the session
// exports: a host whose display is missing, unreachable or silent must not abort or hang inside
// Qt's plug-ins, and renders through our display-free plug-in instead. The X server's local
// sockets are looked for in `xSocketFolder`. False when the address-space limit leaves the
// OpenGL driver no room to start: then a platform without OpenGL is chosen, so meshes fail
// cleanly instead of crashing in the driver. Windows always has a desktop, so Qt's default is
// right there.
bool prepareGuiEnvironment(const char* xSocketFolder = kXSocketFolder);

// A folder that only this process's user may enter, read or write (mode 0700, owned by it), as
// the freedesktop runtime folder must be; on Windows every folder passes.
bool isPrivateFolder(const char* path);
// Removes the empty folder at `path` when a signal that ends the program arrives (SIGTERM,
// SIGINT, SIGHUP, SIGQUIT), then ends it as the signal would have: a program stopped by its
// client leaves no folder of its own behind. False when the path is too long to keep.
bool removeFolderOnTermination(const char* path);

// A file's modification time and the time of its last change of any kind (Unix's inode change
// time, NTFS's ChangeTime), in nanoseconds since the epoch. Unlike the modification time, the
// change time cannot be set back: a copy that keeps an old time (cp -p, rsync -t) or an edit
// within the same second still changes it. Both 0 when the file cannot be looked at.
struct FileChangeTimes {
    std::int64_t modified = 0;
    std::int64_t changed = 0;

    bool operator==(const FileChangeTimes& other) const {
        return modified == other.modified && changed == other.changed;
    }
};
FileChangeTimes fileChangeTimes(const QString& path);

// Writes `bytes` into the file at `path` itself, creating it if there is none: a client that
// holds `path` open reads what was written, which a rename over it would hide. Refuses a path
// that is not a regular file or is the same file as `source`, and leaves a failed write (a full
// disk, a file size limit) with no picture: an empty file where there was one, none where
// there was none. False with `error` set on failure.
bool writeFileInPlace(const QString& path, const QByteArray& bytes, const QString& source,
                      QString& error);

// Called first thing by a host program: restarts it once with glibc's malloc backing its
// blocks with huge pages (the tunable glibc.malloc.hugetlb=1). The OpenGL rasteriser keeps
// large vertex and shader buffers of its own on the heap; on machines where each first touch
// of a 4 KiB page is expensive they then fault in 2 MiB steps. Returns when the setting is
// already made, by the user too, or the restart fails; at once on Windows, whose heap needs no
// such step.
void restartWithHugePageHeap(char** argv);

// Keeps what the process frees on its heap (up to 256 MiB at the top) instead of handing it
// back to the OS at once, and takes blocks of up to 32 MiB from the heap: the OpenGL
// rasteriser frees and takes again tens of MiB while it draws, and each page handed back
// costs a fresh fault when it is taken again. The Windows heap decommits freed blocks by its
// own policy; there is nothing to set there.
void keepFreedHeapMemory();

// strtof in the "C" locale, whatever locale the host process has set: model files write
// decimal points.
float strtofC(const char* text, char** end);

// Asks the OS to back a large buffer with huge pages where it offers them: on a machine
// where each first touch of a 4 KiB page is expensive, a mesh's vertex memory faults in
// 2 MiB steps instead. A hint only; nothing changes in what the buffer holds.
void adviseHugePages(void* start, std::size_t bytes);

// A fresh block for a large buffer, to be released with std::free, laid out so that huge
// pages can back all of it: on Linux aligned to 2 MiB and rounded up to whole huge pages,
// the usable size written back to `bytes`. Null when out of memory.
void* allocateLargeBuffer(std::size_t& bytes);

// The lock that processes sharing a folder take in turns: the file at `path` (created when
// missing and never removed) locked exclusively, waiting at most `milliseconds` while another
// holder has it. The OS drops the lock of a process that dies. -1 when the file cannot be
// opened, kLockTimedOut when another holder kept it past the wait.
constexpr std::intptr_t kLockTimedOut = -2;
std::intptr_t lockFileExclusively(const char* path, std::uint32_t milliseconds);
void unlockFile(std::intptr_t lock);

// How many files QDir(path).entryList(QDir::Files) lists: files and links to files, hidden
// names left out; 0 for a folder that cannot be read. Without a QFileInfo for each entry, as
// a bucket of 500 pictures is counted for every picture saved.
int countFolderFiles(const char* path);
