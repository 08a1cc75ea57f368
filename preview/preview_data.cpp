#include "preview_data.h"

namespace {

qint64 clampedLength(qint64 offset, qint64 length, qint64 size) {
    return offset < 0 || offset >= size ? 0 : qMin(length, size - offset);
}

} // namespace

bool BytesData::read(qint64 offset, qint64 length, QByteArray& bytes) const {
    const qint64 wanted = clampedLength(offset, length, bytes_.size());
    bytes =
        wanted == 0 ? QByteArray() : bytes_.mid(static_cast<int>(offset), static_cast<int>(wanted));
    return true;
}

bool FileData::read(qint64 offset, qint64 length, QByteArray& bytes) const {
    const qint64 wanted = clampedLength(offset, length, size_);
    bytes.resize(static_cast<int>(wanted));
    if (wanted == 0) {
        return true;
    }
    if (!file_.seek(start_ + offset) || file_.read(bytes.data(), wanted) != wanted) {
        failed_ = true;
        bytes.clear();
        return false;
    }
    return true;
}
