#include "com_api.h"

#include <QFile>
#include <QString>

#include <dlfcn.h>

#include <map>
#include <mutex>

namespace {

// Module handles are base addresses (as GetModuleHandleW gives them); the loader's own
// handles are kept beside them.
std::mutex loadedMutex;
std::map<HMODULE, void*> loaded;

HMODULE baseOf(void* library) {
    // Any symbol of the library lies inside it; its object's base is the module handle.
    for (const char* symbol : {"DllGetClassObject", "_init", "_fini"}) {
        if (void* address = dlsym(library, symbol)) {
            Dl_info info{};
            if (dladdr(address, &info) != 0) {
                return static_cast<HMODULE>(info.dli_fbase);
            }
        }
    }
    return nullptr;
}

// A file that is there but is no module at all is refused differently from a module that
// cannot be found or whose own dependencies fail.
bool isModuleFile(const QByteArray& path) {
    QFile file(QFile::decodeName(path));
    if (!file.open(QIODevice::ReadOnly)) {
        return true;
    }
    return file.read(4) == QByteArray("\177ELF", 4);
}

} // namespace

HMODULE LoadLibraryW(LPCWSTR lpLibFileName) {
    if (lpLibFileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // The file system names files in its own encoding (UTF-8 here), not in UTF-16 units.
    const QByteArray path = QFile::encodeName(QString::fromWCharArray(lpLibFileName));
    void* library = dlopen(path.constData(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        SetLastError(isModuleFile(path) ? ERROR_MOD_NOT_FOUND : ERROR_BAD_EXE_FORMAT);
        return nullptr;
    }
    const HMODULE module = baseOf(library);
    if (module == nullptr) {
        dlclose(library);
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    const std::lock_guard<std::mutex> lock(loadedMutex);
    loaded.emplace(module, library);
    return module;
}

FARPROC GetProcAddress(HMODULE hModule, const char* lpProcName) {
    void* library = nullptr;
    {
        const std::lock_guard<std::mutex> lock(loadedMutex);
        const auto it = loaded.find(hModule);
        library = it == loaded.end() ? nullptr : it->second;
    }
    void* address = library != nullptr ? dlsym(library, lpProcName) : nullptr;
    if (address == nullptr) {
        SetLastError(library != nullptr ? ERROR_PROC_NOT_FOUND : ERROR_INVALID_HANDLE);
    }
    return reinterpret_cast<FARPROC>(address);
}
