#pragma once

#include <QByteArray>

#include <optional>

// A GF file: 216-byte header (preview offset at 48), the 32-byte preview header, then the
// picture at three little-endian 16-bit words per pixel. Unset fields match the layout.
struct GfFile {
    qint32 width = 1;
    qint32 height = 1;
    QByteArray pixels;
    std::optional<qint32> previewOffset;
    std::optional<qint32> dataOffset;
    std::optional<qint32> dataSize;
    QByteArray trailing;

    QByteArray bytes() const;
};

// One GF pixel: R, G, B words.
QByteArray gfPixel(quint16 r, quint16 g, quint16 b);
