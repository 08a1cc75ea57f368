#include "my_stl_reader.h"

#include "file_formats.h"
#include "log.h"
#include "memory_probes.h"

#include <QFileInfo>

#include <cmath>
#include <utility>

namespace {

// At this memory load (percent) a read stops rather than push the machine into swapping.
constexpr quint32 kMemoryLoadLimit = 90;
// A model larger than this (in its file's units) is no printable part.
constexpr float kLargestExtent = 10000.0f;

} // namespace

QVector3D facetNormal(const QVector3D& p1, const QVector3D& p2, const QVector3D& p3) {
    return QVector3D::crossProduct(p2 - p1, p3 - p2).normalized();
}

qint32 meshKindOf(const QString& path) {
    const FileFormat* format = formatOfPath(path);
    if (format == nullptr) {
        return -1;
    }
    switch (format->reader) {
    case FormatReader::Obj:
        return MeshObj;
    case FormatReader::Stl:
        return MeshStl;
    case FormatReader::Slc:
        return MeshSlc;
    case FormatReader::ThreeMf:
        return MeshThreeMf;
    case FormatReader::Ply:
        return MeshPly;
    default:
        return -1;
    }
}

mySTLReader::mySTLReader(const QString& path, bool hasGeometry, bool streamed_,
                         quint64 storedFacetLimit_)
    : withNormals(!hasGeometry), kind(meshKindOf(path)), filePath(path), streamed(streamed_),
      storedFacetLimit(storedFacetLimit_) {
    switch (kind) {
    case MeshObj:
        readObj();
        break;
    case MeshStl:
        readStl();
        break;
    case MeshSlc:
        readSlc();
        break;
    case MeshThreeMf:
        readThreeMf();
        break;
    case MeshPly:
        readPly();
        break;
    default:
        break;
    }
}

mySTLReader::~mySTLReader() {
    if (file.isOpen()) {
        file.close();
    }
}

void mySTLReader::appendVertex(const QVector3D& point, bool isPosition) {
    chunk.append3(point.x(), point.y(), point.z());
    if (isPosition) {
        widenBox(point.x(), point.y(), point.z());
    }
}

bool mySTLReader::appendTriangle(const QVector3D& p1, const QVector3D& p2, const QVector3D& p3,
                                 const MeshColour* colours) {
    if (colours != nullptr && !hasColours) {
        startColours();
    }
    if (hasColours) {
        for (int corner = 0; corner < 3; ++corner) {
            colourChunk.push_back(colours != nullptr ? colours[corner] : kModelColour);
        }
    }
    if (withNormals) {
        const QVector3D n = facetNormal(p1, p2, p3);
        appendVertex(p1, true);
        appendVertex(n, false);
        appendVertex(p2, true);
        appendVertex(n, false);
        appendVertex(p3, true);
        appendVertex(n, false);
    } else {
        appendVertex(p1, true);
        appendVertex(p2, true);
        appendVertex(p3, true);
    }
    if (chunk.bytes() < kChunkLimitBytes) {
        return false;
    }
    closeChunk();
    return memoryGuardStops();
}

void mySTLReader::closeChunk() {
    chunks.push_back(std::move(chunk));
    chunk = VertexChunk();
    if (hasColours) {
        colourChunks.push_back(std::move(colourChunk));
        colourChunk = {};
    }
}

void mySTLReader::startColours() {
    hasColours = true;
    const std::size_t floatsPerVertex = withNormals ? 6 : 3;
    for (const VertexChunk& closed : chunks) {
        colourChunks.emplace_back(closed.size() / floatsPerVertex, kModelColour);
    }
    colourChunk.assign(chunk.size() / floatsPerVertex, kModelColour);
}

bool mySTLReader::checkSize(bool againstMemory) {
    file.setFileName(filePath);
    const qint64 size = file.size();
    // Only a regular file is opened: a FIFO or a device could block the host forever, and
    // none of them holds a model, so they get the outcome of an empty file.
    if (size == 0 || !QFileInfo(filePath).isFile()) {
        renderable = false;
        modelValid = false;
        return false;
    }
    if (againstMemory && static_cast<quint64>(size) > availablePhysicalMemory()) {
        writeLog(kInfoLabel +
                 QStringLiteral("%1\n%2").arg(QStringLiteral("file is too large"), filePath));
        renderable = false;
        return false;
    }
    return true;
}

bool mySTLReader::storedReachLimit(quint64 facets) {
    storedFacets += facets;
    if (storedFacets < storedFacetLimit) {
        return false;
    }
    writeLog(kInfoLabel + QStringLiteral("%1\n%2").arg(
                              QStringLiteral("too many facets, read in part"), filePath));
    facetsCut = true;
    return true;
}

bool mySTLReader::memoryGuardStops() {
    if (memoryLoad() < kMemoryLoadLimit) {
        return false;
    }
    writeLog(QStringLiteral("内存已经超过百分之90     ") + filePath);
    renderable = false;
    file.close();
    return true;
}

void mySTLReader::finishModel() {
    const float extX = maxX - minX;
    const float extY = maxY - minY;
    const float extZ = maxZ - minZ;
    const float yz = extZ > extY ? extZ : extY;
    maxExtent = yz > extX ? yz : extX;
    if (!chunk.isEmpty()) {
        closeChunk();
    }
    // An empty model keeps its box at the initial values: its extents are negative infinity,
    // which passes, and the renderer draws an empty picture. A NaN coordinate makes the box
    // meaningless, so such a model cannot be drawn.
    const bool nanBox = std::isnan(extX) || std::isnan(extY) || std::isnan(extZ);
    if (maxExtent == 0.0f || maxExtent > kLargestExtent || nanBox) {
        renderable = false;
        modelValid = false;
    }
    file.close();
}
