#pragma once

#include <QByteArray>
#include <QtGlobal>

// Builds files byte by byte in an explicit byte order; put() writes at a fixed offset and
// grows the buffer with zeros as needed.
class ByteWriter {
public:
    ByteWriter& i32le(qint32 value) { return putLe(bytes_.size(), static_cast<quint32>(value), 4); }
    ByteWriter& u16le(quint16 value) { return putLe(bytes_.size(), value, 2); }
    ByteWriter& u32le(quint32 value) { return putLe(bytes_.size(), value, 4); }
    ByteWriter& i32be(qint32 value) { return putBe(static_cast<quint32>(value), 4); }
    ByteWriter& u32be(quint32 value) { return putBe(value, 4); }
    ByteWriter& u64be(quint64 value) { return putBe(value, 8); }
    ByteWriter& i32leAt(qint64 offset, qint32 value) {
        return putLe(offset, static_cast<quint32>(value), 4);
    }
    ByteWriter& raw(const QByteArray& bytes) {
        bytes_.append(bytes);
        return *this;
    }
    ByteWriter& rawAt(qint64 offset, const QByteArray& bytes);
    ByteWriter& zeros(qint64 count) {
        bytes_.append(QByteArray(static_cast<int>(count), '\0'));
        return *this;
    }

    qint64 size() const { return bytes_.size(); }
    const QByteArray& bytes() const { return bytes_; }

private:
    ByteWriter& putLe(qint64 offset, quint64 value, int width);
    ByteWriter& putBe(quint64 value, int width);

    QByteArray bytes_;
};
