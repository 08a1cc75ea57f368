#pragma once

#include "mesh_writers.h"

#include <QByteArray>
#include <QVector>

#include <optional>

// A raw deflate stream made piece by piece, for parts of gigabytes: `head`, then `unit`
// repeated `count` times, then `tail`.
struct DeflatedData {
    QByteArray stream;
    quint32 crc = 0;
    quint32 size = 0;
};
DeflatedData deflateRepeated(const QByteArray& head, const QByteArray& unit, qint64 count,
                             const QByteArray& tail);

// One entry of a zip archive as our writer stores it; the declared sizes can be set apart
// from the real ones to make damaged and hostile archives.
struct ZipEntry {
    QByteArray name;
    QByteArray data;
    bool deflate = true;
    std::optional<quint32> declaredSize;
    std::optional<quint32> declaredCompressedSize;
    // Bytes after the stored data, counted in the declared compressed size.
    QByteArray padding = {};
    // A directory entry of its own pointing at an earlier entry's local header and data, with
    // its check and sizes, instead of a header and data of its own.
    std::optional<int> sharesDataOf = {};
    // Data too large to hold inflated, deflated beforehand: stored as it stands, with the
    // check and the size given here instead of those of `data`.
    std::optional<DeflatedData> deflated = {};
};

// A zip archive: local headers with their data, the central directory, the end record.
QByteArray zipArchive(const QVector<ZipEntry>& entries);

// A reference to an object, from a component or a build item. `transform` is the twelve
// numbers of 3MF's row-vector matrix as text; `path` a Production part name, or none.
struct ThreeMfReference {
    quint32 objectId = 1;
    QByteArray transform;
    QByteArray path;
};

// An object: a mesh of the triangles (shared corners written once), or components. A
// non-empty `rawMesh` is written inside <mesh> instead, for broken meshes and for triangles
// with properties; `attributes` go into the object's tag as they stand (pid="5" pindex="1").
struct ThreeMfObject {
    quint32 id = 1;
    QVector<Triangle> triangles;
    QVector<ThreeMfReference> components;
    QByteArray rawMesh;
    QByteArray attributes = {};
};

// The XML of one model part; `resources` (base materials, colour groups with the prefix m)
// come before the objects as they stand.
QByteArray threeMfModel(const QVector<ThreeMfObject>& objects,
                        const QVector<ThreeMfReference>& build, const QByteArray& resources = {});

// A whole 3MF package: content types, the package relationships (model, and thumbnail when
// there is one), the root model part /3D/3dmodel.model and any further parts.
struct ThreeMfPackage {
    QByteArray model;
    QByteArray thumbnail;
    QByteArray thumbnailName = "Metadata/thumbnail.png";
    QVector<ZipEntry> extraParts;
    bool deflate = true;

    QVector<ZipEntry> entries() const;
    QByteArray bytes() const { return zipArchive(entries()); }
};

// A PNG whose header declares width x height but whose pixels are a token few bytes: a
// decoder that trusts the header allocates the declared picture.
QByteArray pngDeclaring(quint32 width, quint32 height);
