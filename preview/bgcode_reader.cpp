#include "byte_reader.h"
#include "embedded_picture.h"
#include "readers.h"
#include "source_file.h"

#include <zlib.h>

#include <optional>

namespace {

constexpr char kOperation[] = "myFileThumbnail::loadBgcode";
// "GCDE", version, checksum type.
constexpr int kFileHeaderSize = 10;
constexpr quint32 kMagic = 0x45444347;
constexpr quint32 kKnownVersion = 1;
constexpr quint16 kNoChecksum = 0;
constexpr quint16 kCrc32 = 1;
constexpr qint64 kChecksumSize = 4;
// Type, compression and uncompressed size; a compressed block adds its compressed size.
constexpr qint64 kPlainBlockHeader = 8;
constexpr qint64 kCompressedBlockHeader = 12;
constexpr quint16 kGcodeBlock = 1;
constexpr quint16 kThumbnailBlock = 5;
constexpr quint16 kLastBlockType = 5;
// A thumbnail's parameters are its format, width and height; every other block has only its
// encoding.
constexpr qint64 kThumbnailParameters = 6;
constexpr qint64 kOtherParameters = 2;
// Thumbnails follow the file's and the printer's metadata and precede the G-code: the walk
// ends at the first G-code block, or after this many blocks (a file has one of each metadata
// kind and a handful of thumbnails), so the bulk of the file is never read.
constexpr int kMostBlocksBeforeGcode = 64;
// QOI's worst case, five bytes a pixel, at the largest side, with its header and end marker:
// no picture's data needs more.
constexpr qint64 kLargestPictureBytes =
    5 * qint64{kLargestEmbeddedSide} * kLargestEmbeddedSide + 22;

struct Thumbnail {
    quint16 format = 0;
    QSize size;
    qint64 start = 0;
    quint16 compression = 0;
    qint64 headerSize = 0;
    qint64 dataSize = 0;
};

struct Walk {
    std::vector<Thumbnail> thumbnails;
    std::optional<ReaderResult> outcome; // set when the file ends the reading
};

bool readAt(QFile& file, qint64 at, qint64 length, QByteArray& bytes) {
    bytes = QByteArray(static_cast<int>(length), Qt::Uninitialized);
    return file.seek(at) && file.read(bytes.data(), length) == length;
}

ReaderResult damaged(int number, const QString& message, const QString& path) {
    return ReaderResult::damaged(located(kOperation, number, onFile(message, path)));
}

ReaderResult cannotRead(const QString& path) {
    return ReaderResult::refused(givenUp(kOperation, 1, "the file cannot be read", path));
}

// The blocks from the file header to the first G-code block, each skipped by its declared
// size once that is checked against the file; the thumbnails' parameters are kept.
Walk walkBlocks(QFile& file, qint64 fileSize, bool checksums, const QString& path) {
    Walk walk;
    const auto beyondEnd = [&](qint64 at) {
        walk.outcome = damaged(
            5, QStringLiteral("a block at %1 reaches beyond the end of the file").arg(at), path);
        return walk;
    };
    qint64 at = kFileHeaderSize;
    for (int count = 0; count < kMostBlocksBeforeGcode && at < fileSize; ++count) {
        QByteArray bytes;
        if (!readAt(file, at, qMin(kCompressedBlockHeader, fileSize - at), bytes)) {
            walk.outcome = cannotRead(path);
            return walk;
        }
        ByteReader header(bytes);
        const quint16 type = header.u16le();
        const quint16 compression = header.u16le();
        const qint64 uncompressed = header.u32le();
        const qint64 dataSize = compression == 0 ? uncompressed : header.u32le();
        if (!header.ok()) {
            return beyondEnd(at);
        }
        if (type > kLastBlockType) {
            walk.outcome = damaged(
                6, QStringLiteral("block type %1 at %2 is not known").arg(type).arg(at), path);
            return walk;
        }
        if (type == kGcodeBlock) {
            break;
        }
        const qint64 headerSize = compression == 0 ? kPlainBlockHeader : kCompressedBlockHeader;
        const qint64 parameters = type == kThumbnailBlock ? kThumbnailParameters : kOtherParameters;
        const qint64 blockSize =
            headerSize + parameters + dataSize + (checksums ? kChecksumSize : 0);
        if (blockSize > fileSize - at) {
            return beyondEnd(at);
        }
        if (type == kThumbnailBlock) {
            if (!readAt(file, at + headerSize, kThumbnailParameters, bytes)) {
                walk.outcome = cannotRead(path);
                return walk;
            }
            ByteReader fields(bytes);
            const quint16 format = fields.u16le();
            const int width = fields.u16le();
            const int height = fields.u16le();
            const Thumbnail thumbnail{format,      QSize(width, height), at,
                                      compression, headerSize,           dataSize};
            if (!embeddedSizeInRange(thumbnail.size)) {
                walk.outcome = damaged(
                    7, QStringLiteral("a thumbnail declares %1 x %2 pixels").arg(width).arg(height),
                    path);
                return walk;
            }
            walk.thumbnails.push_back(thumbnail);
        }
        at += blockSize;
    }
    return walk;
}

// The chosen thumbnail's picture: its block read whole and its checksum checked first.
ReaderResult readThumbnail(QFile& file, const Thumbnail& thumbnail, bool checksums,
                           const QString& path) {
    if (thumbnail.format > static_cast<quint16>(EmbeddedFormat::Qoi)) {
        return damaged(8, QStringLiteral("thumbnail format %1 is not known").arg(thumbnail.format),
                       path);
    }
    // Every slicer stores thumbnails as they are; their compression would be deflate or
    // heatshrink of an already compressed picture.
    if (thumbnail.compression != 0) {
        return damaged(9, QStringLiteral("the thumbnail is compressed"), path);
    }
    if (thumbnail.dataSize > kLargestPictureBytes) {
        return damaged(10, QStringLiteral("the thumbnail holds %1 bytes").arg(thumbnail.dataSize),
                       path);
    }
    const qint64 covered = thumbnail.headerSize + kThumbnailParameters + thumbnail.dataSize;
    QByteArray block;
    if (!readAt(file, thumbnail.start, covered + (checksums ? kChecksumSize : 0), block)) {
        return cannotRead(path);
    }
    if (checksums) {
        const quint32 stored = ByteReader(block, covered).u32le();
        const auto computed = static_cast<quint32>(crc32(
            0, reinterpret_cast<const Bytef*>(block.constData()), static_cast<uInt>(covered)));
        if (stored != computed) {
            return damaged(11, QStringLiteral("the thumbnail's checksum does not match"), path);
        }
    }
    const qint64 dataStart = thumbnail.headerSize + kThumbnailParameters;
    const EmbeddedDecoding decoded = decodeEmbeddedPicture(
        static_cast<EmbeddedFormat>(thumbnail.format),
        block.mid(static_cast<int>(dataStart), static_cast<int>(thumbnail.dataSize)),
        thumbnail.size);
    if (decoded.picture.isNull()) {
        return decoded.problem.isEmpty() ? ReaderResult::nothing()
                                         : damaged(12, decoded.problem, path);
    }
    return ReaderResult::decodedInOwnShape(decoded.picture);
}

} // namespace

ReaderResult readBgcode(const QString& path, const PreviewTarget& target) {
    QFile file;
    if (!openRegularFile(file, path)) {
        return ReaderResult::nothing();
    }
    const qint64 fileSize = file.size();
    QByteArray bytes;
    if (fileSize < kFileHeaderSize) {
        return damaged(2, QStringLiteral("the file is no binary G-code"), path);
    }
    if (!readAt(file, 0, kFileHeaderSize, bytes)) {
        return cannotRead(path);
    }
    ByteReader header(bytes);
    const quint32 magic = header.u32le();
    const quint32 version = header.u32le();
    const quint16 checksumType = header.u16le();
    if (magic != kMagic) {
        return damaged(2, QStringLiteral("the file is no binary G-code"), path);
    }
    // A later version may lay its blocks out otherwise: no picture rather than a wrong one,
    // and the file is not read again until it changes.
    if (version != kKnownVersion) {
        return ReaderResult::refusedWithErrorRow(located(
            kOperation, 3,
            onFile(QStringLiteral("binary G-code version %1 is not read").arg(version), path)));
    }
    if (checksumType != kNoChecksum && checksumType != kCrc32) {
        return damaged(4, QStringLiteral("checksum type %1 is not known").arg(checksumType), path);
    }
    const bool checksums = checksumType == kCrc32;
    const Walk walk = walkBlocks(file, fileSize, checksums, path);
    if (walk.outcome) {
        return *walk.outcome;
    }
    // Sliced without thumbnails: intact, and shown as such, like a text G-code without one.
    if (walk.thumbnails.empty()) {
        return ReaderResult::withoutPreview();
    }
    std::vector<QSize> sizes;
    for (const Thumbnail& thumbnail : walk.thumbnails) {
        sizes.push_back(thumbnail.size);
    }
    return readThumbnail(file, walk.thumbnails[choosePicture(sizes, target.side())], checksums,
                         path);
}
