#include "byte_reader.h"
#include "canvas.h"
#include "decoders.h"
#include "file_reads.h"
#include "photons_head.h"
#include "preview_constants.h"
#include "readers.h"
#include "sampled_canvas.h"
#include "source_file.h"

#include <limits>

namespace {

constexpr char kOperation[] = "myFileThumbnail::loadPhotons";

// 5-6-5 with red in the low bits; the low bits of each 8-bit channel stay 0.
QRgb photonsColour(quint16 word) {
    return qRgb((word & 0x1F) * 8, ((word >> 5) & 0x3F) * 4, ((word >> 11) & 0x1F) * 8);
}

} // namespace

QImage decodePhotonsPreview(int width, int height, const PreviewData& pixels, QSize shownAs) {
    // The whole picture used to be an RGB32 image scaled by Qt; its sample positions stay.
    SampledCanvas picture(QSize(width, height), shownAs, kBackgroundColour, QImage::Format_RGB32);
    if (picture.isNull()) {
        return picture.image();
    }
    for (int y = 0; y < picture.image().height(); ++y) {
        const qint64 rowStart = 2 * qint64{picture.sourceRowOf(y)} * width;
        if (!picture.paintShownRow(y, pixels, rowStart, 2, [](int, const uchar* pixel) {
                return photonsColour(static_cast<quint16>(pixel[0] | (pixel[1] << 8)));
            })) {
            return QImage();
        }
    }
    return picture.image();
}

bool readPhotonsHead(ByteReader& numbers, PhotonsHead_t& head) {
    for (quint64& field : head.leading) {
        field = numbers.u64be();
    }
    head.afterLeading = numbers.u32be();
    for (quint64& field : head.middle) {
        field = numbers.u64be();
    }
    head.width = numbers.i32be();
    head.afterWidth = numbers.u32be();
    head.height = numbers.i32be();
    head.afterHeight = numbers.u32be();
    return numbers.ok();
}

ReaderResult readPhotons(const QString& path, const PreviewTarget& target) {
    QFile file;
    if (auto refusal = openSource(file, path, kOperation, 471)) {
        return *refusal;
    }
    const qint64 fileSize = file.size();
    QByteArray lengthField;
    const bool haveLength = readZeroFilled(file, 4, lengthField);
    const quint32 versionLength = ByteReader(lengthField).u32be();
    if (!haveLength || versionLength == 0) {
        return ReaderResult::refused(givenUp(kOperation, 496, "file read less", path));
    }
    PhotonsHead_t head;
    // A length beyond the file takes the rest of the file, without asking for more memory.
    head.version = file.read(qMin<qint64>(versionLength, fileSize - file.pos()));
    if (head.version.isEmpty()) {
        return ReaderResult::refused(givenUp(kOperation, 488, "file version read less", path));
    }
    const QByteArray numberBytes = file.read(kPhotonsHeadNumbersSize);
    ByteReader numbers(numberBytes);
    if (!readPhotonsHead(numbers, head)) {
        return ReaderResult::refused(givenUp(kOperation, 607, "file head read error", path));
    }

    const qint32 width = head.width;
    const qint32 height = head.height;
    const qint64 pixelBytes = 2 * qint64{width} * height;
    // Negative sides or a size beyond 32 bits describe no preview the file could hold.
    if (width < 0 || height < 0 || width > kMaxPhotonsSide || height > kMaxPhotonsSide ||
        pixelBytes > std::numeric_limits<qint32>::max() || pixelBytes > fileSize - file.pos()) {
        return ReaderResult::refused(givenUp(kOperation, 508, "rgbBuf read less", path));
    }
    const FileData pixels(file, file.pos(), pixelBytes);
    // Pixel (1, 1) lies inside the printed object's surroundings; a preview too small to have
    // it falls back to the background colour.
    QRgb margin = kBackgroundColour;
    if (width >= 2 && height >= 2) {
        QByteArray word;
        if (pixels.read(2 * (qint64{width} + 1), 2, word)) {
            margin = photonsColour(static_cast<quint16>(static_cast<uchar>(word[0]) |
                                                        (static_cast<uchar>(word[1]) << 8)));
        }
    }
    const int side = target.shownSide(qMax(width, height));
    QImage scaled;
    if (width > 0 && height > 0) {
        scaled =
            decodePhotonsPreview(width, height, pixels, fittedSize(QSize(width, height), side));
    }
    if (pixels.failed()) {
        return ReaderResult::refused(givenUp(kOperation, 508, "rgbBuf read less", path));
    }
    if (width > 0 && height > 0 && scaled.isNull()) {
        return ReaderResult::nothing();
    }
    const QImage canvas = centredOnSquare(scaled, side, margin);
    return ReaderResult::decoded(canvas);
}
