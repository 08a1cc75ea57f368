#pragma once

// The subset of the Windows API that the system calls, with the SDK's names, types and return
// codes, so that the code above this layer reads as it does on Windows.

#include <cstddef>
#include <cstdint>

class QByteArray;
class QString;

using BOOL = int;
using DWORD = std::uint32_t;
using DWORDLONG = std::uint64_t;
using LONG = std::int32_t;
using HRESULT = std::int32_t;
using WCHAR = wchar_t;
using LPCWSTR = const WCHAR*;
using LPWSTR = WCHAR*;
using LPSTR = char*;
using LPVOID = void*;

struct HINSTANCE__;
using HINSTANCE = HINSTANCE__*;
using HMODULE = HINSTANCE;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);
constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111);

constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
constexpr DWORD ERROR_PROC_NOT_FOUND = 127;
constexpr DWORD ERROR_BAD_EXE_FORMAT = 193;

constexpr bool SUCCEEDED(HRESULT hr) {
    return hr >= 0;
}
constexpr bool FAILED(HRESULT hr) {
    return hr < 0;
}
constexpr HRESULT HRESULT_FROM_WIN32(DWORD code) {
    return code == 0 ? 0 : static_cast<HRESULT>((code & 0x0000FFFFu) | 0x80070000u);
}

constexpr DWORD DLL_PROCESS_DETACH = 0;
constexpr DWORD DLL_PROCESS_ATTACH = 1;
constexpr DWORD DLL_THREAD_ATTACH = 2;
constexpr DWORD DLL_THREAD_DETACH = 3;

// Module services. A module handle is the base address of the mapped module, as on Windows.
DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size);
DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size);
HMODULE GetModuleHandleW(LPCWSTR moduleName);
DWORD GetLastError();
void SetLastError(DWORD code);
BOOL DisableThreadLibraryCalls(HMODULE module);

// Memory services.
struct MEMORYSTATUSEX {
    DWORD dwLength;
    DWORD dwMemoryLoad;
    DWORDLONG ullTotalPhys;
    DWORDLONG ullAvailPhys;
    DWORDLONG ullTotalPageFile;
    DWORDLONG ullAvailPageFile;
    DWORDLONG ullTotalVirtual;
    DWORDLONG ullAvailVirtual;
    DWORDLONG ullAvailExtendedVirtual;
};
using LPMEMORYSTATUSEX = MEMORYSTATUSEX*;
static_assert(sizeof(MEMORYSTATUSEX) == 64, "the caller sets dwLength to the record size, 64");

BOOL GlobalMemoryStatusEx(LPMEMORYSTATUSEX status);

// Defined by the module; the loader stand-in calls it when the shared library is mapped.
extern "C" BOOL DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

// Chooses the Qt platform integration before the application starts, whatever the session
// exports: a host whose display is missing, unreachable or silent must not abort or hang inside
// Qt's plug-ins, and renders through our display-free plug-in instead. The X server's local
// sockets are looked for in `xSocketFolder`. False when the address-space limit leaves the
// OpenGL driver no room to start: then a platform without OpenGL is chosen, so meshes fail
// cleanly instead of crashing in the driver.
bool prepareGuiEnvironment(const char* xSocketFolder = "/tmp/.X11-unix");

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
// already made, by the user too, or the restart fails.
void restartWithHugePageHeap(char** argv);

// Keeps what the process frees on its heap (up to 256 MiB at the top) instead of handing it
// back to the OS at once, and takes blocks of up to 32 MiB from the heap: the OpenGL
// rasteriser frees and takes again tens of MiB while it draws, and each page handed back
// costs a fresh fault when it is taken again.
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
std::intptr_t lockFileExclusively(const char* path, DWORD milliseconds);
void unlockFile(std::intptr_t lock);

// How many files QDir(path).entryList(QDir::Files) lists: files and links to files, hidden
// names left out; 0 for a folder that cannot be read. Without a QFileInfo for each entry, as
// a bucket of 500 pictures is counted for every picture saved.
int countFolderFiles(const char* path);
