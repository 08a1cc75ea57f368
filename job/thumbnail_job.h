#pragma once

#include "preview_suffix.h"
#include "producers.h"
#include "windows_api.h"

#include <QString>

// The per-user data folder, settled by the first job of the process.
QString settledDataRoot();

// The body of the provider's Initialize: brings the cache up to date for one file. S_OK, or
// S_FALSE when the module was never attached or the renderer was not ready.
HRESULT runThumbnailJob(LPCWSTR path, ThumbnailProducers& producers = defaultProducers());
