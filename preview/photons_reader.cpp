#include "byte_reader.h"
#include "canvas.h"
#include "decoders.h"
#include "file_reads.h"
#include "my_file_thumbnail.h"
#include "preview_constants.h"

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

QImage decodePhotonsPixels(int width, int height, const QByteArray& pixels) {
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull()) {
        return image;
    }
    const auto* bytes = reinterpret_cast<const uchar*>(pixels.constData());
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const qint64 at = 2 * (qint64{y} * width + x);
            row[x] = photonsColour(static_cast<quint16>(bytes[at] | (bytes[at + 1] << 8)));
        }
    }
    return image;
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
    QByteArray pixels;
    if (width < 0 || height < 0 || pixelBytes > std::numeric_limits<qint32>::max() ||
        pixelBytes > fileSize - file.pos() || !readZeroFilled(file, pixelBytes, pixels)) {
        abandon(file, kOperation, 508, "rgbBuf read less");
        return;
    }
    file.close();

    scaledImage = decodePhotonsPixels(width, height, pixels);
    if (width > 0 && height > 0 && scaledImage.isNull()) {
        return;
    }
    // Pixel (1, 1) lies inside the printed object's surroundings; a preview too small to have
    // it falls back to the background colour.
    const QRgb margin = width >= 2 && height >= 2 ? scaledImage.pixel(1, 1) : kBackgroundColour;
    scaledImage = fittedToThumbnail(scaledImage);
    const QImage canvas = centredOnSquare(scaledImage, margin);
    if (canvas.isNull()) {
        return;
    }
    outputImage = canvas;
    dbDeal();
}
