#pragma once

#include <QByteArray>
#include <QFile>

// Reads `size` bytes from the current position into a zero-filled buffer. Returns false when
// fewer arrive; the buffer then holds what did arrive, zero-padded. The caller has checked
// `size` against the file, so the buffer is never larger than the file.
bool readZeroFilled(QFile& file, qint64 size, QByteArray& bytes);
