#include "dlp_writer.h"

#include "byte_writer.h"

QByteArray DlpFile::bytes() const {
    const bool fdg = headerKind == 1;
    const qint32 previewAt = headerSize();
    const qint32 dataAt = previewAt + 32;
    ByteWriter file;
    file.zeros(headerSize());
    file.i32leAt(fdg ? 44 : 60, previewOffset.value_or(previewAt));
    file.i32leAt(fdg ? 48 : 72, guardOffset.value_or(0));
    file.i32le(width).i32le(height);
    file.i32le(dataOffset.value_or(dataAt)).i32le(dataSize.value_or(picture.size()));
    file.zeros(16);
    file.raw(picture).raw(trailing);
    return file.bytes();
}
