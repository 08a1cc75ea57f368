#include "file_reads.h"

bool readZeroFilled(QFile& file, qint64 size, QByteArray& bytes) {
    bytes = QByteArray(static_cast<int>(size), '\0');
    if (size == 0) {
        return true;
    }
    return file.read(bytes.data(), size) == size;
}
