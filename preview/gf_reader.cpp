#include "byte_reader.h"
#include "canvas.h"
#include "decoders.h"
#include "file_reads.h"
#include "log.h"
#include "my_file_thumbnail.h"
#include "placeholder_images.h"
#include "preview_constants.h"
#include "tone_mapping.h"

#include <QColor>

namespace {

constexpr char kOperation[] = "myFileThumbnail::loadGF";
constexpr int kGfHeadSize = 216;
constexpr int kPreviewOffsetAt = 48;
constexpr int kPreviewHeadSize = 32;
// Three little-endian 16-bit words per pixel: R, G, B.
constexpr int kBytesPerPixel = 6;

} // namespace

QImage decodeGfPicture(int width, int height, const QByteArray& data) {
    QImage picture(width, height, QImage::Format_RGB888);
    if (picture.isNull()) {
        return picture;
    }
    picture.fill(QColor::fromRgba(kBackgroundColour));
    const auto* bytes = reinterpret_cast<const uchar*>(data.constData());
    const qint64 available = data.size() / kBytesPerPixel;
    const qint64 keyPixel = qint64{width} + 1;
    PreviewToneMapper tones;
    for (int y = 0; y < height; ++y) {
        uchar* row = picture.scanLine(y);
        for (int x = 0; x < width; ++x) {
            const qint64 index = qint64{y} * width + x;
            if (index >= available) {
                return picture;
            }
            const uchar* p = bytes + kBytesPerPixel * index;
            const int r = p[0] | (p[1] << 8);
            const int g = p[2] | (p[3] << 8);
            const int b = p[4] | (p[5] << 8);
            const QRgb colour = index == keyPixel ? tones.key(r, g, b) : tones.map(r, g, b);
            row[3 * x] = static_cast<uchar>(qRed(colour));
            row[3 * x + 1] = static_cast<uchar>(qGreen(colour));
            row[3 * x + 2] = static_cast<uchar>(qBlue(colour));
        }
    }
    return picture;
}

void myFileThumbnail::loadGF() {
    QFile file;
    if (!openSource(file, kOperation, 297, true)) {
        return;
    }
    const qint64 fileSize = file.size();
    QByteArray head;
    if (!readZeroFilled(file, kGfHeadSize, head)) {
        abandon(file, kOperation, 312, "GfHead_t read less");
        return;
    }
    const qint32 previewOffset = ByteReader(head).at(kPreviewOffsetAt).i32le();
    if (previewOffset < 0 || previewOffset >= fileSize) {
        file.close();
        recordDamaged(kOperation, 321,
                      sizeAndOffset("%1\n%2 : size %3 offset : %4", fileSize, previewOffset));
        return;
    }
    file.seek(previewOffset);

    QByteArray previewHead;
    if (!readZeroFilled(file, kPreviewHeadSize, previewHead)) {
        abandon(file, kOperation, 334, "DlpPreviewHead_t read less");
        return;
    }
    ByteReader fields(previewHead);
    const qint32 width = fields.i32le();
    const qint32 height = fields.i32le();
    const qint32 dataOffset = fields.i32le();
    const qint32 dataSize = fields.i32le();
    if (width < 1 || height < 1 || width > kMaxPreviewSide || height > kMaxPreviewSide) {
        file.close();
        // This one line of the reader has always carried its label misspelt.
        recordPlaceholder(QStringLiteral("infotmation    :    ") +
                              logLocation(QLatin1String(kOperation), 344) +
                              onFile(kDocumentIsWrong),
                          &makeDamagedFileImage);
        return;
    }
    if (dataOffset < 0 || dataOffset >= fileSize || dataSize < 0) {
        file.close();
        recordDamaged(kOperation, 357,
                      sizeAndOffset("%1\n%2 : size %3 offset : %4", fileSize, dataOffset));
        return;
    }
    QByteArray data;
    if (dataSize > fileSize - dataOffset || !file.seek(dataOffset) ||
        !readZeroFilled(file, dataSize, data)) {
        abandon(file, kOperation, 367, "src_RGB_Buffer read less");
        return;
    }
    file.close();

    scaledImage = decodeGfPicture(width, height, data);
    if (scaledImage.isNull()) {
        return;
    }
    scaledImage = fittedToThumbnail(scaledImage);
    const QImage canvas = centredOnSquare(scaledImage, kBackgroundColour);
    if (canvas.isNull()) {
        return;
    }
    outputImage = canvas;
    dbDeal();
}
