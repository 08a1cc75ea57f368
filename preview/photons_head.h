#pragma once

#include "byte_reader.h"

#include <QByteArray>
#include <QtGlobal>

// The head of a photons file after its length-prefixed version text: fourteen big-endian
// numbers of which only the preview's width and height are used.
struct PhotonsHead_t {
    QByteArray version;
    quint64 leading[5] = {};
    quint32 afterLeading = 0;
    quint64 middle[4] = {};
    qint32 width = 0;
    quint32 afterWidth = 0;
    qint32 height = 0;
    quint32 afterHeight = 0;
};

// The fourteen numbers take this many bytes after the version text.
constexpr int kPhotonsHeadNumbersSize = 92;

// Reads the fourteen numbers into `head`; false when the bytes end before the last one.
bool readPhotonsHead(ByteReader& numbers, PhotonsHead_t& head);
