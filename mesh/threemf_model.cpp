#include "threemf_model.h"

#include "xml_reader.h"

#include <QSet>

namespace {

constexpr std::string_view kCoreNamespace =
    "http://schemas.microsoft.com/3dmanufacturing/core/2015/02";
constexpr std::string_view kMaterialNamespace =
    "http://schemas.microsoft.com/3dmanufacturing/material/2015/02";
constexpr std::string_view kProductionNamespace =
    "http://schemas.microsoft.com/3dmanufacturing/production/2015/06";

// Parts besides the root that components may name; Production packages hold one per object.
constexpr int kPartLimit = 4096;
// Slicers and CAD tools nest assemblies a few levels deep; thousands of levels are a trap
// for the stack.
constexpr int kDepthLimit = 64;
// What a model may hold, each 12 bytes: 2^23 vertices and triangles are 100 MB apiece, about
// twice what the largest build takes.
constexpr qint64 kVertexLimit = qint64(1) << 23;
constexpr qint64 kStoredTriangleLimit = qint64(1) << 23;
// Components multiply: ten objects of ten components each, ten levels deep, make 10^10
// instances of a tiny mesh. Both counts are taken through every level before a triangle is
// made: 2^22 triangles are 150 MB of positions (300 MB with normals) and a second of drawing,
// and 2^20 instances bound the walk however few triangles each holds.
constexpr qint64 kInstanceLimit = qint64(1) << 20;
constexpr qint64 kBuiltTriangleLimit = qint64(1) << 22;
// Colours of base materials and colour groups, 4 bytes each.
constexpr qint64 kColourLimit = qint64(1) << 23;
// How many elements pass between two looks at the memory load.
constexpr qint64 kElementsPerCheck = 1 << 20;

QString objectKey(const QString& part, quint32 id) {
    return part.toLower() + QLatin1Char('#') + QString::number(id);
}

bool parseTransform(std::string_view text, ThreeMfTransform& transform) {
    if (text.empty()) {
        return true;
    }
    const std::vector<std::string_view> numbers = xmlWords(text);
    if (numbers.size() != 12) {
        return false;
    }
    for (int i = 0; i < 12; ++i) {
        if (!xmlFloat(numbers[std::size_t(i)], transform.m[i])) {
            return false;
        }
    }
    return true;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    c = char(c | 0x20);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// 3MF's sRGB colour "#RRGGBB" or "#RRGGBBAA"; anything else leaves the model's one colour.
MeshColour parseColour(std::string_view text) {
    if ((text.size() != 7 && text.size() != 9) || text[0] != '#') {
        return kModelColour;
    }
    MeshColour colour = {0, 0, 0, 255};
    for (std::size_t i = 0; 2 * i + 1 < text.size(); ++i) {
        const int high = hexDigit(text[2 * i + 1]), low = hexDigit(text[2 * i + 2]);
        if (high < 0 || low < 0) {
            return kModelColour;
        }
        colour[i] = quint8(high * 16 + low);
    }
    return colour;
}

} // namespace

ThreeMfTransform ThreeMfTransform::then(const ThreeMfTransform& outer) const {
    ThreeMfTransform result;
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 3; ++column) {
            float sum = row == 3 ? outer.m[9 + column] : 0.0f;
            for (int k = 0; k < 3; ++k) {
                sum += m[3 * row + k] * outer.m[3 * k + column];
            }
            result.m[3 * row + column] = sum;
        }
    }
    return result;
}

ThreeMfResult ThreeMfModel::damaged(const QString& why) {
    reason_ = why;
    return ThreeMfResult::Damaged;
}

ThreeMfModel::Object* ThreeMfModel::find(const QString& part, quint32 id) {
    return byKey_.value(objectKey(part, id), nullptr);
}

ThreeMfResult ThreeMfModel::read(OpcPackage& package, const StopCheck& shouldStop) {
    if (!package.isReadable()) {
        return damaged(package.problem());
    }
    const QStringList roots =
        package.relationshipTargets(QStringLiteral("/"), kThreeMfModelRelationship);
    if (roots.isEmpty()) {
        return damaged(QStringLiteral("the package names no model part"));
    }
    partsToRead_.append(roots.first());
    QSet<QString> read;
    while (!partsToRead_.isEmpty()) {
        const QString part = partsToRead_.takeFirst();
        if (read.contains(part.toLower())) {
            continue;
        }
        if (read.size() > kPartLimit) {
            return damaged(QStringLiteral("the model names too many parts"));
        }
        const bool root = read.isEmpty();
        read.insert(part.toLower());
        const ThreeMfResult result = readPart(package, part, root, shouldStop);
        if (result != ThreeMfResult::Read) {
            return result;
        }
    }
    return ThreeMfResult::Read;
}

ThreeMfResult ThreeMfModel::readPart(OpcPackage& package, const QString& part, bool root,
                                     const StopCheck& shouldStop) {
    const std::unique_ptr<OpcPackage::PartStream> stream =
        package.openPart(part, OpcPackage::kInflateLimit);
    if (!stream) {
        reason_ = package.problem();
        return package.refusedForSize() ? ThreeMfResult::Refused : ThreeMfResult::Damaged;
    }
    XmlReader xml([&stream](char* out, qint64 max) { return stream->read(out, max); });
    Object* current = nullptr;
    qint64 elements = 0;
    for (;;) {
        const XmlReader::Token token = xml.next();
        if (token == XmlReader::Token::Error) {
            if (xml.sourceFailed()) {
                reason_ = package.problem();
                return package.refusedForSize() ? ThreeMfResult::Refused : ThreeMfResult::Damaged;
            }
            if (xml.endedEarly()) {
                return damaged(QStringLiteral("the model part ends early: ") + part);
            }
            return damaged(QStringLiteral("the model part is no XML: ") + xml.problem());
        }
        if (token == XmlReader::Token::EndDocument) {
            // The rest of the part is read too, so that its size and check are verified.
            QByteArray block(4096, Qt::Uninitialized);
            qint64 got = 0;
            while ((got = stream->read(block.data(), block.size())) > 0) {
            }
            return got < 0 ? damaged(package.problem()) : ThreeMfResult::Read;
        }
        if (xml.namespaceUri() != kCoreNamespace && xml.namespaceUri() != kMaterialNamespace) {
            continue;
        }
        if (token == XmlReader::Token::EndElement) {
            if (xml.localName() == "object") {
                current = nullptr;
            } else if (xml.localName() == "basematerials" || xml.localName() == "colorgroup") {
                currentGroup_ = nullptr;
            }
            continue;
        }
        if (++elements % kElementsPerCheck == 0 && shouldStop()) {
            return ThreeMfResult::Stopped;
        }
        const ThreeMfResult result = readElement(xml, part, root, current);
        if (result != ThreeMfResult::Read) {
            return result;
        }
    }
}

ThreeMfResult ThreeMfModel::readElement(XmlReader& xml, const QString& part, bool root,
                                        Object*& current) {
    const std::string_view name = xml.localName();
    if (xml.namespaceUri() == kMaterialNamespace) {
        if (name == "colorgroup" || (name == "color" && currentGroup_ != nullptr)) {
            return name == "color" ? readColour(xml, "color") : startGroup(xml, part);
        }
        return ThreeMfResult::Read;
    }
    if (name == "basematerials") {
        return startGroup(xml, part);
    }
    if (name == "base" && currentGroup_ != nullptr) {
        return readColour(xml, "displaycolor");
    }
    if (name == "vertex" && current != nullptr) {
        if (++vertices_ > kVertexLimit) {
            reason_ = QStringLiteral("the model holds too many vertices");
            return ThreeMfResult::Refused;
        }
        for (const char* axis : {"x", "y", "z"}) {
            std::string_view text;
            float value = 0;
            if (!xml.attribute({}, axis, text) || !xmlFloat(text, value)) {
                return damaged(QStringLiteral("a vertex has no coordinate ") + axis);
            }
            current->vertices.append(value);
        }
    } else if (name == "triangle" && current != nullptr) {
        if (++triangles_ > kStoredTriangleLimit) {
            reason_ = QStringLiteral("the model holds too many triangles");
            return ThreeMfResult::Refused;
        }
        const quint32 vertexCount = quint32(current->vertices.size() / 3);
        for (const char* corner : {"v1", "v2", "v3"}) {
            std::string_view text;
            quint32 index = 0;
            if (!xml.attribute({}, corner, text) || !xmlUnsigned(text, index) ||
                index >= vertexCount) {
                return damaged(QStringLiteral("a triangle names a vertex that does not exist"));
            }
            current->triangles.append(index);
        }
        colourTriangle(xml, part, *current);
    } else if (name == "component" && current != nullptr) {
        Component component;
        if (!referenceOf(xml, part, component)) {
            return damaged(QStringLiteral("a component is damaged"));
        }
        current->components.append(component);
    } else if (name == "object") {
        std::string_view text;
        quint32 id = 0;
        if (!xml.attribute({}, "id", text) || !xmlUnsigned(text, id) || find(part, id) != nullptr) {
            return damaged(QStringLiteral("an object has no id of its own"));
        }
        objects_.emplace_back();
        current = &objects_.back();
        current->part = part;
        byKey_.insert(objectKey(part, id), current);
        quint32 group = 0;
        if (xml.attribute({}, "pid", text) && xmlUnsigned(text, group)) {
            current->colourGroup = groupByKey_.value(objectKey(part, group), nullptr);
            if (!xml.attribute({}, "pindex", text) || !xmlUnsigned(text, current->colourIndex)) {
                current->colourIndex = 0;
            }
        }
    } else if (name == "item" && root) {
        Component item;
        if (!referenceOf(xml, part, item)) {
            return damaged(QStringLiteral("a build item is damaged"));
        }
        items_.append(item);
    }
    return ThreeMfResult::Read;
}

ThreeMfResult ThreeMfModel::startGroup(XmlReader& xml, const QString& part) {
    std::string_view text;
    quint32 id = 0;
    if (!xml.attribute({}, "id", text) || !xmlUnsigned(text, id)) {
        return damaged(QStringLiteral("a colour group has no id"));
    }
    colourGroups_.emplace_back();
    currentGroup_ = &colourGroups_.back();
    groupByKey_.insert(objectKey(part, id), currentGroup_);
    return ThreeMfResult::Read;
}

ThreeMfResult ThreeMfModel::readColour(XmlReader& xml, const char* attribute) {
    if (++colours_ > kColourLimit) {
        reason_ = QStringLiteral("the model holds too many colours");
        return ThreeMfResult::Refused;
    }
    std::string_view text;
    currentGroup_->append(xml.attribute({}, attribute, text) ? parseColour(text) : kModelColour);
    return ThreeMfResult::Read;
}

void ThreeMfModel::colourTriangle(XmlReader& xml, const QString& part, Object& object) {
    std::string_view text;
    const QVector<MeshColour>* group = object.colourGroup;
    quint32 id = 0;
    if (xml.attribute({}, "pid", text)) {
        group = xmlUnsigned(text, id) ? groupByKey_.value(objectKey(part, id), nullptr) : nullptr;
    }
    MeshColour corners[3] = {kModelColour, kModelColour, kModelColour};
    if (group != nullptr) {
        quint32 first = object.colourIndex;
        if (xml.attribute({}, "p1", text) && !xmlUnsigned(text, first)) {
            first = quint32(group->size());
        }
        const char* names[3] = {"p1", "p2", "p3"};
        for (int corner = 0; corner < 3; ++corner) {
            quint32 index = first;
            if (corner > 0 && xml.attribute({}, names[corner], text) && !xmlUnsigned(text, index)) {
                index = quint32(group->size());
            }
            // An index past the group leaves the corner in the model's one colour.
            if (index < quint32(group->size())) {
                corners[corner] = group->at(int(index));
            }
        }
    }
    const bool coloured = group != nullptr;
    if (coloured && object.cornerColours.isEmpty()) {
        object.cornerColours.fill(kModelColour, object.triangles.size() - 3);
    }
    if (!object.cornerColours.isEmpty() || coloured) {
        object.cornerColours.append(corners[0]);
        object.cornerColours.append(corners[1]);
        object.cornerColours.append(corners[2]);
    }
}

bool ThreeMfModel::referenceOf(XmlReader& xml, const QString& part, Component& reference) {
    std::string_view text;
    if (!xml.attribute({}, "objectid", text) || !xmlUnsigned(text, reference.objectId)) {
        return false;
    }
    if (xml.attribute(kProductionNamespace, "path", text) && !text.empty()) {
        reference.part = QString::fromUtf8(text.data(), int(text.size()));
    } else {
        reference.part = part;
    }
    if (reference.part.compare(part, Qt::CaseInsensitive) != 0) {
        partsToRead_.append(reference.part);
    }
    return !xml.attribute({}, "transform", text) || parseTransform(text, reference.transform);
}

ThreeMfResult ThreeMfModel::build(const TriangleSink& sink) {
    qint64 triangles = 0;
    qint64 instances = 0;
    QVector<const Object*> objects;
    for (const Component& item : qAsConst(items_)) {
        Object* object = find(item.part, item.objectId);
        if (object == nullptr) {
            return damaged(QStringLiteral("a build item names an object that does not exist"));
        }
        const ThreeMfResult result = measure(*object, 0);
        if (result != ThreeMfResult::Read) {
            return result;
        }
        triangles += object->triangleCount;
        instances += object->instanceCount;
        if (triangles > kBuiltTriangleLimit || instances > kInstanceLimit) {
            reason_ = QStringLiteral("the build makes too many triangles");
            return ThreeMfResult::Refused;
        }
        objects.append(object);
    }
    for (int i = 0; i < objects.size(); ++i) {
        const ThreeMfResult result = walk(*objects[i], items_[i].transform, sink);
        if (result != ThreeMfResult::Read) {
            return result;
        }
    }
    return ThreeMfResult::Read;
}

ThreeMfResult ThreeMfModel::measure(Object& object, int depth) {
    if (object.triangleCount >= 0) {
        return ThreeMfResult::Read;
    }
    if (depth > kDepthLimit) {
        return damaged(QStringLiteral("components are nested too deeply"));
    }
    if (object.onPath) {
        return damaged(QStringLiteral("a component contains itself"));
    }
    object.onPath = true;
    qint64 triangles = object.triangles.size() / 3;
    qint64 instances = 1;
    for (const Component& component : qAsConst(object.components)) {
        Object* child = find(component.part, component.objectId);
        if (child == nullptr) {
            object.onPath = false;
            return damaged(QStringLiteral("a component names an object that does not exist"));
        }
        const ThreeMfResult result = measure(*child, depth + 1);
        if (result != ThreeMfResult::Read) {
            object.onPath = false;
            return result;
        }
        // Past the limits the counts only need to stay past them, never to overflow.
        triangles = qMin(triangles + child->triangleCount, kBuiltTriangleLimit + 1);
        instances = qMin(instances + child->instanceCount, kInstanceLimit + 1);
    }
    object.onPath = false;
    object.triangleCount = triangles;
    object.instanceCount = instances;
    return ThreeMfResult::Read;
}

ThreeMfResult ThreeMfModel::walk(const Object& object, const ThreeMfTransform& transform,
                                 const TriangleSink& sink) {
    const float* v = object.vertices.constData();
    const quint32* t = object.triangles.constData();
    for (int i = 0; i < object.triangles.size(); i += 3) {
        const float* a = v + 3 * t[i];
        const float* b = v + 3 * t[i + 1];
        const float* c = v + 3 * t[i + 2];
        const MeshColour* colours =
            object.cornerColours.isEmpty() ? nullptr : object.cornerColours.constData() + i;
        if (sink(transform.apply(a[0], a[1], a[2]), transform.apply(b[0], b[1], b[2]),
                 transform.apply(c[0], c[1], c[2]), colours)) {
            return ThreeMfResult::Stopped;
        }
    }
    for (const Component& component : object.components) {
        const ThreeMfResult result = walk(*find(component.part, component.objectId),
                                          component.transform.then(transform), sink);
        if (result != ThreeMfResult::Read) {
            return result;
        }
    }
    return ThreeMfResult::Read;
}
