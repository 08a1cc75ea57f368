#pragma once

#include "reader_result.h"

#include <QFile>
#include <QString>

#include <optional>

// The first steps of every reader: the size limit, refused with the reader's number as "the
// file is too large" (after an error row when `errorRowWhenTooLarge`), then the open, which
// fails silently, as it does for anything but a regular file: a FIFO or a device would block
// the open or feed it endlessly. Empty when `file` is open and the reader goes on.
std::optional<ReaderResult> openSource(QFile& file, const QString& path, const char* operation,
                                       int tooLargeNumber, bool errorRowWhenTooLarge = false);

// The open alone, for readers that read a bounded part of a file of any size: false, silently,
// for anything but a regular file that opens.
bool openRegularFile(QFile& file, const QString& path);

// DlpPreviewHead_t, which the DLP family, GF and project files share: width, height, data
// offset, data size, then 16 bytes nobody reads.
struct DlpPreviewHead_t {
    qint32 width = 0;
    qint32 height = 0;
    qint32 dataOffset = 0;
    qint32 dataSize = 0;

    // Sides of 1 to kMaxPreviewSide; anything else means a damaged header.
    bool sidesInRange() const;
};

// Reads the preview head at the file's position; empty when the file ends inside it.
std::optional<DlpPreviewHead_t> readPreviewHead(QFile& file);
