#include "byte_reader.h"
#include "canvas.h"
#include "file_reads.h"
#include "my_file_thumbnail.h"
#include "preview_constants.h"

namespace {

constexpr char kOperation[] = "myFileThumbnail::loadSvgx";
constexpr int kSvgxHeadSize = 28;
constexpr int kPreviewOffsetAt = 16;
// The preview is always a 44 x 44 24-bit BMP, file header included; there is no length field.
constexpr int kPreviewBmpSize = 5862;

} // namespace

void myFileThumbnail::loadSvgx() {
    QFile file;
    if (!openSource(file, kOperation, 619)) {
        return;
    }
    const qint64 fileSize = file.size();
    QByteArray head;
    if (!readZeroFilled(file, kSvgxHeadSize, head)) {
        abandon(file, kOperation, 634, "file head read error");
        return;
    }
    // Older writers left the offset 0: the file is fine but has no preview. A negative offset
    // is no better.
    const qint32 previewOffset = ByteReader(head).at(kPreviewOffsetAt).i32le();
    if (previewOffset <= 0 || previewOffset >= fileSize) {
        file.close();
        recordOldVersion(kOperation, 643,
                         sizeAndOffset("%1\n%2 : size : %3 offset : %4", fileSize, previewOffset));
        return;
    }
    QByteArray bmp;
    if (!file.seek(previewOffset) || !readZeroFilled(file, kPreviewBmpSize, bmp)) {
        abandon(file, kOperation, 656, "rgbBuf read less");
        return;
    }
    file.close();

    previewImage = QImage::fromData(bmp, "bmp");
    scaledImage = fittedToThumbnail(previewImage);
    // The picture's own background runs on into the margins.
    const QRgb corner = scaledImage.isNull() ? kBackgroundColour : scaledImage.pixel(0, 0);
    const QImage canvas = centredOnSquare(scaledImage, corner);
    if (canvas.isNull()) {
        return;
    }
    outputImage = canvas;
    dbDeal();
}
