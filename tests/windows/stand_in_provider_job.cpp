#include "recipe_thumbnail_provider.h"

// The provider's work without the job driver, which needs Qt and the renderer: it accepts a
// file and is never asked for a picture here. The COM identity around it is the module's own.

HRESULT RecipeThumbnailProvider::Initialize(LPCWSTR pszFilePath, DWORD) {
    return pszFilePath == nullptr ? E_INVALIDARG : S_OK;
}

HRESULT RecipeThumbnailProvider::GetThumbnail(UINT, HBITMAP*, WTS_ALPHATYPE*) {
    return E_NOTIMPL;
}
