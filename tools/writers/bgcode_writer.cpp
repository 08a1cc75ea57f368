#include "bgcode_writer.h"

#include "byte_writer.h"
#include "gcode_writer.h"

#include <zlib.h>

namespace {

QByteArray deflated(const QByteArray& data) {
    uLongf size = compressBound(uLong(data.size()));
    QByteArray out(int(size), '\0');
    compress(reinterpret_cast<Bytef*>(out.data()), &size,
             reinterpret_cast<const Bytef*>(data.constData()), uLong(data.size()));
    out.truncate(int(size));
    return out;
}

QByteArray blockBytes(const BgcodeBlock& block, bool checksum) {
    const QByteArray stored = block.compression == 0 ? block.data : deflated(block.data);
    const quint32 storedSize = block.declaredSize.value_or(quint32(stored.size()));
    ByteWriter bytes;
    bytes.u16le(block.type).u16le(block.compression);
    if (block.compression == 0) {
        bytes.u32le(storedSize);
    } else {
        bytes.u32le(quint32(block.data.size())).u32le(storedSize);
    }
    bytes.raw(block.parameters).raw(stored);
    if (checksum) {
        const quint32 crc = quint32(
            crc32(0, reinterpret_cast<const Bytef*>(bytes.bytes().data()), uInt(bytes.size())));
        bytes.u32le(block.wrongChecksum ? ~crc : crc);
    }
    return bytes.bytes();
}

BgcodeBlock metadata(quint16 type, const QByteArray& text, quint16 compression = 0) {
    BgcodeBlock block;
    block.type = type;
    block.compression = compression;
    block.data = text;
    return block;
}

} // namespace

BgcodeBlock bgcodeThumbnail(quint16 format, QSize size, const QByteArray& picture) {
    BgcodeBlock block;
    block.type = kBgcodeThumbnail;
    block.parameters = ByteWriter()
                           .u16le(format)
                           .u16le(quint16(size.width()))
                           .u16le(quint16(size.height()))
                           .bytes();
    block.data = picture;
    return block;
}

QByteArray BgcodeFile::bytes() const {
    ByteWriter file;
    file.raw(magic).u32le(version).u16le(checksumType);
    for (const BgcodeBlock& block : blocks) {
        file.raw(blockBytes(block, checksumType == 1));
    }
    return file.bytes();
}

BgcodeFile BgcodeFile::sliced(const QVector<BgcodeBlock>& thumbnails, int gcodeBlocks) {
    BgcodeFile file;
    file.blocks = {metadata(kBgcodeFileMetadata, "Producer=VOXALIS test writer\n"),
                   metadata(kBgcodePrinterMetadata, "printer_model=MK4\nnozzle_diameter=0.4\n")};
    file.blocks += thumbnails;
    file.blocks += metadata(kBgcodePrintMetadata, "estimated printing time=1h 2m\n", 1);
    file.blocks += metadata(kBgcodeSlicerMetadata, "layer_height=0.2\nfill_density=15%\n", 1);
    for (int i = 0; i < gcodeBlocks; ++i) {
        file.blocks += metadata(kBgcodeGcode, GcodeFile::gcodeMoves(200), 1);
    }
    return file;
}
