#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <vector>

// The picture formats slicers embed in G-code, numbered as binary G-code numbers them.
enum class EmbeddedFormat { Png = 0, Jpeg = 1, Qoi = 2 };

// Largest side of an embedded picture: slicers write previews of a few hundred pixels for
// printer screens and file lists. A larger side is no preview, and its pixels would cost far
// more memory than the few bytes that can declare them.
constexpr int kLargestEmbeddedSide = 2048;

// Whether a declared size is one an embedded picture may have.
inline bool embeddedSizeInRange(QSize size) {
    return size.width() >= 1 && size.height() >= 1 && size.width() <= kLargestEmbeddedSide &&
           size.height() <= kLargestEmbeddedSide;
}

// Which of a file's pictures to show at `side`: the smallest whose longer side is at least
// `side` (it needs no enlarging), else the largest; by longer side, then by area, the earlier
// one of equals. -1 when there are none.
int choosePicture(const std::vector<QSize>& sizes, int side);

// A decoded picture, or why there is none.
struct EmbeddedDecoding {
    QImage picture;
    QString problem;
};

// Decodes `bytes` as a picture of `format` that must be exactly `declared` (in range), PNG and
// JPEG through Qt's image plug-ins, QOI through libqoi. The picture's own header is checked
// against the declaration, and a QOI's against its data, before any pixel is allocated.
EmbeddedDecoding decodeEmbeddedPicture(EmbeddedFormat format, const QByteArray& bytes,
                                       QSize declared);
