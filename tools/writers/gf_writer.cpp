#include "gf_writer.h"

#include "byte_writer.h"

QByteArray GfFile::bytes() const {
    constexpr qint32 kHeadSize = 216;
    ByteWriter file;
    file.zeros(kHeadSize).i32leAt(48, previewOffset.value_or(kHeadSize));
    file.i32le(width).i32le(height);
    file.i32le(dataOffset.value_or(kHeadSize + 32)).i32le(dataSize.value_or(pixels.size()));
    file.zeros(16);
    return file.raw(pixels).raw(trailing).bytes();
}

QByteArray gfPixel(quint16 r, quint16 g, quint16 b) {
    return ByteWriter().u16le(r).u16le(g).u16le(b).bytes();
}
