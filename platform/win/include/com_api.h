#pragma once

// On Windows the COM, shell, GDI and registry names are the SDK's own; the HBITMAP bridge is
// Qt's.
#include "windows_api.h"

// StringCch* and its error codes only; the C library's string functions stay usable.
#define STRSAFE_NO_DEPRECATE
#include <shlobj.h>
#include <shlwapi.h>
#include <strsafe.h>
#include <thumbcache.h>

#include <string>

class QImage;

// Exported by Qt's GUI library without a public header.
HBITMAP qt_imageToWinHBITMAP(const QImage& image, int hbitmapFormat = 0);

// An entry point as the function type it has. FARPROC is a function type of its own; through
// void (*)() the conversion to any other function pointer type is one the compiler accepts
// without a cast-function-type warning.
template <typename Function> Function procAddress(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// Where the registry lives, as a person would look for it.
inline std::string registryLocation() {
    return "HKEY_CLASSES_ROOT (the system registry)";
}
