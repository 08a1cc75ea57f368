#include "class_factory.h"

#include "module_ref_count.h"
#include "recipe_thumbnail_provider.h"

#include <new>

ClassFactory::ClassFactory() {
    ++moduleRefCount;
}

ClassFactory::~ClassFactory() {
    --moduleRefCount;
}

HRESULT ClassFactory::QueryInterface(REFIID riid, void** ppv) {
    static const QITAB table[] = {{&IID_IClassFactory, OFFSETOFCLASS(IClassFactory, ClassFactory)},
                                  {nullptr, 0}};
    return QISearch(this, table, riid, ppv);
}

ULONG ClassFactory::AddRef() {
    return ++refCount;
}

ULONG ClassFactory::Release() {
    const ULONG left = --refCount;
    if (left == 0) {
        delete this;
    }
    return left;
}

HRESULT ClassFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) {
    if (ppv != nullptr) {
        *ppv = nullptr;
    }
    if (pUnkOuter != nullptr) {
        return CLASS_E_NOAGGREGATION;
    }
    auto* provider = new (std::nothrow) RecipeThumbnailProvider;
    if (provider == nullptr) {
        return E_OUTOFMEMORY;
    }
    // The caller ends up the only owner, or the object goes at once when it was refused.
    const HRESULT result = provider->QueryInterface(riid, ppv);
    provider->Release();
    return result;
}

HRESULT ClassFactory::LockServer(BOOL fLock) {
    if (fLock) {
        ++moduleRefCount;
    } else {
        --moduleRefCount;
    }
    return S_OK;
}
