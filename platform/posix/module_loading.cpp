#include "com_api.h"

#include <dlfcn.h>

#include <map>
#include <mutex>
#include <string>

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

} // namespace

HMODULE LoadLibraryW(LPCWSTR lpLibFileName) {
    if (lpLibFileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::string path;
    for (LPCWSTR c = lpLibFileName; *c != 0; ++c) {
        path.push_back(static_cast<char>(*c));
    }
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
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
        SetLastError(ERROR_INVALID_PARAMETER);
    }
    return reinterpret_cast<FARPROC>(address);
}
