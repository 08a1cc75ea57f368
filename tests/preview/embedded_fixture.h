#pragma once

#include "picture_files.h"

#include <QImage>

// A picture of a shape of its own, with alpha, as slicers render their previews: transparent
// around an opaque block in `colour`, with a translucent band down its left quarter.
inline QImage shapedPicture(QSize size, QRgb colour) {
    QImage image(size, QImage::Format_ARGB32);
    image.fill(0);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const bool inBlock = x >= size.width() / 4 && x < size.width() * 3 / 4 &&
                                 y >= size.height() / 4 && y < size.height() * 3 / 4;
            if (x < size.width() / 4) {
                image.setPixel(x, y, qRgba(qRed(colour), qGreen(colour), qBlue(colour), 96));
            } else if (inBlock) {
                image.setPixel(x, y, colour | 0xFF000000);
            }
        }
    }
    return image;
}

// One picture as a file embeds it, and the pixels a reader must give for it at its own size.
struct Embedded {
    int format; // 0 PNG, 1 JPEG, 2 QOI, as binary G-code numbers them
    QImage source;

    QByteArray bytes() const {
        return format == 0 ? pngFile(source) : format == 1 ? jpegFile(source) : qoiFile(source);
    }
    // JPEG has no alpha and is lossy: what Qt decodes from the same bytes.
    QImage expected() const {
        return format == 1
                   ? QImage::fromData(bytes(), "jpeg").convertToFormat(QImage::Format_ARGB32)
                   : source;
    }
};

// What a file of several sizes holds: a red 16 x 16 PNG, a green 300 x 150 QOI, a blue
// 480 x 240 JPEG and a yellow 440 x 240 PNG, in that order.
inline std::vector<Embedded> severalSizes() {
    return {{0, shapedPicture({16, 16}, 0xFF0000)},
            {2, shapedPicture({300, 150}, 0x00C000)},
            {1, shapedPicture({480, 240}, 0x2040F0).convertToFormat(QImage::Format_RGB32)},
            {0, shapedPicture({440, 240}, 0xE0E000)}};
}

// Which of severalSizes() a side is served by, the side of the picture given, and its colour.
struct Choice {
    int side;
    int chosen;
    QSize shown;
};
inline const Choice kChoices[] = {
    {16, 0, {16, 16}},     // the smallest that is large enough, at its own size
    {17, 1, {17, 8}},      // the next size, shrunk
    {300, 1, {300, 150}},  // QOI, exact, alpha kept
    {301, 3, {301, 164}},  // of the two large enough the smaller longer side
    {440, 3, {440, 240}},  // PNG, exact
    {1024, 2, {480, 240}}, // none large enough: the largest, never enlarged
};
