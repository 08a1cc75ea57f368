#include "log.h"
#include "my_stl_reader.h"
#include "ply_header.h"
#include "ply_values.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <vector>

namespace {

constexpr char kOperation[] = "mySTLReader::readPly";
// Vertices kept for the faces to name, 12 bytes each, as for OBJ: later vertices are passed
// over, and the faces that name them are left out.
constexpr quint64 kVertexLimit = quint64{1} << 23;
// Corners a face may have: scanners write triangles, modellers quads and n-gons of dozens. A
// longer list is read past, and its face left out, so that a count of billions costs only the
// reading of what the file holds.
constexpr double kPolygonLimit = 1 << 16;
// A point cloud is drawn as a small tetrahedron per point, 4 facets each: up to 2^21 points
// keep it within the stored facet limit, and larger clouds are thinned evenly to that.
constexpr quint64 kSplatPointLimit = quint64{1} << 21;
// A point's tetrahedron reaches this fraction of the cloud's largest extent from the point:
// about two pixels across at the cache's 400.
constexpr float kSplatReach = 1.0f / 256;
// Vertices or faces between two looks at the memory load.
constexpr quint64 kItemsPerCheck = 1 << 16;

// Where the positions and the corner lists are, by element and property.
struct PlyLayout {
    int vertexElement = -1;
    std::array<int, 3> xyz = {-1, -1, -1};
    int faceElement = -1;
    int corners = -1;
};

bool layoutOf(const PlyHeader& header, PlyLayout& layout, QString& problem) {
    for (std::size_t e = 0; e < header.elements.size(); ++e) {
        const PlyElement& element = header.elements[e];
        if (element.name == "vertex" && layout.vertexElement < 0) {
            layout.vertexElement = int(e);
            layout.xyz = {element.scalar("x"), element.scalar("y"), element.scalar("z")};
        } else if (element.name == "face" && layout.faceElement < 0) {
            layout.faceElement = int(e);
            for (std::size_t p = 0; p < element.properties.size(); ++p) {
                const PlyProperty& property = element.properties[p];
                if (property.isList &&
                    (property.name == "vertex_indices" || property.name == "vertex_index")) {
                    layout.corners = int(p);
                }
            }
        }
    }
    if (layout.vertexElement < 0 || layout.xyz[0] < 0 || layout.xyz[1] < 0 || layout.xyz[2] < 0) {
        problem = QStringLiteral("the PLY vertices have no x, y and z");
        return false;
    }
    if (layout.faceElement >= 0 && layout.corners < 0) {
        problem = QStringLiteral("the PLY faces have no vertex indices");
        return false;
    }
    return true;
}

// Where vertices and faces go as the body is read; each returns true to stop.
struct PlySink {
    std::function<bool(double x, double y, double z)> vertex;
    // A face's corner values as the file gives them, or none when its list was too long.
    std::function<bool(const std::vector<double>& corners)> face;
};

enum class PlyEnd { Read, Cut, Stopped };

// Reads every element of the body in header order; Cut when the body ends before the
// header's counts or holds a value that cannot be (a text that is no number, a negative count).
PlyEnd readBody(PlyValues& values, const PlyHeader& header, const PlyLayout& layout,
                const PlySink& sink) {
    std::vector<double> scalars;
    std::vector<double> corners;
    for (std::size_t e = 0; e < header.elements.size(); ++e) {
        const PlyElement& element = header.elements[e];
        const bool isVertex = int(e) == layout.vertexElement;
        const bool isFace = int(e) == layout.faceElement;
        scalars.assign(element.properties.size(), 0.0);
        for (quint64 item = 0; item < element.count; ++item) {
            corners.clear();
            for (std::size_t p = 0; p < element.properties.size(); ++p) {
                const PlyProperty& property = element.properties[p];
                double value = 0;
                if (!values.next(property.isList ? property.countType : property.type, value)) {
                    return PlyEnd::Cut;
                }
                if (!property.isList) {
                    scalars[p] = value;
                    continue;
                }
                // The count type is integral: only a signed one can be negative.
                if (value < 0) {
                    return PlyEnd::Cut;
                }
                const bool kept = isFace && int(p) == layout.corners && value <= kPolygonLimit;
                for (quint64 i = 0; i < quint64(value); ++i) {
                    double corner = 0;
                    if (!values.next(property.type, corner)) {
                        return PlyEnd::Cut;
                    }
                    if (kept) {
                        corners.push_back(corner);
                    }
                }
            }
            if (isVertex && sink.vertex(scalars[std::size_t(layout.xyz[0])],
                                        scalars[std::size_t(layout.xyz[1])],
                                        scalars[std::size_t(layout.xyz[2])])) {
                return PlyEnd::Stopped;
            }
            if (isFace && sink.face(corners)) {
                return PlyEnd::Stopped;
            }
        }
    }
    return PlyEnd::Read;
}

bool isVertexIndex(double value, std::size_t vertices) {
    return value >= 0 && value < double(vertices) && value == std::floor(value);
}

using TriangleSink = std::function<bool(const QVector3D&, const QVector3D&, const QVector3D&)>;

// Each point as a small tetrahedron, wound outwards so that some of its faces are lit from any
// side. True when the sink stopped.
bool splatPoints(const std::vector<float>& positions, float reach, const TriangleSink& triangle) {
    const QVector3D corners[4] = {{1, 1, 1}, {1, -1, -1}, {-1, 1, -1}, {-1, -1, 1}};
    const std::array<std::array<int, 3>, 4> faces = {{{0, 1, 2}, {0, 3, 1}, {0, 2, 3}, {1, 3, 2}}};
    const std::size_t points = positions.size() / 3;
    const std::size_t stride = (points + kSplatPointLimit - 1) / kSplatPointLimit;
    for (std::size_t i = 0; i < points; i += stride) {
        const QVector3D centre(positions[3 * i], positions[3 * i + 1], positions[3 * i + 2]);
        for (const std::array<int, 3>& face : faces) {
            if (triangle(centre + reach * corners[face[0]], centre + reach * corners[face[1]],
                         centre + reach * corners[face[2]])) {
                return true;
            }
        }
    }
    return false;
}

} // namespace

void mySTLReader::readPly() {
    if (!checkSize(true) || !file.open(QIODevice::ReadOnly)) {
        return;
    }
    const auto report = [this](int number, const QString& message) {
        writeLog(kInfoLabel + logLocation(QLatin1String(kOperation), number) +
                 QStringLiteral("%1\n%2").arg(message, filePath));
    };
    PlyHeader header;
    PlyLayout layout;
    QString problem;
    if (!readPlyHeader(file, header, problem) || !layoutOf(header, layout, problem)) {
        report(1, problem);
        renderable = false;
        modelValid = false;
        file.close();
        return;
    }
    std::vector<float> positions;
    bool verticesCut = false;
    PlySink sink;
    sink.vertex = [&](double x, double y, double z) {
        if (positions.size() / 3 >= kVertexLimit) {
            if (!verticesCut) {
                report(3, QStringLiteral("too many vertices, read in part"));
                verticesCut = true;
            }
            return false;
        }
        positions.insert(positions.end(), {float(x), float(y), float(z)});
        widenBox(float(x), float(y), float(z));
        return positions.size() / 3 % kItemsPerCheck == 0 && memoryGuardStops();
    };
    quint64 faces = 0;
    sink.face = [&](const std::vector<double>& corners) {
        if (++faces % kItemsPerCheck == 0 && memoryGuardStops()) {
            return true;
        }
        const std::size_t vertices = positions.size() / 3;
        for (double corner : corners) {
            if (!isVertexIndex(corner, vertices)) {
                return false;
            }
        }
        const auto at = [&](double corner) {
            const float* p = positions.data() + 3 * std::size_t(corner);
            return QVector3D(p[0], p[1], p[2]);
        };
        // A fan over the whole polygon, as OBJ faces are drawn.
        for (std::size_t j = 1; j + 1 < corners.size(); ++j) {
            if (appendTriangle(at(corners[0]), at(corners[j]), at(corners[j + 1]))) {
                return true;
            }
        }
        return corners.size() > 2 && storedReachLimit(corners.size() - 2);
    };
    PlyValues values(file, header.encoding);
    const PlyEnd end = readBody(values, header, layout, sink);
    if (end == PlyEnd::Stopped && !facetsCut) {
        return; // the memory guard: not renderable, the file closed
    }
    if (end == PlyEnd::Cut) {
        report(2, values.ended() ? QStringLiteral("the PLY body ends early, read in part")
                                 : QStringLiteral("the PLY body holds a value that cannot be, "
                                                  "read in part"));
    }
    const bool pointCloud =
        layout.faceElement < 0 || header.elements[std::size_t(layout.faceElement)].count == 0;
    if (pointCloud && !positions.empty()) {
        const float reach = std::max({maxX - minX, maxY - minY, maxZ - minZ}) * kSplatReach;
        const bool stopped = splatPoints(
            positions, reach, [this](const QVector3D& a, const QVector3D& b, const QVector3D& c) {
                return appendTriangle(a, b, c) || storedReachLimit(1);
            });
        if (stopped && !facetsCut) {
            return;
        }
    }
    finishModel();
}
