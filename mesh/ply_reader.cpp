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

// Where the positions, the vertex colours and the corner lists are, by element and property.
struct PlyLayout {
    int vertexElement = -1;
    std::array<int, 3> xyz = {-1, -1, -1};
    // Red, green and blue, all three or none.
    std::array<int, 3> rgb = {-1, -1, -1};
    int faceElement = -1;
    int corners = -1;
};

// The colour properties of a vertex element under either of the names scanners write.
std::array<int, 3> colourProperties(const PlyElement& element) {
    for (const char* prefix : {"", "diffuse_"}) {
        std::array<int, 3> rgb{};
        const char* channels[3] = {"red", "green", "blue"};
        for (int c = 0; c < 3; ++c) {
            rgb[std::size_t(c)] = element.scalar((QByteArray(prefix) + channels[c]).constData());
        }
        if (rgb[0] >= 0 && rgb[1] >= 0 && rgb[2] >= 0) {
            return rgb;
        }
    }
    return {-1, -1, -1};
}

// A channel as a byte: floating-point channels run from 0 to 1, 16-bit ones to 65535, and
// bytes (or other integers) to 255; values beyond are clamped.
quint8 channelByte(double value, PlyType type) {
    double scaled = value;
    if (type == PlyType::Float32 || type == PlyType::Float64) {
        scaled = value * 255;
    } else if (type == PlyType::UInt16 || type == PlyType::Int16) {
        scaled = value / 257;
    }
    // NaN fails both comparisons and becomes 0.
    return scaled >= 255 ? quint8(255) : scaled > 0 ? quint8(std::lround(scaled)) : quint8(0);
}

bool layoutOf(const PlyHeader& header, PlyLayout& layout, QString& problem) {
    for (std::size_t e = 0; e < header.elements.size(); ++e) {
        const PlyElement& element = header.elements[e];
        if (element.name == "vertex" && layout.vertexElement < 0) {
            layout.vertexElement = int(e);
            layout.xyz = {element.scalar("x"), element.scalar("y"), element.scalar("z")};
            layout.rgb = colourProperties(element);
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
    // A vertex's scalar properties, in header order.
    std::function<bool(const std::vector<double>& scalars)> vertex;
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
            if (isVertex && sink.vertex(scalars)) {
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

using TriangleSink =
    std::function<bool(const QVector3D&, const QVector3D&, const QVector3D&, const MeshColour*)>;

// Each point as a small tetrahedron in the point's colour, if the points have colours, wound
// outwards so that some of its faces are lit from any side. True when the sink stopped.
bool splatPoints(const std::vector<float>& positions, const std::vector<MeshColour>& colours,
                 float reach, const TriangleSink& triangle) {
    const QVector3D corners[4] = {{1, 1, 1}, {1, -1, -1}, {-1, 1, -1}, {-1, -1, 1}};
    const std::array<std::array<int, 3>, 4> faces = {{{0, 1, 2}, {0, 3, 1}, {0, 2, 3}, {1, 3, 2}}};
    const std::size_t points = positions.size() / 3;
    const std::size_t stride = (points + kSplatPointLimit - 1) / kSplatPointLimit;
    for (std::size_t i = 0; i < points; i += stride) {
        const QVector3D centre(positions[3 * i], positions[3 * i + 1], positions[3 * i + 2]);
        const MeshColour colour = colours.empty() ? kModelColour : colours[i];
        const MeshColour faceColours[3] = {colour, colour, colour};
        for (const std::array<int, 3>& face : faces) {
            if (triangle(centre + reach * corners[face[0]], centre + reach * corners[face[1]],
                         centre + reach * corners[face[2]],
                         colours.empty() ? nullptr : faceColours)) {
                return true;
            }
        }
    }
    return false;
}

} // namespace

MeshEnd mySTLReader::readPly() {
    if (!file.open(QIODevice::ReadOnly)) {
        return MeshEnd::AsItIs;
    }
    const auto report = [this](int number, const QString& message) {
        sink.informAt(kOperation, number, message);
    };
    PlyHeader header;
    PlyLayout layout;
    QString problem;
    if (!readPlyHeader(file, header, problem) || !layoutOf(header, layout, problem)) {
        report(1, problem);
        return MeshEnd::Invalid;
    }
    std::vector<float> positions;
    std::vector<MeshColour> colours;
    const bool withColours = layout.rgb[0] >= 0;
    const std::vector<PlyProperty>& vertexProperties =
        header.elements[std::size_t(layout.vertexElement)].properties;
    bool verticesCut = false;
    PlySink body;
    body.vertex = [&](const std::vector<double>& scalars) {
        if (positions.size() / 3 >= kVertexLimit) {
            if (!verticesCut) {
                report(3, QStringLiteral("too many vertices, read in part"));
                verticesCut = true;
            }
            return false;
        }
        const float x = float(scalars[std::size_t(layout.xyz[0])]);
        const float y = float(scalars[std::size_t(layout.xyz[1])]);
        const float z = float(scalars[std::size_t(layout.xyz[2])]);
        positions.insert(positions.end(), {x, y, z});
        sink.box().widen(x, y, z);
        if (withColours) {
            MeshColour colour = {0, 0, 0, 255};
            for (std::size_t c = 0; c < 3; ++c) {
                const std::size_t property = std::size_t(layout.rgb[c]);
                colour[c] = channelByte(scalars[property], vertexProperties[property].type);
            }
            colours.push_back(colour);
        }
        return positions.size() / 3 % kItemsPerCheck == 0 && sink.guardStops();
    };
    quint64 faces = 0;
    body.face = [&](const std::vector<double>& corners) {
        if (++faces % kItemsPerCheck == 0 && sink.guardStops()) {
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
        const auto colourOf = [&](double corner) {
            return withColours ? colours[std::size_t(corner)] : kModelColour;
        };
        // A fan over the whole polygon, as OBJ faces are drawn.
        for (std::size_t j = 1; j + 1 < corners.size(); ++j) {
            const MeshColour fan[3] = {colourOf(corners[0]), colourOf(corners[j]),
                                       colourOf(corners[j + 1])};
            if (sink.appendTriangle(at(corners[0]), at(corners[j]), at(corners[j + 1]),
                                    withColours ? fan : nullptr, false)) {
                return true;
            }
        }
        return corners.size() > 2 && sink.reachLimit(corners.size() - 2);
    };
    PlyValues values(file, header.encoding);
    const PlyEnd end = readBody(values, header, layout, body);
    if (end == PlyEnd::Stopped && !sink.facetsCut()) {
        return MeshEnd::Hidden; // the memory guard
    }
    if (end == PlyEnd::Cut) {
        report(2, values.ended() ? QStringLiteral("the PLY body ends early, read in part")
                                 : QStringLiteral("the PLY body holds a value that cannot be, "
                                                  "read in part"));
    }
    const bool pointCloud =
        layout.faceElement < 0 || header.elements[std::size_t(layout.faceElement)].count == 0;
    if (pointCloud && !positions.empty()) {
        const MeshBox& box = sink.box();
        const float reach =
            std::max({box.maxX - box.minX, box.maxY - box.minY, box.maxZ - box.minZ}) * kSplatReach;
        const bool stopped =
            splatPoints(positions, colours, reach,
                        [this](const QVector3D& a, const QVector3D& b, const QVector3D& c,
                               const MeshColour* corners) {
                            return sink.appendTriangle(a, b, c, corners) || sink.reachLimit(1);
                        });
        if (stopped && !sink.facetsCut()) {
            return MeshEnd::Hidden;
        }
    }
    return MeshEnd::Finished;
}
