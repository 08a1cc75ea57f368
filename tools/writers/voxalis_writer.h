#pragma once

#include <QByteArray>

#include <optional>

// A project file: 412-byte header (preview reference at 12), the 32-byte preview header at
// 412, then the run-length picture. Unset fields match the layout; the reference defaults to
// a non-zero offset inside the file.
struct VoxalisFile {
    qint32 width = 1;
    qint32 height = 1;
    QByteArray picture;
    std::optional<qint32> reference;
    std::optional<qint32> dataOffset;
    std::optional<qint32> dataLength;
    QByteArray trailing;

    QByteArray bytes() const;
};
