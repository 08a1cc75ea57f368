#pragma once

#include "com_api.h"

// The names the module is registered under: written by its registration, looked up by the
// hosts that load it as the shell does.

// The class of RecipeThumbnailProvider, registered for every served extension.
extern const CLSID CLSID_RecipeThumbnailProvider;

// The shell's handler category for thumbnail providers (IID_IThumbnailProvider), below an
// extension's key.
inline constexpr wchar_t kThumbnailHandler[] = L"\\shellex\\{e357fccd-a995-4576-b01f-234630154e96}";
