#include "windows_api.h"

#include <dlfcn.h>

namespace {

HINSTANCE thisModule() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&thisModule), &info) == 0) {
        return nullptr;
    }
    return static_cast<HINSTANCE>(info.dli_fbase);
}

// The Windows loader calls DllMain when it maps the DLL and when it unmaps it.
__attribute__((constructor)) void attachModule() {
    DllMain(thisModule(), DLL_PROCESS_ATTACH, nullptr);
}

__attribute__((destructor)) void detachModule() {
    DllMain(thisModule(), DLL_PROCESS_DETACH, nullptr);
}

} // namespace
