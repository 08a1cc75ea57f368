#include "picture_files.h"

#include "byte_writer.h"

#include <QBuffer>

namespace {

QByteArray saved(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

// A run chunk repeats the previous pixel 1 to 62 times.
constexpr int kLongestRun = 62;

} // namespace

QByteArray pngFile(const QImage& image) {
    return saved(image, "png");
}

QByteArray jpegFile(const QImage& image) {
    return saved(image, "jpeg");
}

QByteArray qoiFile(const QImage& image, int channels, std::optional<QSize> declared) {
    const QSize size = declared.value_or(image.size());
    ByteWriter file;
    file.raw("qoif").u32be(quint32(size.width())).u32be(quint32(size.height()));
    file.raw(QByteArray(1, char(channels))).raw(QByteArray(1, '\0'));
    const QImage pixels = image.convertToFormat(QImage::Format_ARGB32);
    // Before the first chunk the previous pixel is opaque black.
    QRgb previous = qRgba(0, 0, 0, 255);
    int run = 0;
    const auto endRun = [&] {
        if (run > 0) {
            file.raw(QByteArray(1, char(0xC0 | (run - 1))));
            run = 0;
        }
    };
    for (int y = 0; y < pixels.height(); ++y) {
        for (int x = 0; x < pixels.width(); ++x) {
            const QRgb p = pixels.pixel(x, y);
            if (p == previous) {
                if (++run == kLongestRun) {
                    endRun();
                }
                continue;
            }
            endRun();
            const char rgba[] = {char(0xFF), char(qRed(p)), char(qGreen(p)), char(qBlue(p)),
                                 char(qAlpha(p))};
            file.raw(QByteArray(rgba, sizeof rgba));
            previous = p;
        }
    }
    endRun();
    return file.raw(QByteArray(7, '\0')).raw(QByteArray(1, '\1')).bytes();
}
