#include "mesh_sink.h"

#include "log.h"
#include "memory_probes.h"

#include <utility>

namespace {

// At this memory load (percent) a read stops rather than push the machine into swapping.
constexpr quint32 kMemoryLoadLimit = 90;

} // namespace

QVector3D facetNormal(const QVector3D& p1, const QVector3D& p2, const QVector3D& p3) {
    return QVector3D::crossProduct(p2 - p1, p3 - p2).normalized();
}

void MeshBox::setFrom(const FacetBox& box) {
    minX = box.low[0];
    minY = box.low[1];
    minZ = box.low[2];
    maxX = box.high[0];
    maxY = box.high[1];
    maxZ = box.high[2];
}

MeshSink::MeshSink(bool withNormals, quint64 storedFacetLimit, const QString& path)
    : withNormals_(withNormals), storedFacetLimit_(storedFacetLimit), path_(path) {}

void MeshSink::storeTriangle(const QVector3D& p1, const QVector3D& p2, const QVector3D& p3,
                             const MeshColour* colours, bool widensBox) {
    if (colours != nullptr && !hasColours_) {
        startColours();
    }
    if (hasColours_) {
        for (int corner = 0; corner < 3; ++corner) {
            colourChunk_.push_back(colours != nullptr ? colours[corner] : kModelColour);
        }
    }
    const QVector3D n = withNormals_ ? facetNormal(p1, p2, p3) : QVector3D();
    for (const QVector3D* p : {&p1, &p2, &p3}) {
        chunk_.append3(p->x(), p->y(), p->z());
        if (withNormals_) {
            chunk_.append3(n.x(), n.y(), n.z());
        }
        if (widensBox) {
            box_.widen(p->x(), p->y(), p->z());
        }
    }
}

bool MeshSink::appendTriangle(const QVector3D& p1, const QVector3D& p2, const QVector3D& p3,
                              const MeshColour* colours, bool widensBox) {
    storeTriangle(p1, p2, p3, colours, widensBox);
    return closeWhenFull() && guardStops();
}

bool MeshSink::closeWhenFull() {
    if (chunk_.bytes() < kChunkLimitBytes) {
        return false;
    }
    closeChunk();
    return true;
}

bool MeshSink::countTextEntries() {
    chunkEntries_ += withNormals_ ? 6 : 3;
    if (chunkEntries_ < kEntriesPerTextChunk) {
        return false;
    }
    closeChunk();
    return true;
}

void MeshSink::closeChunk() {
    chunks_.push_back(std::move(chunk_));
    chunk_ = VertexChunk();
    chunkEntries_ = 0;
    if (hasColours_) {
        colourChunks_.push_back(std::move(colourChunk_));
        colourChunk_ = {};
    }
}

void MeshSink::closeLastChunk() {
    if (!chunk_.isEmpty()) {
        closeChunk();
    }
}

void MeshSink::startColours() {
    hasColours_ = true;
    const std::size_t floatsPerVertex = withNormals_ ? 6 : 3;
    for (const VertexChunk& closed : chunks_) {
        colourChunks_.emplace_back(closed.size() / floatsPerVertex, kModelColour);
    }
    colourChunk_.assign(chunk_.size() / floatsPerVertex, kModelColour);
}

bool MeshSink::reachLimit(quint64 facets) {
    storedFacets_ += facets;
    if (storedFacets_ < storedFacetLimit_) {
        return false;
    }
    inform(QStringLiteral("too many facets, read in part"));
    facetsCut_ = true;
    return true;
}

bool MeshSink::guardStops() {
    if (memoryLoad() < kMemoryLoadLimit) {
        return false;
    }
    note(QStringLiteral("内存已经超过百分之90     ") + path_);
    return true;
}

void MeshSink::inform(const QString& message) {
    note(kInfoLabel + QStringLiteral("%1\n%2").arg(message, path_));
}

void MeshSink::informAt(const char* operation, int number, const QString& message) {
    note(kInfoLabel + logLocation(QLatin1String(operation), number) +
         QStringLiteral("%1\n%2").arg(message, path_));
}
