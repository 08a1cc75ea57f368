#include "ply_writer.h"

#include <cstring>

namespace {

// The value in the binary form of `type`, in the byte order of `form`.
void putBinary(QByteArray& out, PlyForm form, const QByteArray& type, double value) {
    quint64 bits = 0;
    int width = 0;
    if (type == "float" || type == "float32") {
        const float f = float(value);
        quint32 b = 0;
        std::memcpy(&b, &f, 4);
        bits = b;
        width = 4;
    } else if (type == "double" || type == "float64") {
        std::memcpy(&bits, &value, 8);
        width = 8;
    } else {
        bits = quint64(qint64(value));
        width = type.contains("char") || type.contains("8")     ? 1
                : type.contains("short") || type.contains("16") ? 2
                                                                : 4;
    }
    for (int i = 0; i < width; ++i) {
        const int shift = 8 * (form == PlyForm::BigEndian ? width - 1 - i : i);
        out.append(char((bits >> shift) & 0xFF));
    }
}

void putText(QByteArray& out, const QByteArray& type, double value) {
    const bool integral = !(type.startsWith("float") || type == "double");
    out.append(integral ? QByteArray::number(qint64(value)) : QByteArray::number(value, 'g', 17));
    out.append(' ');
}

void putValue(QByteArray& out, PlyForm form, const QByteArray& type, double value) {
    if (form == PlyForm::Ascii) {
        putText(out, type, value);
    } else {
        putBinary(out, form, type, value);
    }
}

// One row of a table; a list's count says how many of the row's values are its items.
void putRow(QByteArray& out, PlyForm form, const PlyTable& table, const QVector<double>& row) {
    int at = 0;
    for (const PlyColumn& column : table.columns) {
        if (at >= row.size()) {
            return;
        }
        if (column.countType.isEmpty()) {
            putValue(out, form, column.type, row[at++]);
            continue;
        }
        const double count = row[at++];
        putValue(out, form, column.countType, count);
        // A count beyond the row's values is written as it is, for files that claim more.
        const int items = int(qMin(qMax(count, 0.0), double(row.size() - at)));
        for (int i = 0; i < items; ++i) {
            putValue(out, form, column.type, row[at++]);
        }
    }
    if (form == PlyForm::Ascii) {
        out.chop(1);
        out.append('\n');
    }
}

} // namespace

QByteArray plyFile(PlyForm form, const QVector<PlyTable>& tables, const QByteArray& headerExtra) {
    static const char* const kForms[] = {"ascii", "binary_little_endian", "binary_big_endian"};
    QByteArray out = "ply\nformat " + QByteArray(kForms[int(form)]) + " 1.0\n";
    out += "comment written by the VOXALIS test writers\n";
    for (const PlyTable& table : tables) {
        out += "element " + table.name + ' ' +
               QByteArray::number(table.declaredCount.value_or(quint64(table.rows.size()))) + '\n';
        for (const PlyColumn& column : table.columns) {
            out += column.countType.isEmpty() ? "property " + column.type + ' ' + column.name + '\n'
                                              : "property list " + column.countType + ' ' +
                                                    column.type + ' ' + column.name + '\n';
        }
    }
    out += headerExtra + "end_header\n";
    for (const PlyTable& table : tables) {
        for (const QVector<double>& row : table.rows) {
            putRow(out, form, table, row);
        }
    }
    return out;
}

PlyTable plyVertices(const QVector<Triangle>& triangles) {
    PlyTable table{"vertex", {{"float", "x"}, {"float", "y"}, {"float", "z"}}, {}};
    for (const Triangle& t : triangles) {
        for (const QVector3D& p : {t.a, t.b, t.c}) {
            table.rows.append({p.x(), p.y(), p.z()});
        }
    }
    return table;
}

PlyTable plyFaces(int triangles, const QByteArray& countType, const QByteArray& indexType) {
    PlyTable table{"face", {{indexType, "vertex_indices", countType}}, {}};
    for (int i = 0; i < triangles; ++i) {
        table.rows.append({3, double(3 * i), double(3 * i + 1), double(3 * i + 2)});
    }
    return table;
}
