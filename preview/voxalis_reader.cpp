#include "byte_reader.h"
#include "decoders.h"
#include "file_reads.h"
#include "preview_constants.h"
#include "readers.h"
#include "run_length.h"
#include "sampled_canvas.h"
#include "source_file.h"

namespace {

constexpr char kOperation[] = "myFileThumbnail::loadVoxalis";
constexpr int kProjectHeadSize = 412;
constexpr int kPreviewReferenceAt = 12;
// Project previews are shown on grey, in the slicer's own blue.
constexpr QRgb kProjectBackground = 0xFF939393;
// Project previews keep their own size in the cache up to the largest thumbnail the shell asks
// for (its own thumbnail cache stops at 2560): a 1 KB file declaring 10,000 x 10,000 pixels
// would cost 400 MB for its canvas, and again for every bitmap made of the saved picture.
constexpr int kLargestCachedSide = 2560;

QRgb blueTone(quint16 word) {
    const int r = ((word >> 8) & 0xF8) | 5;
    const int g = (((word >> 5) & 0x3F) << 2) | 1;
    const int b = ((word & 0x1F) << 3) | 5;
    const int brightness = (5 * b + 16 * g + 11 * r) / 32;
    const double v = brightness * 0.2;
    return qRgb(static_cast<int>(v), static_cast<int>(v + 107.2), static_cast<int>(v + 163.2));
}

} // namespace

QImage decodeVoxalisPreview(int width, int height, const PreviewData& data, QSize shownAs) {
    const int side = qMax(kCacheSide, qMax(width, height));
    // Sampled as the RGB888 canvas it stands for, but drawn in the 32-bit layout of the bitmap
    // it ends in: its PNG is byte for byte the same, and a preview saved at 10,000 x 10,000
    // goes to the bitmap as it is, neither decoded again nor converted into a second copy.
    SampledCanvas canvas(QSize(side, side), shownAs, kProjectBackground, QImage::Format_RGB888,
                         QImage::Format_RGB32);
    if (canvas.isNull()) {
        return canvas.image();
    }
    // Word 0 is the picture's background; later words of the same expanded colour (the run
    // flag, green's lowest bit, included) are background too.
    quint16 background = 0;
    const bool painted =
        paintRunLength16(data, width, (side - width) / 2, (side - height) / 2, canvas,
                         [&background](quint16 word, bool first) {
                             if (first) {
                                 background = word;
                                 return kProjectBackground;
                             }
                             return word == background ? kProjectBackground : blueTone(word);
                         });
    return painted ? canvas.image() : QImage();
}

ReaderResult readVoxalis(const QString& path, const PreviewTarget& target) {
    QFile file;
    if (auto refusal = openSource(file, path, kOperation, 760)) {
        return *refusal;
    }
    const qint64 fileSize = file.size();
    QByteArray head;
    if (!readZeroFilled(file, kProjectHeadSize, head)) {
        return ReaderResult::refused(givenUp(kOperation, 776, "read file head less", path));
    }
    const qint32 reference = ByteReader(head).at(kPreviewReferenceAt).i32le();
    if (reference == 0) {
        // Written before projects carried previews: intact, just without a picture.
        return ReaderResult::withoutPreview();
    }
    if (reference < 0 || reference >= fileSize) {
        return ReaderResult::damaged(
            located(kOperation, 792,
                    sizeAndOffset("%1\n%2 : size %3 offset : %4", path, fileSize, reference)));
    }
    // The preview header follows the file header directly; the reference is only a flag.
    const std::optional<DlpPreviewHead_t> preview = readPreviewHead(file);
    if (!preview) {
        return ReaderResult::refused(givenUp(kOperation, 804, "svgx file head read less", path));
    }
    const auto [width, height, dataOffset, dataLength] = *preview;
    if (dataOffset <= 0 || dataOffset >= fileSize) {
        return ReaderResult::oldVersion(
            located(kOperation, 813,
                    sizeAndOffset("%1\n%2 : size %3 offset : %4", path, fileSize, dataOffset)));
    }
    if (!preview->sidesInRange()) {
        return ReaderResult::damaged(located(kOperation, 823, onFile(kDocumentIsWrong, path)));
    }
    if (dataLength < 0 || dataLength > fileSize - dataOffset) {
        return ReaderResult::refused(givenUp(kOperation, 836, "src_RGB_Buffer read less", path));
    }
    // Project previews keep their own size in the cache, up to its largest; a requested size
    // may shrink them.
    const int side = qMax(kCacheSide, qMax(width, height));
    const int shown = target.isCache() ? qMin(side, kLargestCachedSide) : target.shownSide(side);
    const FileData data(file, dataOffset, dataLength);
    const QImage canvas = decodeVoxalisPreview(width, height, data, QSize(shown, shown));
    if (data.failed()) {
        return ReaderResult::refused(givenUp(kOperation, 836, "src_RGB_Buffer read less", path));
    }
    return ReaderResult::decoded(canvas);
}
