#include "class_factory.h"
#include "entry_points.h"
#include "module_ref_count.h"
#include "registry_names.h"

#include <new>

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    // Callers release whatever the out pointer holds after a failure, so no path leaves it
    // as they passed it.
    if (ppv != nullptr) {
        *ppv = nullptr;
    }
    if (rclsid != CLSID_RecipeThumbnailProvider) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    auto* factory = new (std::nothrow) ClassFactory;
    if (factory == nullptr) {
        return E_OUTOFMEMORY;
    }
    const HRESULT result = factory->QueryInterface(riid, ppv);
    factory->Release();
    return result;
}

STDAPI DllCanUnloadNow() {
    return moduleRefCount > 0 ? S_FALSE : S_OK;
}
