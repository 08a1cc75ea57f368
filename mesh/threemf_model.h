#pragma once

#include "mesh_colour.h"
#include "opc_package.h"
#include "xml_reader.h"

#include <QHash>
#include <QString>
#include <QVector3D>
#include <QVector>

#include <deque>
#include <functional>

// An affine map in 3MF's row-vector form "m00 m01 m02 m10 m11 m12 m20 m21 m22 m30 m31 m32":
// a point p becomes p * M, the last row being the translation.
struct ThreeMfTransform {
    float m[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};

    QVector3D apply(float x, float y, float z) const {
        return {x * m[0] + y * m[3] + z * m[6] + m[9], x * m[1] + y * m[4] + z * m[7] + m[10],
                x * m[2] + y * m[5] + z * m[8] + m[11]};
    }
    // This map followed by `outer`.
    ThreeMfTransform then(const ThreeMfTransform& outer) const;
};

// How reading or building a model ended.
enum class ThreeMfResult {
    Read,    // every triangle went to the sink
    Damaged, // the package or the model is inconsistent; reason() says how
    Refused, // sound, but larger than a thumbnail is worth
    Stopped, // the sink asked to stop (the memory guard)
};

// The model of a 3MF package: the objects of the root model part and of the parts its
// components and build items name (as the Production extension writes them), and the build.
// Only what a picture needs is kept: vertices, triangles, components, transforms, and the
// colours of base materials and colour groups that triangles name (by corner, the object's
// group and index where a triangle names none). Textures, composites, beams and slices are
// skipped, whatever their namespace: their triangles get the model's one colour.
class ThreeMfModel {
public:
    // Returns true to stop. `colours` are the three corners', or null for a triangle without.
    using TriangleSink = std::function<bool(const QVector3D&, const QVector3D&, const QVector3D&,
                                            const MeshColour* colours)>;
    // Asked now and then while parsing; true stops the read (the memory guard).
    using StopCheck = std::function<bool()>;

    ThreeMfResult read(OpcPackage& package, const StopCheck& shouldStop);
    // Every triangle of every build item, transformed, in build order.
    ThreeMfResult build(const TriangleSink& sink);

    QString reason() const { return reason_; }

private:
    struct Component {
        QString part;
        quint32 objectId = 0;
        ThreeMfTransform transform;
    };
    struct Object {
        QString part;
        QVector<float> vertices;
        QVector<quint32> triangles;
        QVector<Component> components;
        // The group and index of the object's own colour (pid, pindex), if it names one.
        QVector<MeshColour>* colourGroup = nullptr;
        quint32 colourIndex = 0;
        // Three per triangle, in step with `triangles`, once one of its triangles has a colour.
        QVector<MeshColour> cornerColours;
        // Set while the object is being measured, so that a cycle is seen.
        bool onPath = false;
        // Triangles and object instances the object makes with its components, once measured.
        qint64 triangleCount = -1;
        qint64 instanceCount = 0;
    };

    ThreeMfResult readPart(OpcPackage& package, const QString& part, bool root,
                           const StopCheck& shouldStop);
    // One element of the core namespace; `current` is the object being read, if any.
    ThreeMfResult readElement(XmlReader& xml, const QString& part, bool root, Object*& current);
    // A base materials or colour group element starts the group its id names.
    ThreeMfResult startGroup(XmlReader& xml, const QString& part);
    // A colour of a base material or a colour group, into the group being read.
    ThreeMfResult readColour(XmlReader& xml, const char* attribute);
    // The corner colours of the triangle just stored in `object`, from the triangle's pid
    // and p1, p2, p3 or the object's own.
    void colourTriangle(XmlReader& xml, const QString& part, Object& object);
    // The object id, part and transform of a component or build item; false when damaged.
    bool referenceOf(XmlReader& xml, const QString& part, Component& reference);
    // Checks what an object refers to (missing objects, cycles, depth) and counts what it
    // makes, each object once, before a single triangle is made.
    ThreeMfResult measure(Object& object, int depth);
    ThreeMfResult walk(const Object& object, const ThreeMfTransform& transform,
                       const TriangleSink& sink);
    Object* find(const QString& part, quint32 id);
    ThreeMfResult damaged(const QString& why);

    std::deque<Object> objects_;
    QHash<QString, Object*> byKey_;
    QVector<Component> items_;
    QStringList partsToRead_;
    // Base materials and colour groups by part and id, and the one being read.
    std::deque<QVector<MeshColour>> colourGroups_;
    QHash<QString, QVector<MeshColour>*> groupByKey_;
    QVector<MeshColour>* currentGroup_ = nullptr;
    qint64 colours_ = 0;
    QString reason_;
    // Vertices and triangles of every part read so far.
    qint64 vertices_ = 0;
    qint64 triangles_ = 0;
};
