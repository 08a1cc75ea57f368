#include "qoi_picture.h"

#include "byte_reader.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#define QOI_NO_STDIO
#define QOI_IMPLEMENTATION
#include <qoi.h>

namespace {

// "qoif", width and height (big-endian), channels, colour space.
constexpr int kHeaderSize = 14;
// Seven zero bytes and a one end the chunks.
constexpr int kEndMarkerSize = 8;
constexpr quint32 kMagic = 0x716F6966;
constexpr int kRgbaChannels = 4;

// The pixels the chunks between header and end marker make, counted up to `wanted`: every
// chunk is one pixel but a run, which repeats the last one 1 to 62 times. A chunk cut by the
// end marker counts nothing.
qint64 pixelsHeld(const QByteArray& bytes, qint64 wanted) {
    const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
    const qint64 end = bytes.size() - kEndMarkerSize;
    qint64 pixels = 0;
    for (qint64 at = kHeaderSize; at < end && pixels < wanted;) {
        const uchar tag = data[at];
        int length = 1;
        int count = 1;
        if (tag == 0xFE) { // QOI_OP_RGB
            length = 4;
        } else if (tag == 0xFF) { // QOI_OP_RGBA
            length = 5;
        } else if ((tag & 0xC0) == 0x80) { // QOI_OP_LUMA
            length = 2;
        } else if ((tag & 0xC0) == 0xC0) { // QOI_OP_RUN
            count = (tag & 0x3F) + 1;
        }
        if (at + length > end) {
            break;
        }
        at += length;
        pixels += count;
    }
    return pixels;
}

bool endsWithMarker(const QByteArray& bytes) {
    static const char marker[kEndMarkerSize] = {0, 0, 0, 0, 0, 0, 0, 1};
    return bytes.size() >= kHeaderSize + kEndMarkerSize &&
           std::memcmp(bytes.constData() + bytes.size() - kEndMarkerSize, marker, kEndMarkerSize) ==
               0;
}

struct FreePixels {
    void operator()(void* pixels) const { std::free(pixels); }
};

} // namespace

QImage decodeQoi(const QByteArray& bytes, QSize declared, QString& problem) {
    ByteReader header(bytes);
    const quint32 magic = header.u32be();
    const qint64 width = header.u32be();
    const qint64 height = header.u32be();
    if (!header.ok() || magic != kMagic || !endsWithMarker(bytes)) {
        problem = QStringLiteral("the picture is no QOI");
        return {};
    }
    if (width != declared.width() || height != declared.height()) {
        problem = QStringLiteral("the picture is %1 x %2 pixels, not the %3 x %4 declared")
                      .arg(width)
                      .arg(height)
                      .arg(declared.width())
                      .arg(declared.height());
        return {};
    }
    const qint64 wanted = width * height;
    const qint64 held = pixelsHeld(bytes, wanted);
    if (held < wanted) {
        problem = QStringLiteral("the picture holds %1 of its %2 pixels").arg(held).arg(wanted);
        return {};
    }
    qoi_desc description{};
    const std::unique_ptr<void, FreePixels> pixels(
        qoi_decode(bytes.constData(), bytes.size(), &description, kRgbaChannels));
    if (!pixels) {
        problem = QStringLiteral("the picture cannot be decoded");
        return {};
    }
    // A three-channel picture comes with opaque alpha bytes.
    QImage picture(declared, description.channels == kRgbaChannels ? QImage::Format_RGBA8888
                                                                   : QImage::Format_RGBX8888);
    if (picture.isNull()) {
        return {};
    }
    const qint64 rowBytes = kRgbaChannels * width;
    for (int y = 0; y < picture.height(); ++y) {
        std::memcpy(picture.scanLine(y), static_cast<const uchar*>(pixels.get()) + y * rowBytes,
                    static_cast<std::size_t>(rowBytes));
    }
    return picture;
}
