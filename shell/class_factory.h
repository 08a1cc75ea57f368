#pragma once

#include "com_api.h"

#include <atomic>

// Creates RecipeThumbnailProvider objects for the shell.
class ClassFactory : public IClassFactory {
public:
    ClassFactory();

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override;
    HRESULT LockServer(BOOL fLock) override;

private:
    // Only Release destroys it, when the last reference goes.
    virtual ~ClassFactory();

    std::atomic<ULONG> refCount{1};
};
