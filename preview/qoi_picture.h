#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

// A QOI picture of `declared` pixels, decoded by libqoi once its header names that size and
// its chunks hold that many pixels: libqoi allocates the header's picture whatever the data
// holds, and repeats the last pixel where the data runs out. Null, with `problem` set, when
// the bytes are no such picture.
QImage decodeQoi(const QByteArray& bytes, QSize declared, QString& problem);
