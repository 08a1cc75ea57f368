#pragma once

#include "mesh_writers.h"

#include <QByteArray>
#include <QVector>

#include <optional>

// How a PLY body is written after its text header.
enum class PlyForm { Ascii, LittleEndian, BigEndian };

// One property of an element: a scalar of `type`, or with `countType` a list of them.
struct PlyColumn {
    QByteArray type;
    QByteArray name;
    QByteArray countType = {};
};

// An element and its rows. A row holds each scalar's value, and for a list its count followed
// by its items, in column order; the header's count is the number of rows unless given.
struct PlyTable {
    QByteArray name;
    QVector<PlyColumn> columns;
    QVector<QVector<double>> rows;
    std::optional<quint64> declaredCount = {};
};

// A whole PLY file: "ply", the format line, the element and property lines, "end_header" and
// the body in `form`. `headerExtra` goes before "end_header" as it stands.
QByteArray plyFile(PlyForm form, const QVector<PlyTable>& tables,
                   const QByteArray& headerExtra = {});

// The vertex table of float x, y, z of every corner of the triangles, three per triangle.
PlyTable plyVertices(const QVector<Triangle>& triangles);
// The face table naming those vertices, a list of `countType` and `indexType` per triangle.
PlyTable plyFaces(int triangles, const QByteArray& countType = "uchar",
                  const QByteArray& indexType = "int");
