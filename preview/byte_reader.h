#pragma once

#include <QByteArray>
#include <QtGlobal>

// Reads fixed-width integers from a byte array in an explicit byte order. A read past the end
// yields 0 and turns the reader invalid, so a caller checks ok() once after a group of reads.
class ByteReader {
public:
    explicit ByteReader(const QByteArray& bytes, qint64 position = 0)
        : bytes_(bytes), position_(position) {}

    ByteReader& at(qint64 position) {
        position_ = position;
        return *this;
    }

    quint16 u16le() { return static_cast<quint16>(take(2, false)); }
    qint32 i32le() { return static_cast<qint32>(static_cast<quint32>(take(4, false))); }
    quint32 u32le() { return static_cast<quint32>(take(4, false)); }
    quint32 u32be() { return static_cast<quint32>(take(4, true)); }
    qint32 i32be() { return static_cast<qint32>(u32be()); }
    quint64 u64be() { return take(8, true); }

    bool ok() const { return ok_; }

private:
    quint64 take(int width, bool bigEndian) {
        if (position_ < 0 || position_ > bytes_.size() - width) {
            ok_ = false;
            return 0;
        }
        const auto* data = reinterpret_cast<const uchar*>(bytes_.constData()) + position_;
        quint64 value = 0;
        for (int i = 0; i < width; ++i) {
            const int shift = 8 * (bigEndian ? width - 1 - i : i);
            value |= quint64{data[i]} << shift;
        }
        position_ += width;
        return value;
    }

    const QByteArray& bytes_;
    qint64 position_;
    bool ok_ = true;
};
