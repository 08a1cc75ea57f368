#include "platform_services.h"

#include <QString>

#include <windows.h>

namespace {

// FILETIME-style counts of 100 ns, which is all NTFS keeps.
std::int64_t nanoseconds(const LARGE_INTEGER& time) {
    return std::int64_t(time.QuadPart) * 100;
}

} // namespace

FileChangeTimes fileChangeTimes(const QString& path) {
    // Opened for its attributes only, shared every way, so a file being written is no error.
    const HANDLE file =
        CreateFileW(reinterpret_cast<const wchar_t*>(path.utf16()), FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return {};
    }
    FILE_BASIC_INFO basic{};
    const bool read =
        GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof(basic)) != FALSE;
    CloseHandle(file);
    return read ? FileChangeTimes{nanoseconds(basic.LastWriteTime), nanoseconds(basic.ChangeTime)}
                : FileChangeTimes{};
}
