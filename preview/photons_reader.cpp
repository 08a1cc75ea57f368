#include "byte_reader.h"
#include "canvas.h"
#include "decoders.h"
#include "file_reads.h"
#include "my_file_thumbnail.h"
#include "preview_constants.h"
#include "sampled_canvas.h"

#include <QtEndian>

#include <cstring>
#include <limits>

namespace {

constexpr char kOperation[] = "myFileThumbnail::loadPhotons";

// One header field in the byte order of the file; swapPhotonsHead turns it around. A field
// the file ends inside is refused like a missing one.
template <typename T> bool readFileOrder(QFile& file, T& field) {
    char bytes[sizeof(T)];
    if (file.read(bytes, sizeof(T)) != static_cast<qint64>(sizeof(T))) {
        return false;
    }
    std::memcpy(&field, bytes, sizeof(T));
    return true;
}

template <typename T> void toHostOrder(T& field) {
    field = qFromBigEndian(field);
}

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

bool myFileThumbnail::readPhotonsHead(QFile& file) {
    PhotonsHead_t& head = photonsHead;
    for (quint64& field : head.leading) {
        if (!readFileOrder(file, field)) {
            return false;
        }
    }
    if (!readFileOrder(file, head.afterLeading)) {
        return false;
    }
    for (quint64& field : head.middle) {
        if (!readFileOrder(file, field)) {
            return false;
        }
    }
    if (!readFileOrder(file, head.width) || !readFileOrder(file, head.afterWidth) ||
        !readFileOrder(file, head.height) || !readFileOrder(file, head.afterHeight)) {
        return false;
    }
    swapPhotonsHead();
    return true;
}

void myFileThumbnail::swapPhotonsHead() {
    PhotonsHead_t& head = photonsHead;
    for (quint64& field : head.leading) {
        toHostOrder(field);
    }
    toHostOrder(head.afterLeading);
    for (quint64& field : head.middle) {
        toHostOrder(field);
    }
    toHostOrder(head.width);
    toHostOrder(head.afterWidth);
    toHostOrder(head.height);
    toHostOrder(head.afterHeight);
}

void myFileThumbnail::loadPhotons() {
    QFile file;
    if (!openSource(file, kOperation, 471)) {
        return;
    }
    const qint64 fileSize = file.size();
    QByteArray lengthField;
    const bool haveLength = readZeroFilled(file, 4, lengthField);
    const quint32 versionLength = ByteReader(lengthField).u32be();
    if (!haveLength || versionLength == 0) {
        abandon(file, kOperation, 496, "file read less");
        return;
    }
    // A length beyond the file takes the rest of the file, without asking for more memory.
    photonsHead.version = file.read(qMin<qint64>(versionLength, fileSize - file.pos()));
    if (photonsHead.version.isEmpty()) {
        abandon(file, kOperation, 488, "file version read less");
        return;
    }
    if (!readPhotonsHead(file)) {
        abandon(file, kOperation, 607, "file head read error");
        return;
    }

    const qint32 width = photonsHead.width;
    const qint32 height = photonsHead.height;
    const qint64 pixelBytes = 2 * qint64{width} * height;
    // Negative sides or a size beyond 32 bits describe no preview the file could hold.
    if (width < 0 || height < 0 || width > kMaxPhotonsSide || height > kMaxPhotonsSide ||
        pixelBytes > std::numeric_limits<qint32>::max() || pixelBytes > fileSize - file.pos()) {
        abandon(file, kOperation, 508, "rgbBuf read less");
        return;
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
    const int side = shownSide(qMax(width, height));
    if (width > 0 && height > 0) {
        scaledImage =
            decodePhotonsPreview(width, height, pixels, fittedSize(QSize(width, height), side));
    }
    if (pixels.failed()) {
        abandon(file, kOperation, 508, "rgbBuf read less");
        return;
    }
    file.close();
    if (width > 0 && height > 0 && scaledImage.isNull()) {
        return;
    }
    const QImage canvas = centredOnSquare(scaledImage, side, margin);
    if (canvas.isNull()) {
        return;
    }
    outputImage = canvas;
    dbDeal();
}
