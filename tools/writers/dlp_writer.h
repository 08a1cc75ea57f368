#pragma once

#include <QByteArray>

#include <optional>

// A DLP family file ("kvrdlp", "lqx", "photon": 112-byte DlpHead_t; "fdg": 216-byte
// FdgHead_t), laid out as header, 32-byte preview header, encoded picture, trailing bytes.
// Every field left unset gets the value that matches that layout; a set field is written as
// given, so tests can make exactly the inconsistency they need.
struct DlpFile {
    int headerKind = 0;
    qint32 width = 1;
    qint32 height = 1;
    QByteArray picture;
    std::optional<qint32> previewOffset;
    std::optional<qint32> guardOffset;
    std::optional<qint32> dataOffset;
    std::optional<qint32> dataSize;
    QByteArray trailing;

    int headerSize() const { return headerKind == 1 ? 216 : 112; }
    QByteArray bytes() const;
};
