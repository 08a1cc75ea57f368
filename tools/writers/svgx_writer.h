#pragma once

#include <QByteArray>
#include <QImage>

#include <optional>

// A bottom-up 24-bit BMP (or 32-bit with alpha) of an image: a 44 x 44 24-bit one is exactly
// the 5,862 bytes an SVGX preview takes.
QByteArray bmpFile(const QImage& image, bool withAlpha = false);

// An SVGX file: 28-byte header with the preview offset at 16, then the preview bytes.
struct SvgxFile {
    QByteArray preview;
    std::optional<qint32> previewOffset;
    QByteArray trailing;

    QByteArray bytes() const;
};
