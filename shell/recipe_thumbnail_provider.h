#pragma once

#include "com_api.h"

#include <atomic>

// The shell's thumbnail provider: Initialize runs the whole thumbnail job; GetThumbnail only
// reads the cached picture back as a bitmap with straight alpha.
class RecipeThumbnailProvider : public IInitializeWithFile, public IThumbnailProvider {
public:
    RecipeThumbnailProvider();

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT Initialize(LPCWSTR pszFilePath, DWORD grfMode) override;
    HRESULT GetThumbnail(UINT cx, HBITMAP* phbmp, WTS_ALPHATYPE* pdwAlpha) override;

private:
    virtual ~RecipeThumbnailProvider();

    std::atomic<ULONG> refCount{1};
};
