#include "run_length.h"

namespace {

// The words of the data in order, one piece in memory at a time.
class WordStream {
public:
    explicit WordStream(const PreviewData& data) : data_(data), count_(data.size() / 2) {}

    qint64 count() const { return count_; }

    // Word `index`, which never lies before the piece in memory.
    bool at(qint64 index, quint16& word) {
        if (index >= first_ + piece_.size() / 2) {
            first_ = index;
            if (!data_.read(2 * index, qMin(kPreviewPieceSize, 2 * (count_ - index)), piece_) ||
                piece_.size() < 2) {
                return false;
            }
        }
        const auto* bytes =
            reinterpret_cast<const uchar*>(piece_.constData()) + 2 * (index - first_);
        word = static_cast<quint16>(bytes[0] | (bytes[1] << 8));
        return true;
    }

private:
    const PreviewData& data_;
    qint64 count_;
    qint64 first_ = 0;
    QByteArray piece_;
};

} // namespace

bool paintRunLength16(const PreviewData& data, int width, int xOffset, int yOffset,
                      SampledCanvas& canvas, const RunColour& colourOf) {
    Q_ASSERT(width > 0);
    WordStream words(data);
    const qint64 count = words.count();
    const qint64 rows = canvas.height();
    // A large preview is mostly rows nobody sees, passed word by word: the position is
    // counted rather than divided out, and a colour is worked out only where it shows.
    qint64 row = yOffset;
    qint64 column = 0;
    for (qint64 i = 0; i < count;) {
        quint16 word = 0;
        if (!words.at(i, word)) {
            return false;
        }
        const bool first = i == 0;
        qint64 length = 1;
        if ((word & kRunFlag) != 0 && i + 1 < count) {
            quint16 run = 0;
            if (!words.at(i + 1, run)) {
                return false;
            }
            length = (run & kRunLengthMask) + 1;
            i += 2;
        } else {
            i += 1;
        }
        bool known = first;
        QRgb colour = first ? colourOf(word, true) : 0;
        // A run may wrap over several picture rows; it is painted one row piece at a time.
        while (length > 0) {
            if (row >= rows) {
                // Rows only grow from here on: the rest of the stream lies below the canvas.
                return true;
            }
            const qint64 piece = qMin(length, width - column);
            if (canvas.showsRow(row)) {
                if (!known) {
                    colour = colourOf(word, false);
                    known = true;
                }
                canvas.fill(row, column + xOffset, column + xOffset + piece, colour);
            }
            column += piece;
            length -= piece;
            if (column == width) {
                column = 0;
                ++row;
            }
        }
    }
    return true;
}
