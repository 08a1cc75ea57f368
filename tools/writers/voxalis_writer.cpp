#include "voxalis_writer.h"

#include "byte_writer.h"

QByteArray VoxalisFile::bytes() const {
    constexpr qint32 kHeadSize = 412;
    constexpr qint32 kDataAt = kHeadSize + 32;
    ByteWriter file;
    file.zeros(kHeadSize).i32leAt(12, reference.value_or(kHeadSize));
    file.i32le(width).i32le(height);
    file.i32le(dataOffset.value_or(kDataAt)).i32le(dataLength.value_or(picture.size()));
    file.zeros(16);
    return file.raw(picture).raw(trailing).bytes();
}
