#include "byte_reader.h"
#include "canvas.h"
#include "decoders.h"
#include "file_reads.h"
#include "log.h"
#include "preview_constants.h"
#include "readers.h"
#include "sampled_canvas.h"
#include "source_file.h"
#include "tone_mapping.h"

namespace {

constexpr char kOperation[] = "myFileThumbnail::loadGF";
constexpr int kGfHeadSize = 216;
constexpr int kPreviewOffsetAt = 48;
// Three little-endian 16-bit words per pixel: R, G, B.
constexpr int kBytesPerPixel = 6;

} // namespace

QImage decodeGfPicture(int width, int height, const PreviewData& data, QSize shownAs) {
    SampledCanvas picture(QSize(width, height), shownAs, kBackgroundColour);
    if (picture.isNull()) {
        return picture.image();
    }
    struct Channels {
        int r;
        int g;
        int b;
    };
    const auto channelsOf = [](const uchar* p) {
        return Channels{p[0] | (p[1] << 8), p[2] | (p[3] << 8), p[4] | (p[5] << 8)};
    };
    // Pixels are independent once the key is known: those before the key pixel meet no key,
    // those after it are compared with it. A picture one pixel wide or high has no pixel
    // (1, 1), and index width + 1 would name another pixel, so it has no key at all.
    const qint64 keyPixel = qint64{width} + 1;
    const bool hasKey = width >= 2 && height >= 2 && (keyPixel + 1) * kBytesPerPixel <= data.size();
    const PreviewToneMapper unkeyed;
    PreviewToneMapper keyed;
    QRgb keyColour = 0;
    if (hasKey) {
        QByteArray key;
        if (!data.read(keyPixel * kBytesPerPixel, kBytesPerPixel, key) ||
            key.size() < kBytesPerPixel) {
            return QImage();
        }
        const Channels c = channelsOf(reinterpret_cast<const uchar*>(key.constData()));
        keyColour = keyed.key(c.r, c.g, c.b);
    }
    for (int y = 0; y < picture.image().height(); ++y) {
        const qint64 rowStart = qint64{picture.sourceRowOf(y)} * width;
        const bool painted = picture.paintShownRow(
            y, data, rowStart * kBytesPerPixel, kBytesPerPixel,
            [&](int column, const uchar* pixel) {
                const qint64 index = rowStart + column;
                if (hasKey && index == keyPixel) {
                    return keyColour;
                }
                const Channels c = channelsOf(pixel);
                return (hasKey && index > keyPixel ? keyed : unkeyed).map(c.r, c.g, c.b);
            });
        if (!painted) {
            return QImage();
        }
    }
    return picture.image();
}

ReaderResult readGf(const QString& path, const PreviewTarget& target) {
    QFile file;
    if (auto refusal = openSource(file, path, kOperation, 297, true)) {
        return *refusal;
    }
    const qint64 fileSize = file.size();
    QByteArray head;
    if (!readZeroFilled(file, kGfHeadSize, head)) {
        return ReaderResult::refused(givenUp(kOperation, 312, "GfHead_t read less", path));
    }
    const qint32 previewOffset = ByteReader(head).at(kPreviewOffsetAt).i32le();
    if (previewOffset < 0 || previewOffset >= fileSize) {
        return ReaderResult::damaged(
            located(kOperation, 321,
                    sizeAndOffset("%1\n%2 : size %3 offset : %4", path, fileSize, previewOffset)));
    }
    file.seek(previewOffset);

    const std::optional<DlpPreviewHead_t> preview = readPreviewHead(file);
    if (!preview) {
        return ReaderResult::refused(givenUp(kOperation, 334, "DlpPreviewHead_t read less", path));
    }
    const auto [width, height, dataOffset, dataSize] = *preview;
    if (!preview->sidesInRange()) {
        // This one line of the reader has always carried its label misspelt.
        return ReaderResult::damaged({QLatin1String(kOperation), 344,
                                      onFile(kDocumentIsWrong, path),
                                      QStringLiteral("infotmation    :    ")});
    }
    if (dataOffset < 0 || dataOffset >= fileSize || dataSize < 0) {
        return ReaderResult::damaged(
            located(kOperation, 357,
                    sizeAndOffset("%1\n%2 : size %3 offset : %4", path, fileSize, dataOffset)));
    }
    // The decoder reads only the pixels it shows, so the data's size is checked here.
    if (dataSize > fileSize - dataOffset) {
        return ReaderResult::refused(givenUp(kOperation, 367, "src_RGB_Buffer read less", path));
    }
    const int side = target.shownSide(qMax(width, height));
    const FileData data(file, dataOffset, dataSize);
    const QImage scaled =
        decodeGfPicture(width, height, data, fittedSize(QSize(width, height), side));
    if (data.failed()) {
        return ReaderResult::refused(givenUp(kOperation, 367, "src_RGB_Buffer read less", path));
    }
    if (scaled.isNull()) {
        return ReaderResult::nothing();
    }
    const QImage canvas = centredOnSquare(scaled, side, kBackgroundColour);
    return ReaderResult::decoded(canvas);
}
