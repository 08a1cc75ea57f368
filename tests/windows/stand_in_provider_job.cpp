#include "recipe_thumbnail_provider.h"

// The provider's work without the job driver, which needs Qt and the renderer: it accepts a
// file and has no picture for it. The COM identity around it is the module's own.

HRESULT RecipeThumbnailProvider::Initialize(LPCWSTR pszFilePath, DWORD) {
    return pszFilePath == nullptr ? E_INVALIDARG : S_OK;
}

HRESULT RecipeThumbnailProvider::GetThumbnail(UINT, HBITMAP* phbmp, WTS_ALPHATYPE* pdwAlpha) {
    if (pdwAlpha != nullptr) {
        *pdwAlpha = WTSAT_ARGB;
    }
    if (phbmp != nullptr) {
        *phbmp = nullptr;
    }
    return S_OK;
}
