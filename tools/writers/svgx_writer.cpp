#include "svgx_writer.h"

#include "byte_writer.h"

QByteArray bmpFile(const QImage& image, bool withAlpha) {
    const int bytesPerPixel = withAlpha ? 4 : 3;
    const int stride = (image.width() * bytesPerPixel + 3) / 4 * 4;
    const quint32 pixelBytes = static_cast<quint32>(stride * image.height());
    ByteWriter file;
    // BITMAPFILEHEADER
    file.u16le(0x4D42).u32le(14 + 40 + pixelBytes).u32le(0).u32le(14 + 40);
    // BITMAPINFOHEADER
    file.u32le(40).i32le(image.width()).i32le(image.height()).u16le(1);
    file.u16le(static_cast<quint16>(8 * bytesPerPixel)).u32le(0).u32le(pixelBytes);
    file.u32le(2835).u32le(2835).u32le(0).u32le(0);
    for (int y = image.height() - 1; y >= 0; --y) {
        QByteArray row(stride, '\0');
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            row[bytesPerPixel * x] = static_cast<char>(qBlue(p));
            row[bytesPerPixel * x + 1] = static_cast<char>(qGreen(p));
            row[bytesPerPixel * x + 2] = static_cast<char>(qRed(p));
            if (withAlpha) {
                row[bytesPerPixel * x + 3] = static_cast<char>(qAlpha(p));
            }
        }
        file.raw(row);
    }
    return file.bytes();
}

QByteArray SvgxFile::bytes() const {
    constexpr qint32 kHeadSize = 28;
    ByteWriter file;
    file.zeros(kHeadSize).i32leAt(16, previewOffset.value_or(kHeadSize));
    return file.raw(preview).raw(trailing).bytes();
}
