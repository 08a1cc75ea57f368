#include "com_api.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>

// A DIB section: its header and its pixels, top row first (a top-down DIB), 4 bytes a pixel (B, G,
// R, A). The pixels are those of a 32-bit QImage, whose rows are exactly 4 x width bytes apart as a
// DIB's are; holding the image shares them instead of copying 640 KB into fresh memory for each
// thumbnail.
struct HBITMAP__ {
    DIBSECTION section{};
    QImage pixels;
};

namespace {

// Handles that are alive, so that GetObject and DeleteObject refuse anything else.
std::mutex liveMutex;
std::set<HBITMAP> live;

bool isLive(HGDIOBJ object) {
    const std::lock_guard<std::mutex> lock(liveMutex);
    return live.count(static_cast<HBITMAP>(object)) != 0;
}

} // namespace

HBITMAP qt_imageToWinHBITMAP(const QImage& image, int hbitmapFormat) {
    if (image.isNull()) {
        return nullptr;
    }
    const QImage::Format wanted = hbitmapFormat == 2   ? QImage::Format_ARGB32
                                  : hbitmapFormat == 1 ? QImage::Format_ARGB32_Premultiplied
                                                       : QImage::Format_RGB32;
    // An opaque RGB32 picture already holds the bytes of ARGB32 with alpha 255.
    const bool sameBytes = image.format() == wanted || (image.format() == QImage::Format_RGB32 &&
                                                        wanted != QImage::Format_RGB32);
    auto bitmap = std::make_unique<HBITMAP__>();
    bitmap->pixels = sameBytes ? image : image.convertToFormat(wanted);
    const LONG width = bitmap->pixels.width();
    const LONG height = bitmap->pixels.height();
    const std::size_t rowBytes = 4 * static_cast<std::size_t>(width);
    // ARGB32 in memory on a little-endian machine is B, G, R, A: the DIB's own order. The
    // shell may write to a DIB section's bits; the image handed in is the caller's temporary.
    BYTE* bits = const_cast<uchar*>(bitmap->pixels.constBits());
    BITMAP& bm = bitmap->section.dsBm;
    bm = BITMAP{0, width, height, static_cast<LONG>(rowBytes), 1, 32, bits};
    BITMAPINFOHEADER& header = bitmap->section.dsBmih;
    header = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER),
                              width,
                              height,
                              1,
                              32,
                              BI_RGB,
                              static_cast<DWORD>(rowBytes * height),
                              0,
                              0,
                              0,
                              0};
    const std::lock_guard<std::mutex> lock(liveMutex);
    live.insert(bitmap.get());
    return bitmap.release();
}

int GetObject(HGDIOBJ h, int c, void* pv) {
    if (h == nullptr || !isLive(h)) {
        return 0;
    }
    const auto* bitmap = static_cast<HBITMAP>(h);
    if (pv == nullptr) {
        return sizeof(DIBSECTION);
    }
    if (c >= static_cast<int>(sizeof(DIBSECTION))) {
        std::memcpy(pv, &bitmap->section, sizeof(DIBSECTION));
        return sizeof(DIBSECTION);
    }
    if (c >= static_cast<int>(sizeof(BITMAP))) {
        std::memcpy(pv, &bitmap->section.dsBm, sizeof(BITMAP));
        return sizeof(BITMAP);
    }
    return 0;
}

BOOL DeleteObject(HGDIOBJ ho) {
    HBITMAP bitmap = static_cast<HBITMAP>(ho);
    {
        const std::lock_guard<std::mutex> lock(liveMutex);
        if (bitmap == nullptr || live.erase(bitmap) == 0) {
            return FALSE;
        }
    }
    delete bitmap;
    return TRUE;
}

// The screen's device context, the only one here.
struct HDC__ {};

namespace {
HDC__ screenContext;
HDC const screen = &screenContext;
} // namespace

HDC GetDC(HWND hWnd) {
    return hWnd == nullptr ? screen : nullptr;
}

int ReleaseDC(HWND, HDC hDC) {
    return hDC == screen ? 1 : 0;
}

int GetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT cLines, LPVOID lpvBits, BITMAPINFO* lpbmi,
              UINT usage) {
    if (hdc != screen || !isLive(hbm) || lpvBits == nullptr || lpbmi == nullptr ||
        usage != DIB_RGB_COLORS) {
        return 0;
    }
    const BITMAPINFOHEADER& wanted = lpbmi->bmiHeader;
    const BITMAP& bm = hbm->section.dsBm;
    const bool topDown = wanted.biHeight < 0;
    if (wanted.biBitCount != 32 || wanted.biCompression != BI_RGB || wanted.biWidth != bm.bmWidth ||
        (topDown ? -std::int64_t(wanted.biHeight) : wanted.biHeight) != bm.bmHeight ||
        start >= static_cast<UINT>(bm.bmHeight)) {
        return 0;
    }
    const UINT height = static_cast<UINT>(bm.bmHeight);
    const UINT lines = std::min(cLines, height - start);
    const auto rowBytes = static_cast<std::size_t>(bm.bmWidthBytes);
    auto* out = static_cast<BYTE*>(lpvBits);
    // Scan line n is the n-th row from the bottom; the buffer holds the lines from `start` on,
    // lowest first in a bottom-up DIB and highest first in a top-down one.
    for (UINT i = 0; i < lines; ++i) {
        const UINT scan = topDown ? start + lines - 1 - i : start + i;
        const UINT row = height - 1 - scan;
        std::memcpy(out + i * rowBytes, static_cast<const BYTE*>(bm.bmBits) + row * rowBytes,
                    rowBytes);
    }
    return static_cast<int>(lines);
}
