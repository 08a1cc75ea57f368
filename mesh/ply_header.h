#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <vector>

class QIODevice;

// How a PLY file's body is written, after its text header.
enum class PlyEncoding { Ascii, BinaryLittleEndian, BinaryBigEndian };

// The scalar types of PLY properties, each under both of the names writers use.
enum class PlyType { Int8, UInt8, Int16, UInt16, Int32, UInt32, Float32, Float64 };

// Bytes a value of the type takes in a binary body.
int plyTypeSize(PlyType type);

// A property of an element: one scalar, or a list of scalars preceded by its count.
struct PlyProperty {
    QByteArray name;
    PlyType type = PlyType::Float32;
    bool isList = false;
    PlyType countType = PlyType::UInt8;
};

struct PlyElement {
    QByteArray name;
    quint64 count = 0;
    std::vector<PlyProperty> properties;

    // The index of the scalar property called `name`, or -1.
    int scalar(const char* name) const;
};

struct PlyHeader {
    PlyEncoding encoding = PlyEncoding::Ascii;
    std::vector<PlyElement> elements;
};

// Reads the header from the device's current position through its "end_header" line, leaving
// the device at the body's first byte. False, with the reason in `problem`, for a file that is
// no PLY or whose header cannot be read. Counts are taken as the file gives them: the body is
// what bounds the reading.
bool readPlyHeader(QIODevice& device, PlyHeader& header, QString& problem);
