#include "run_length.h"

#include <cstring>

namespace {

quint16 wordAt(const uchar* data, qint64 index) {
    return static_cast<quint16>(data[2 * index] | (data[2 * index + 1] << 8));
}

} // namespace

void paintRunLength16(const QByteArray& data, int width, int xOffset, int yOffset, QImage& canvas,
                      const RunColour& colourOf) {
    Q_ASSERT(canvas.format() == QImage::Format_RGB888 && width > 0);
    const auto* words = reinterpret_cast<const uchar*>(data.constData());
    const qint64 count = data.size() / 2;
    const qint64 rows = canvas.height();
    const qint64 columns = canvas.width();
    const qint64 stride = canvas.bytesPerLine();
    uchar* const pixels = canvas.bits();
    qint64 pixel = 0;
    for (qint64 i = 0; i < count;) {
        const quint16 word = wordAt(words, i);
        const QRgb colour = colourOf(word, i == 0);
        qint64 length = 1;
        if ((word & kRunFlag) != 0 && i + 1 < count) {
            length = (wordAt(words, i + 1) & kRunLengthMask) + 1;
            i += 2;
        } else {
            i += 1;
        }
        const uchar rgb[3] = {static_cast<uchar>(qRed(colour)), static_cast<uchar>(qGreen(colour)),
                              static_cast<uchar>(qBlue(colour))};
        for (const qint64 end = pixel + length; pixel < end; ++pixel) {
            const qint64 row = pixel / width + yOffset;
            const qint64 column = pixel % width + xOffset;
            if (row >= rows) {
                // Rows only grow from here on: the rest of the stream lies below the canvas.
                return;
            }
            if (column < columns) {
                std::memcpy(pixels + row * stride + 3 * column, rgb, 3);
            }
        }
    }
}
