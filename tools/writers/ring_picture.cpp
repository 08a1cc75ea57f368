#include "ring_picture.h"

#include "dlp_writer.h"
#include "rle16_writer.h"

#include <cmath>

QImage ringImage(int side, QRgb resin) {
    QImage image(side, side, QImage::Format_RGB32);
    const double centre = (side - 1) / 2.0;
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            const double r = std::hypot(x - centre, y - centre);
            image.setPixel(x, y, r > side * 0.25 && r < side * 0.45 ? resin : qRgb(0, 0, 0));
        }
    }
    return image;
}

QImage ringOnClear(QSize size, QRgb resin) {
    const int side = qMin(size.width(), size.height());
    const QImage ring = ringImage(side, resin);
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    const int left = (size.width() - side) / 2;
    const int top = (size.height() - side) / 2;
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            if (ring.pixel(x, y) == (resin | 0xFF000000)) {
                image.setPixel(left + x, top + y, resin | 0xFF000000);
            }
        }
    }
    return image;
}

QVector<quint16> ringPixels(int side) {
    const QImage ring = ringImage(side, qRgb(200, 200, 200));
    QVector<quint16> pixels;
    pixels.reserve(side * side);
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            const QRgb p = ring.pixel(x, y);
            pixels.append(rgb565(qRed(p), qGreen(p), qBlue(p)));
        }
    }
    return pixels;
}

QByteArray ringLqx(int side) {
    DlpFile file;
    file.width = side;
    file.height = side;
    file.picture = encodeRle16(ringPixels(side));
    return file.bytes();
}
