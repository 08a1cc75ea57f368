#pragma once

#include <QByteArray>
#include <QSize>
#include <QVector>

#include <optional>

// One block of a binary G-code: header (type, compression, uncompressed size, and the
// compressed size when compressed), parameters, data, and the CRC-32 of those three when the
// file has checksums. A compressed block's data is deflated here. Set fields are written as
// given, for damaged and hostile blocks.
struct BgcodeBlock {
    quint16 type = 0;
    quint16 compression = 0;
    QByteArray parameters = QByteArray(2, '\0'); // the encoding, for every block but thumbnails
    QByteArray data;
    std::optional<quint32> declaredSize; // the size of the data as stored
    bool wrongChecksum = false;
};

// Block types as the format numbers them.
constexpr quint16 kBgcodeFileMetadata = 0;
constexpr quint16 kBgcodeGcode = 1;
constexpr quint16 kBgcodeSlicerMetadata = 2;
constexpr quint16 kBgcodePrinterMetadata = 3;
constexpr quint16 kBgcodePrintMetadata = 4;
constexpr quint16 kBgcodeThumbnail = 5;

// A thumbnail block: parameters format (0 PNG, 1 JPEG, 2 QOI), width, height; stored as is.
BgcodeBlock bgcodeThumbnail(quint16 format, QSize size, const QByteArray& picture);

// The file header ("GCDE", version, checksum type: 0 none, 1 CRC-32) and the blocks.
struct BgcodeFile {
    QByteArray magic = "GCDE";
    quint32 version = 1;
    quint16 checksumType = 1;
    QVector<BgcodeBlock> blocks;

    QByteArray bytes() const;

    // The blocks a slicer writes around `thumbnails`: file and printer metadata before them,
    // print and slicer metadata (deflated) and `gcodeBlocks` blocks of moves after them.
    static BgcodeFile sliced(const QVector<BgcodeBlock>& thumbnails, int gcodeBlocks = 2);
};
