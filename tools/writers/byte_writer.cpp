#include "byte_writer.h"

ByteWriter& ByteWriter::rawAt(qint64 offset, const QByteArray& bytes) {
    if (bytes_.size() < offset + bytes.size()) {
        bytes_.resize(static_cast<int>(offset + bytes.size()));
    }
    bytes_.replace(static_cast<int>(offset), bytes.size(), bytes);
    return *this;
}

ByteWriter& ByteWriter::putLe(qint64 offset, quint64 value, int width) {
    QByteArray field(width, '\0');
    for (int i = 0; i < width; ++i) {
        field[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
    return rawAt(offset, field);
}

ByteWriter& ByteWriter::putBe(quint64 value, int width) {
    for (int i = width - 1; i >= 0; --i) {
        bytes_.append(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
    return *this;
}
