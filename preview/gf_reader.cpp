#include "byte_reader.h"
#include "canvas.h"
#include "decoders.h"
#include "file_reads.h"
#include "log.h"
#include "my_file_thumbnail.h"
#include "placeholder_images.h"
#include "preview_constants.h"
#include "sampled_canvas.h"
#include "tone_mapping.h"

namespace {

constexpr char kOperation[] = "myFileThumbnail::loadGF";
constexpr int kGfHeadSize = 216;
constexpr int kPreviewOffsetAt = 48;
constexpr int kPreviewHeadSize = 32;
// Three little-endian 16-bit words per pixel: R, G, B.
constexpr int kBytesPerPixel = 6;

} // namespace

QImage decodeGfPicture(int width, int height, const QByteArray& data, QSize shownAs) {
    SampledCanvas picture(QSize(width, height), shownAs, kBackgroundColour);
    if (picture.isNull()) {
        return picture.image();
    }
    const auto* bytes = reinterpret_cast<const uchar*>(data.constData());
    const qint64 available = data.size() / kBytesPerPixel;
    struct Channels {
        int r;
        int g;
        int b;
    };
    const auto channelsAt = [bytes](qint64 index) {
        const uchar* p = bytes + kBytesPerPixel * index;
        return Channels{p[0] | (p[1] << 8), p[2] | (p[3] << 8), p[4] | (p[5] << 8)};
    };
    // Pixels are independent once the key is known: those before the key pixel meet no key,
    // those after it are compared with it.
    const qint64 keyPixel = qint64{width} + 1;
    const PreviewToneMapper unkeyed;
    PreviewToneMapper keyed;
    QRgb keyColour = 0;
    if (keyPixel < available) {
        const Channels key = channelsAt(keyPixel);
        keyColour = keyed.key(key.r, key.g, key.b);
    }
    for (int y = 0; y < picture.image().height(); ++y) {
        const qint64 rowStart = qint64{picture.sourceRowOf(y)} * width;
        for (int x = 0; x < picture.image().width(); ++x) {
            const qint64 index = rowStart + picture.sourceColumnOf(x);
            if (index >= available) {
                continue;
            }
            if (index == keyPixel) {
                picture.setShown(x, y, keyColour);
                continue;
            }
            const Channels c = channelsAt(index);
            picture.setShown(x, y, (index < keyPixel ? unkeyed : keyed).map(c.r, c.g, c.b));
        }
    }
    return picture.image();
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

    scaledImage = decodeGfPicture(width, height, data, fittedThumbnailSize(QSize(width, height)));
    if (scaledImage.isNull()) {
        return;
    }
    const QImage canvas = centredOnSquare(scaledImage, kBackgroundColour);
    if (canvas.isNull()) {
        return;
    }
    outputImage = canvas;
    dbDeal();
}
