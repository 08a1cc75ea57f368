#pragma once

// On Windows the COM, shell, GDI and registry names are the SDK's own; the HBITMAP bridge is
// Qt's.
#include "windows_api.h"

#include <QImage>
#include <shlobj.h>
#include <shlwapi.h>
#include <thumbcache.h>

HBITMAP qt_imageToWinHBITMAP(const QImage& image, int hbitmapFormat = 0);
