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

// Neighbouring pixels of one colour, painted as one span: a plain area is mostly one word a
// pixel, and a canvas fill for each would cost more than the decoding.
class SpanPainter {
public:
    explicit SpanPainter(SampledCanvas& canvas) : canvas_(canvas) {}
    ~SpanPainter() { flush(); }
    SpanPainter(const SpanPainter&) = delete;
    SpanPainter& operator=(const SpanPainter&) = delete;

    void paint(qint64 row, qint64 first, qint64 end, QRgb colour) {
        if (row != row_ || first != end_ || colour != colour_) {
            flush();
            row_ = row;
            first_ = first;
            colour_ = colour;
        }
        end_ = end;
    }

private:
    void flush() {
        if (first_ < end_) {
            canvas_.fill(row_, first_, end_, colour_);
        }
        first_ = end_;
    }

    SampledCanvas& canvas_;
    qint64 row_ = -1;
    qint64 first_ = 0;
    qint64 end_ = 0;
    QRgb colour_ = 0;
};

} // namespace

bool paintRunLength16(const PreviewData& data, int width, int xOffset, int yOffset,
                      SampledCanvas& canvas, const RunColour& colourOf) {
    Q_ASSERT(width > 0);
    WordStream words(data);
    SpanPainter spans(canvas);
    const qint64 count = words.count();
    const qint64 rows = canvas.height();
    // A large preview is mostly rows nobody sees, passed word by word: the position is
    // counted rather than divided out, and a colour is worked out only where it shows, once
    // for a word that repeats the one before.
    qint64 row = yOffset;
    qint64 column = 0;
    bool haveLast = false;
    quint16 lastWord = 0;
    QRgb lastColour = 0;
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
                    if (!haveLast || word != lastWord) {
                        lastColour = colourOf(word, false);
                        lastWord = word;
                        haveLast = true;
                    }
                    colour = lastColour;
                    known = true;
                }
                spans.paint(row, column + xOffset, column + xOffset + piece, colour);
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
