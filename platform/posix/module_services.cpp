#include "windows_api.h"

#include <QFile>
#include <QString>

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

thread_local DWORD lastError = ERROR_SUCCESS;

struct ModuleSearch {
    const char* wantedName = nullptr; // null: the main program
    HMODULE found = nullptr;
};

// The lowest mapped address of a loaded object is its base, which Windows calls its handle.
HMODULE baseOf(const dl_phdr_info* info) {
    ElfW(Addr) lowest = ~ElfW(Addr){0};
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        if (info->dlpi_phdr[i].p_type == PT_LOAD && info->dlpi_phdr[i].p_vaddr < lowest) {
            lowest = info->dlpi_phdr[i].p_vaddr;
        }
    }
    return reinterpret_cast<HMODULE>(info->dlpi_addr + lowest);
}

int findModule(dl_phdr_info* info, size_t, void* data) {
    auto* search = static_cast<ModuleSearch*>(data);
    // The main program comes first and has an empty name.
    if (search->wantedName == nullptr) {
        search->found = baseOf(info);
        return 1;
    }
    const char* name = info->dlpi_name;
    const char* slash = std::strrchr(name, '/');
    if (std::strcmp(slash != nullptr ? slash + 1 : name, search->wantedName) == 0) {
        search->found = baseOf(info);
        return 1;
    }
    return 0;
}

std::string moduleFilePath(HMODULE module) {
    if (module == nullptr || module == GetModuleHandleW(nullptr)) {
        char path[PATH_MAX];
        const ssize_t length = readlink("/proc/self/exe", path, sizeof(path));
        return length > 0 ? std::string(path, static_cast<size_t>(length)) : std::string();
    }
    Dl_info info{};
    if (dladdr(module, &info) == 0 || info.dli_fbase != module || info.dli_fname == nullptr) {
        return {};
    }
    char* resolved = realpath(info.dli_fname, nullptr);
    std::string path = resolved != nullptr ? resolved : info.dli_fname;
    std::free(resolved);
    return path;
}

// Windows' contract: copy at most size - 1 characters and a terminator; when the path is cut,
// return size and report ERROR_INSUFFICIENT_BUFFER; on success return the length.
template <typename Char, typename Text> DWORD copyPath(const Text& path, Char* buffer, DWORD size) {
    if (path.empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    if (buffer == nullptr || size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    const DWORD fits = static_cast<DWORD>(std::min<size_t>(path.size(), size - 1));
    for (DWORD i = 0; i < fits; ++i) {
        buffer[i] = static_cast<Char>(path[i]);
    }
    buffer[fits] = 0;
    if (fits < path.size()) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    SetLastError(ERROR_SUCCESS);
    return fits;
}

} // namespace

DWORD GetLastError() {
    return lastError;
}

void SetLastError(DWORD code) {
    lastError = code;
}

HMODULE GetModuleHandleW(LPCWSTR moduleName) {
    QByteArray name;
    ModuleSearch search;
    if (moduleName != nullptr) {
        name = QFile::encodeName(QString::fromWCharArray(moduleName));
        search.wantedName = name.constData();
    }
    dl_iterate_phdr(findModule, &search);
    if (search.found == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
    }
    return search.found;
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
    return copyPath(moduleFilePath(module), buffer, size);
}

// The ANSI variant gives the file system's bytes; this one the characters they encode, as
// UTF-16 units like Windows' WCHARs. Unit for unit, a byte that is no UTF-8 stays the lone
// surrogate that stands for it (see keepFileNamesWhole), which toStdWString would turn into
// U+FFFD, naming another file.
DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size) {
    const QString path = QFile::decodeName(QByteArray::fromStdString(moduleFilePath(module)));
    return copyPath(std::wstring(path.utf16(), path.utf16() + path.size()), buffer, size);
}

BOOL DisableThreadLibraryCalls(HMODULE module) {
    // No thread notifications exist here, so there is nothing to switch off.
    if (module == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}
