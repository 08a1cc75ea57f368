#include "jpeg_writer.h"

#include "byte_writer.h"

namespace {

// Entropy-coded bits, most significant first, a 0xFF byte followed by a stuffed zero.
class BitWriter {
public:
    void put(quint32 bits, int count) {
        for (int i = count - 1; i >= 0; --i) {
            byte_ = quint8(byte_ << 1 | ((bits >> i) & 1));
            if (++filled_ == 8) {
                flush();
            }
        }
    }
    // Pads the last byte with ones, as the format asks.
    QByteArray finish() {
        while (filled_ != 0) {
            put(1, 1);
        }
        return bytes_;
    }

private:
    void flush() {
        bytes_.append(char(byte_));
        if (byte_ == 0xFF) {
            bytes_.append('\0');
        }
        byte_ = 0;
        filled_ = 0;
    }
    QByteArray bytes_;
    quint8 byte_ = 0;
    int filled_ = 0;
};

ByteWriter& u16be(ByteWriter& out, quint16 value) {
    return out.raw(QByteArray(1, char(value >> 8)) + QByteArray(1, char(value & 0xFF)));
}

ByteWriter& segment(ByteWriter& out, quint8 marker, const QByteArray& body) {
    out.raw(QByteArray(1, char(0xFF)) + QByteArray(1, char(marker)));
    return u16be(out, quint16(body.size() + 2)).raw(body);
}

QByteArray scanHeader(quint8 first, quint8 last) {
    return QByteArray("\x01\x01\x00", 3) + char(first) + char(last) + QByteArray(1, '\0');
}

} // namespace

QByteArray progressiveJpeg(int width, int height, int acScans) {
    const qint64 blocks = qint64((width + 7) / 8) * ((height + 7) / 8);
    ByteWriter out;
    out.raw("\xFF\xD8");
    segment(out, 0xDB, QByteArray(1, '\0') + QByteArray(64, '\1'));
    ByteWriter frame;
    frame.raw(QByteArray(1, '\x08'));
    u16be(frame, quint16(height));
    u16be(frame, quint16(width));
    frame.raw(QByteArray("\x01\x01\x11\x00", 4));
    segment(out, 0xC2, frame.bytes());
    // DC: one code, "0", for a difference of 0. AC: the fifteen end-of-band runs EOB0..EOB14,
    // four bits each.
    QByteArray dc(1, '\0');
    dc += QByteArray(1, '\1') + QByteArray(15, '\0') + QByteArray(1, '\0');
    segment(out, 0xC4, dc);
    QByteArray ac(1, '\x10');
    ac += QByteArray(3, '\0') + QByteArray(1, '\x0F') + QByteArray(12, '\0');
    for (int run = 0; run <= 14; ++run) {
        ac += char(run << 4);
    }
    segment(out, 0xC4, ac);

    BitWriter dcBits;
    for (qint64 i = 0; i < blocks; ++i) {
        dcBits.put(0, 1);
    }
    segment(out, 0xDA, scanHeader(0, 0)).raw(dcBits.finish());
    // Every block of a band in runs: EOBr covers 2^r plus r extra bits of blocks.
    BitWriter acBits;
    for (qint64 left = blocks; left > 0;) {
        int r = 14;
        while ((qint64(1) << r) > left) {
            --r;
        }
        const qint64 run = qMin<qint64>(left, (qint64(1) << (r + 1)) - 1);
        acBits.put(quint32(r), 4);
        acBits.put(quint32(run - (qint64(1) << r)), r);
        left -= run;
    }
    const QByteArray acData = acBits.finish();
    for (int scan = 0; scan < acScans; ++scan) {
        segment(out, 0xDA, scanHeader(1, 63)).raw(acData);
    }
    return out.raw("\xFF\xD9").bytes();
}
