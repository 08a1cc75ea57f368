#include "photons_writer.h"

#include "byte_writer.h"

QByteArray PhotonsFile::bytes() const {
    ByteWriter file;
    file.u32be(versionLength.value_or(static_cast<quint32>(version.size()))).raw(version);
    for (int i = 0; i < 5; ++i) {
        file.u64be(0x0102030405060708ull);
    }
    file.u32be(0x11223344);
    for (int i = 0; i < 4; ++i) {
        file.u64be(0);
    }
    file.i32be(width).u32be(0xDEADBEEF).i32be(height).u32be(0xCAFEF00D);
    return file.raw(pixels).raw(trailing).bytes();
}

QByteArray photonsPixel(int r, int g, int b) {
    const quint16 word = static_cast<quint16>((r >> 3) | ((g >> 2) << 5) | ((b >> 3) << 11));
    return ByteWriter().u16le(word).bytes();
}
