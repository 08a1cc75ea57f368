#include "rle16_writer.h"

namespace {
constexpr quint16 kRunFlag = 0x0020;
constexpr int kLongestRun = 4096;
} // namespace

Rle16Writer& Rle16Writer::pixel(quint16 colour) {
    return word(colour & ~kRunFlag);
}

Rle16Writer& Rle16Writer::run(quint16 colour, int length) {
    for (; length > 0; length -= kLongestRun) {
        word(colour | kRunFlag);
        word(static_cast<quint16>(qMin(length, kLongestRun) - 1));
    }
    return *this;
}

Rle16Writer& Rle16Writer::word(quint16 value) {
    words_.append(value);
    return *this;
}

QByteArray Rle16Writer::bytes() const {
    QByteArray out;
    out.reserve(words_.size() * 2);
    for (quint16 w : words_) {
        out.append(static_cast<char>(w & 0xFF));
        out.append(static_cast<char>(w >> 8));
    }
    return out;
}

QByteArray encodeRle16(const QVector<quint16>& pixels) {
    Rle16Writer writer;
    for (int i = 0; i < pixels.size();) {
        int length = 1;
        while (i + length < pixels.size() && length < kLongestRun &&
               pixels[i + length] == pixels[i]) {
            ++length;
        }
        writer.run(pixels[i], length);
        i += length;
    }
    return writer.bytes();
}

quint16 rgb565(int r, int g, int b) {
    return static_cast<quint16>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
}
