#include "my_stl_reader.h"

#include "file_formats.h"
#include "log.h"
#include "memory_probes.h"

#include <QFileInfo>

#include <cmath>
#include <new>
#include <utility>

namespace {

// A model larger than this (in its file's units) is no printable part.
constexpr float kLargestExtent = 10000.0f;

void writeLines(const QStringList& lines) {
    for (const QString& line : lines) {
        writeLog(line);
    }
}

} // namespace

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

mySTLReader::mySTLReader(const QString& path, bool hasGeometry, bool streamedFacets,
                         quint64 storedFacetLimit)
    : withNormals(!hasGeometry), kind(meshKindOf(path)), filePath(path),
      sink(withNormals, storedFacetLimit, path), streamed(streamedFacets) {
    MeshEnd end = MeshEnd::AsItIs;
    try {
        end = read();
    } catch (const std::bad_alloc&) {
        // What was read before memory ran out still reaches the log.
        writeLines(sink.lines());
        throw;
    }
    conclude(end);
}

mySTLReader::~mySTLReader() {
    if (file.isOpen()) {
        file.close();
    }
}

MeshEnd mySTLReader::read() {
    if (kind < 0) {
        return MeshEnd::AsItIs;
    }
    const bool againstMemory = kind == MeshObj || kind == MeshSlc || kind == MeshPly;
    if (auto refused = refusesSize(againstMemory)) {
        return *refused;
    }
    switch (kind) {
    case MeshObj:
        return readObj();
    case MeshStl:
        return readStl();
    case MeshSlc:
        return readSlc();
    case MeshThreeMf:
        return readThreeMf();
    case MeshPly:
        return readPly();
    default:
        return MeshEnd::AsItIs;
    }
}

std::optional<MeshEnd> mySTLReader::refusesSize(bool againstMemory) {
    file.setFileName(filePath);
    const qint64 size = file.size();
    // Only a regular file is opened: a FIFO or a device could block the host forever, and
    // none of them holds a model, so they get the outcome of an empty file.
    if (size == 0 || !QFileInfo(filePath).isFile()) {
        return MeshEnd::Invalid;
    }
    if (againstMemory && static_cast<quint64>(size) > availablePhysicalMemory()) {
        sink.inform(QStringLiteral("file is too large"));
        return MeshEnd::Hidden;
    }
    return std::nullopt;
}

void mySTLReader::conclude(MeshEnd end) {
    file.close();
    writeLines(sink.lines());
    switch (end) {
    case MeshEnd::Finished:
        finishModel();
        break;
    case MeshEnd::AsItIs:
        break;
    case MeshEnd::Hidden:
        renderable = false;
        break;
    case MeshEnd::Invalid:
        renderable = false;
        modelValid = false;
        break;
    }
    static_cast<MeshBox&>(*this) = sink.box();
    chunks = std::move(sink.chunks());
    hasColours = sink.hasColours();
    colourChunks = std::move(sink.colourChunks());
    startStream(facetsArrived);
}

void mySTLReader::finishModel() {
    const MeshBox& box = sink.box();
    const float extX = box.maxX - box.minX;
    const float extY = box.maxY - box.minY;
    const float extZ = box.maxZ - box.minZ;
    const float yz = extZ > extY ? extZ : extY;
    maxExtent = yz > extX ? yz : extX;
    sink.closeLastChunk();
    // An empty model keeps its box at the initial values: its extents are negative infinity,
    // which passes, and the renderer draws an empty picture. A NaN coordinate makes the box
    // meaningless, so such a model cannot be drawn.
    const bool nanBox = std::isnan(extX) || std::isnan(extY) || std::isnan(extZ);
    if (maxExtent == 0.0f || maxExtent > kLargestExtent || nanBox) {
        renderable = false;
        modelValid = false;
    }
}
