#include "mesh_writers.h"

#include "byte_writer.h"

#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

void storeLe32(uchar* at, quint32 value) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<uchar>(value >> (8 * i));
    }
}

quint32 bitsOf(float value) {
    quint32 bits;
    std::memcpy(&bits, &value, sizeof(bits));
    return bits;
}

void putFloat(ByteWriter& out, float value) {
    out.u32le(bitsOf(value));
}

// Nine significant digits: every float reads back as itself, far from the origin too.
QByteArray number(float value) {
    return QByteArray::number(value, 'e', 8);
}

} // namespace

QVector<Triangle> cube(float side, const QVector3D& origin) {
    const auto corner = [&](int x, int y, int z) {
        return origin + QVector3D(x * side, y * side, z * side);
    };
    // Each face as a quad of corner indices (bit 0 = x, bit 1 = y, bit 2 = z), outward.
    const int faces[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4},
                             {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    QVector<Triangle> triangles;
    for (const auto& face : faces) {
        QVector3D q[4];
        for (int i = 0; i < 4; ++i) {
            q[i] = corner(face[i] & 1, (face[i] >> 1) & 1, (face[i] >> 2) & 1);
        }
        triangles.append({q[0], q[1], q[2]});
        triangles.append({q[0], q[2], q[3]});
    }
    return triangles;
}

QVector<Triangle> torus(float major, float minor, int rings, int sides) {
    const auto point = [&](int ring, int side) {
        const double u = 2 * M_PI * ring / rings;
        const double v = 2 * M_PI * side / sides;
        const double r = major + minor * std::cos(v);
        return QVector3D(float(r * std::cos(u)), float(r * std::sin(u)),
                         float(minor * std::sin(v)));
    };
    QVector<Triangle> triangles;
    triangles.reserve(2 * rings * sides);
    for (int i = 0; i < rings; ++i) {
        for (int j = 0; j < sides; ++j) {
            const QVector3D a = point(i, j);
            const QVector3D b = point(i + 1, j);
            const QVector3D c = point(i + 1, j + 1);
            const QVector3D d = point(i, j + 1);
            triangles.append({a, b, c});
            triangles.append({a, c, d});
        }
    }
    return triangles;
}

QVector<Triangle> sphere(float radius, int rings, int segments, const QVector3D& centre) {
    const auto point = [&](int ring, int segment) {
        const double polar = M_PI * ring / rings;
        const double azimuth = 2 * M_PI * segment / segments;
        return centre + radius * QVector3D(float(std::sin(polar) * std::cos(azimuth)),
                                           float(std::sin(polar) * std::sin(azimuth)),
                                           float(std::cos(polar)));
    };
    QVector<Triangle> triangles;
    for (int i = 0; i < rings; ++i) {
        for (int j = 0; j < segments; ++j) {
            const QVector3D a = point(i, j);
            const QVector3D b = point(i + 1, j);
            const QVector3D c = point(i + 1, j + 1);
            const QVector3D d = point(i, j + 1);
            if (i + 1 < rings) {
                triangles.append({a, b, c});
            }
            if (i > 0) {
                triangles.append({a, c, d});
            }
        }
    }
    return triangles;
}

QByteArray binaryStl(const QVector<Triangle>& triangles, const QByteArray& header,
                     std::optional<quint32> facetCount, const QVector3D& storedNormal) {
    // Written in place: the benchmarks make files of millions of facets.
    std::vector<uchar> out(84 + 50 * static_cast<std::size_t>(triangles.size()), 0);
    uchar* bytes = out.data();
    std::memcpy(bytes, header.constData(), static_cast<std::size_t>(qMin(80, header.size())));
    storeLe32(bytes + 80, facetCount.value_or(static_cast<quint32>(triangles.size())));
    uchar* record = bytes + 84;
    for (const Triangle& t : triangles) {
        int at = 0;
        for (const QVector3D& p : {storedNormal, t.a, t.b, t.c}) {
            for (float value : {p.x(), p.y(), p.z()}) {
                storeLe32(record + at, bitsOf(value));
                at += 4;
            }
        }
        record += 50;
    }
    return QByteArray(reinterpret_cast<const char*>(out.data()), static_cast<int>(out.size()));
}

QByteArray asciiStl(const QVector<Triangle>& triangles, const QByteArray& name) {
    QByteArray out = "solid " + name + "\n";
    for (const Triangle& t : triangles) {
        out += "  facet normal 0 0 0\n    outer loop\n";
        for (const QVector3D& p : {t.a, t.b, t.c}) {
            out +=
                "      vertex " + number(p.x()) + " " + number(p.y()) + " " + number(p.z()) + "\n";
        }
        out += "    endloop\n  endfacet\n";
    }
    return out + "endsolid " + name + "\n";
}

QByteArray objFile(const QVector<Triangle>& triangles) {
    QByteArray vertices = "# written by the VOXALIS test writers\n";
    QByteArray faces;
    int next = 1;
    for (const Triangle& t : triangles) {
        for (const QVector3D& p : {t.a, t.b, t.c}) {
            vertices += "v " + number(p.x()) + " " + number(p.y()) + " " + number(p.z()) + "\n";
        }
        faces += "f " + QByteArray::number(next) + " " + QByteArray::number(next + 1) + " " +
                 QByteArray::number(next + 2) + "\n";
        next += 3;
    }
    return vertices + faces;
}

QByteArray SlcFile::bytes() const {
    ByteWriter out;
    out.raw(header).raw("\r\n\x1a").zeros(256);
    out.raw(QByteArray(1, static_cast<char>(samples.size())));
    for (const SlcSample& s : samples) {
        putFloat(out, s.minZ);
        putFloat(out, s.thickness);
        putFloat(out, 0.0f);
        putFloat(out, 0.0f);
    }
    for (const SlcLayer& layer : layers) {
        putFloat(out, layer.z);
        out.u32le(static_cast<quint32>(layer.boundaries.size()));
        for (const QVector<QPointF>& boundary : layer.boundaries) {
            out.u32le(static_cast<quint32>(boundary.size())).u32le(0);
            for (const QPointF& p : boundary) {
                putFloat(out, float(p.x()));
                putFloat(out, float(p.y()));
            }
        }
    }
    if (endMarker) {
        putFloat(out, 0.0f);
        out.u32le(0xFFFFFFFF);
    }
    return out.bytes();
}

QVector<QPointF> squareBoundary(double side, double x, double y) {
    return {{x, y}, {x + side, y}, {x + side, y + side}, {x, y + side}, {x, y}};
}

QByteArray denseFanObj(qint64 bytes) {
    // Seen from +z the fan turns counter-clockwise, as the cache's camera sees the model.
    QByteArray out = "v 0 0 0\nv 100 0 1\nv -50 87 2\nv -50 -87 3\n";
    QByteArray line = "f 1";
    while (line.size() + 6 <= 1022) {
        line += " 2 3 4";
    }
    line += "\n";
    while (out.size() + line.size() <= bytes) {
        out += line;
    }
    return out;
}

QByteArray tallWallsSlc(qint64 bytes) {
    // A wall from x = 0 to x = 100 is 100 wide and the sample makes the layer as tall; seen
    // from the front (-y), each wall stands a little nearer than the one before.
    SlcFile slc{"-SLCVER 2.0 -UNIT MM -TYPE PART", {{0.0f, 100.0f}}, {}};
    const QByteArray empty = slc.bytes();
    const qint64 vertices = std::max<qint64>(2, (bytes - empty.size() - 16) / 8);
    QVector<QPointF> zigzag;
    zigzag.reserve(int(vertices));
    for (qint64 i = 0; i < vertices; ++i) {
        zigzag.append({i % 2 == 0 ? 0.0 : 100.0, -double(i) / double(vertices)});
    }
    slc.layers = {{0.0f, {zigzag}}};
    return slc.bytes();
}

QByteArray overlappingFacetsStl(qint64 bytes) {
    const qint64 facets = std::max<qint64>(1, (bytes - 84) / 50);
    QVector<Triangle> triangles;
    triangles.reserve(int(facets));
    for (qint64 i = 0; i < facets; ++i) {
        const float z = float(i) / float(facets);
        triangles.append({{-50, -50, z}, {50, -50, z}, {0, 60, z}});
    }
    return binaryStl(triangles);
}
