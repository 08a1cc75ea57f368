#pragma once

#include <QByteArray>
#include <QPointF>
#include <QVector3D>
#include <QVector>

#include <optional>

struct Triangle {
    QVector3D a;
    QVector3D b;
    QVector3D c;
};

// Closed shapes for samples, tests and benchmarks, outward-facing counter-clockwise.
QVector<Triangle> cube(float side, const QVector3D& origin = {});
// A torus of `rings` x `sides` quads: 2 x rings x sides triangles.
QVector<Triangle> torus(float major, float minor, int rings, int sides);

// A UV sphere around `centre`: 2 x rings x segments triangles (less the degenerate poles).
QVector<Triangle> sphere(float radius, int rings, int segments, const QVector3D& centre = {});

// Binary STL: 80-byte header, facet count (the real one unless given), 50-byte records whose
// stored normal is `storedNormal` (readers must not use it).
QByteArray binaryStl(const QVector<Triangle>& triangles, const QByteArray& header = "binary stl",
                     std::optional<quint32> facetCount = std::nullopt,
                     const QVector3D& storedNormal = {});

// ASCII STL with the usual facet/outer loop/vertex structure.
QByteArray asciiStl(const QVector<Triangle>& triangles, const QByteArray& name = "part");

// OBJ text: "v" lines, then one "f" line per triangle (1-based references).
QByteArray objFile(const QVector<Triangle>& triangles);

// An SLC contour file: header text, CR LF ^Z, 256 reserved bytes, the sampling table, layers.
struct SlcSample {
    float minZ;
    float thickness;
};
struct SlcLayer {
    float z;
    QVector<QVector<QPointF>> boundaries;
};
struct SlcFile {
    QByteArray header = "-SLCVER 2.0 -UNIT MM -TYPE PART";
    QVector<SlcSample> samples = {{0.0f, 0.05f}};
    QVector<SlcLayer> layers;
    bool endMarker = true;

    QByteArray bytes() const;
};

// A closed square boundary (first vertex repeated at the end).
QVector<QPointF> squareBoundary(double side, double x = 0, double y = 0);

// Meshes that cost the rasteriser far more than their size: every triangle covers most of the
// picture, faces the cache's camera and lies nearer to it than the one before, so each pixel
// is shaded again and again. All about `bytes` long.
// OBJ: three corners round a centre, then face lines of 1,023 bytes, "f 1 2 3 4 2 3 4 …", each
// a fan of about 500 triangles.
QByteArray denseFanObj(qint64 bytes);
// SLC: one layer, a boundary zigzagging from side to side: every 8-byte vertex a wall as
// tall as it is wide.
QByteArray tallWallsSlc(qint64 bytes);
// Binary STL: the same large triangle stacked towards the eye.
QByteArray overlappingFacetsStl(qint64 bytes);
