#include "run_length.h"

namespace {

quint16 wordAt(const uchar* data, qint64 index) {
    return static_cast<quint16>(data[2 * index] | (data[2 * index + 1] << 8));
}

} // namespace

void paintRunLength16(const QByteArray& data, int width, int xOffset, int yOffset,
                      SampledCanvas& canvas, const RunColour& colourOf) {
    Q_ASSERT(width > 0);
    const auto* words = reinterpret_cast<const uchar*>(data.constData());
    const qint64 count = data.size() / 2;
    const qint64 rows = canvas.height();
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
        // A run may wrap over several picture rows; it is painted one row piece at a time.
        while (length > 0) {
            const qint64 row = pixel / width + yOffset;
            if (row >= rows) {
                // Rows only grow from here on: the rest of the stream lies below the canvas.
                return;
            }
            const qint64 inRow = pixel % width;
            const qint64 piece = qMin(length, width - inRow);
            canvas.fill(row, inRow + xOffset, inRow + xOffset + piece, colour);
            pixel += piece;
            length -= piece;
        }
    }
}
