#pragma once

#include "com_api.h"

#include <QImage>
#include <QString>

// One provider's life as the shell lives it: create it through the module's class object,
// Initialize with a file (unless told not to), then GetThumbnail.
struct ProviderAnswer {
    HRESULT initialized = E_FAIL;
    HRESULT answered = E_FAIL;
    HBITMAP bitmap = nullptr; // the caller owns it
    WTS_ALPHATYPE alpha = WTSAT_UNKNOWN;
};
ProviderAnswer askProvider(const QString& path, UINT size = 256, bool initialize = true);

// The pixels of a 32-bit top-down DIB section, as ARGB32.
QImage pixelsOf(HBITMAP bitmap);
