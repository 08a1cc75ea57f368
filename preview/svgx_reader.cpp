#include "byte_reader.h"
#include "canvas.h"
#include "file_reads.h"
#include "preview_constants.h"
#include "readers.h"
#include "source_file.h"

namespace {

constexpr char kOperation[] = "myFileThumbnail::loadSvgx";
constexpr int kSvgxHeadSize = 28;
constexpr int kPreviewOffsetAt = 16;
// The preview is always a 44 x 44 24-bit BMP, file header included; there is no length field.
constexpr int kPreviewBmpSize = 5862;
// Where the BMP's info header keeps its size and the picture's dimensions. The oldest header
// (12 bytes) has 16-bit sides; every later one signed 32-bit sides.
constexpr int kInfoHeaderAt = 14;
constexpr quint32 kCoreHeaderSize = 12;

// Whether the pixels the BMP declares fit in the preview's bytes, rows padded to 4 bytes as
// stored. Qt allocates the declared picture before it reads a pixel, so a header naming
// 16,000 x 16,000 in a 5,862-byte preview would cost a gigabyte for nothing.
bool declaredPixelsFit(const QByteArray& bmp) {
    ByteReader header(bmp, kInfoHeaderAt);
    const quint32 headerSize = header.u32le();
    qint64 width = 0;
    qint64 height = 0;
    if (headerSize == kCoreHeaderSize) {
        width = header.u16le();
        height = header.u16le();
    } else {
        width = header.i32le();
        height = header.i32le();
    }
    header.u16le(); // planes
    const qint64 bitsPerPixel = header.u16le();
    if (!header.ok()) {
        return false;
    }
    const qint64 rowBytes = (qAbs(width) * bitsPerPixel + 31) / 32 * 4;
    return rowBytes <= kPreviewBmpSize && rowBytes * qAbs(height) <= kPreviewBmpSize;
}

} // namespace

ReaderResult readSvgx(const QString& path, const PreviewTarget& target) {
    QFile file;
    if (auto refusal = openSource(file, path, kOperation, 619)) {
        return *refusal;
    }
    const qint64 fileSize = file.size();
    QByteArray head;
    if (!readZeroFilled(file, kSvgxHeadSize, head)) {
        return ReaderResult::refused(givenUp(kOperation, 634, "file head read error", path));
    }
    // Older writers left the offset 0: the file is fine but has no preview. A negative offset
    // is no better.
    const qint32 previewOffset = ByteReader(head).at(kPreviewOffsetAt).i32le();
    if (previewOffset <= 0 || previewOffset >= fileSize) {
        return ReaderResult::oldVersion(located(
            kOperation, 643,
            sizeAndOffset("%1\n%2 : size : %3 offset : %4", path, fileSize, previewOffset)));
    }
    QByteArray bmp;
    if (!file.seek(previewOffset) || !readZeroFilled(file, kPreviewBmpSize, bmp)) {
        return ReaderResult::refused(givenUp(kOperation, 656, "rgbBuf read less", path));
    }
    file.close();

    // A picture that cannot be in the preview is refused like bytes that are no BMP.
    QImage preview;
    if (declaredPixelsFit(bmp)) {
        preview = QImage::fromData(bmp, "bmp");
    }
    const int side = target.shownSide(qMax(preview.width(), preview.height()));
    const QImage scaled = scaledToFit(preview, side);
    // The picture's own background runs on into the margins.
    const QRgb corner = scaled.isNull() ? kBackgroundColour : scaled.pixel(0, 0);
    const QImage canvas = centredOnSquare(scaled, side, corner);
    return ReaderResult::decoded(canvas);
}
