#include "com_api.h"

#include <cstring>
#include <memory>
#include <mutex>
#include <set>

// A DIB section: its header and its pixels, top row first, 4 bytes a pixel (B, G, R, A).
struct HBITMAP__ {
    DIBSECTION section{};
    std::unique_ptr<BYTE[]> bits;
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
    const QImage converted = sameBytes ? image : image.convertToFormat(wanted);
    auto bitmap = std::make_unique<HBITMAP__>();
    const LONG width = converted.width();
    const LONG height = converted.height();
    const std::size_t rowBytes = 4 * static_cast<std::size_t>(width);
    bitmap->bits.reset(new BYTE[rowBytes * height]);
    // ARGB32 in memory on a little-endian machine is B, G, R, A: the DIB's own order.
    for (int y = 0; y < height; ++y) {
        std::memcpy(bitmap->bits.get() + y * rowBytes, converted.constScanLine(y), rowBytes);
    }
    BITMAP& bm = bitmap->section.dsBm;
    bm = BITMAP{0, width, height, static_cast<LONG>(rowBytes), 1, 32, bitmap->bits.get()};
    BITMAPINFOHEADER& header = bitmap->section.dsBmih;
    header = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER),
                              width,
                              -height,
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
