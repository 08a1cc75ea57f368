#include "binary_facets.h"
#include "log.h"
#include "memory_probes.h"
#include "mesh_text.h"
#include "my_stl_reader.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

constexpr qint64 kBinaryHeaderSize = 80;
// Facets per block read: about 69 MiB of file and 50 MiB of positions at a time.
constexpr quint32 kFacetsPerLargeBlock = 1456355;
constexpr quint64 kLargeModelBytes = 52428800;
// A streamed file of this many facets or more is measured by two threads, half each.
constexpr quint32 kFacetsMeasuredAlone = 4 * kFacetsPerRead;

// A line of at most 1,023 bytes, terminated, as QIODevice::readLine gives it.
struct TextLine {
    char text[kLineLimit + 1];
};

// "vertex x y z": a field that holds no number gives 0 and consumes nothing.
QVector3D parseVertexLine(const char* keyword, const char* lineEnd) {
    const char* s = keyword + 6;
    if (s < lineEnd) {
        ++s;
    }
    float xyz[3];
    for (float& value : xyz) {
        value = parseFloat(skipBlanks(s), lineEnd, &s);
    }
    return {xyz[0], xyz[1], xyz[2]};
}

// Blanks, tabs and line ends only; a NUL is no blank, so binary bytes end the skipping.
bool isBlank(const char* text, qint64 length) {
    return std::all_of(text, text + length, [](char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
    });
}

} // namespace

quint32 mySTLReader::headerFacetCount() {
    uchar count[4] = {};
    file.seek(kBinaryHeaderSize);
    file.read(reinterpret_cast<char*>(count), sizeof(count));
    return qFromLittleEndian<quint32>(count);
}

bool mySTLReader::sizeFitsBinary() {
    // A file too short to hold the count is shorter than the header with no facets.
    return file.size() == kBinaryHeaderSize + 4 + kFacetRecordSize * qint64{headerFacetCount()};
}

MeshEnd mySTLReader::readStl() {
    if (!file.open(QIODevice::ReadOnly)) {
        return MeshEnd::AsItIs;
    }
    // The text form names itself: "solid" on its first line, "facet" on the next line that is
    // not blank. A binary header that happens to begin with "solid" rarely has "facet" there;
    // one that has it only after blank lines is binary when the file is exactly as long as
    // its facet count says.
    TextLine line{};
    if (file.readLine(line.text, kLineLimit) > 0 && std::strstr(line.text, "solid") != nullptr) {
        dataOffset = file.pos();
        qint64 length = 0;
        bool skippedBlank = false;
        for (;;) {
            line = TextLine{};
            length = file.readLine(line.text, kLineLimit);
            if (length <= 0 || !isBlank(line.text, length)) {
                break;
            }
            skippedBlank = true;
        }
        if (length > 0 && std::strstr(line.text, "facet") != nullptr &&
            !(skippedBlank && sizeFitsBinary())) {
            return readAsciiStl();
        }
    }
    return readBinaryStl();
}

MeshEnd mySTLReader::readAsciiStl() {
    quint64 vertexLines = 0;
    QVector3D corners[3];
    file.seek(dataOffset);
    LineReader lines(file);
    TextLine line{};
    while (lines.next(line.text)) {
        const char* keyword = std::strstr(line.text, "vertex");
        if (keyword == nullptr) {
            continue;
        }
        // A NUL inside the line ends its text, as it would for strtof.
        const char* lineEnd = line.text + std::strlen(line.text);
        corners[vertexLines % 3] = parseVertexLine(keyword, lineEnd);
        if (vertexLines % 3 == 2) {
            sink.storeTriangle(corners[0], corners[1], corners[2]);
            if (sink.countTextEntries() && sink.guardStops()) {
                return MeshEnd::Hidden;
            }
            if (sink.reachLimit(1)) {
                break;
            }
        }
        ++vertexLines;
    }
    return MeshEnd::Finished;
}

void mySTLReader::appendBinaryFacets(const uchar* records, qint64 facets) {
    if (facets <= 0) {
        return;
    }
    FacetBox box = sink.box().asFacetBox();
    float* out = nullptr;
    if (!streamed) {
        VertexChunk& chunk = sink.openChunk();
        const std::size_t floats = static_cast<std::size_t>(facets) * floatsPerFacet(withNormals);
        // One float of slack for the last vertex's 16-byte write.
        chunk.reserve(chunk.size() + floats + 1);
        out = chunk.extend(floats);
    }
    convertFacets(records, facets, withNormals, out, box);
    sink.box().setFrom(box);
}

void mySTLReader::startStream(quint32 facets) {
    if (streamed && renderable && modelValid && facets > 0) {
        stream = std::make_unique<FacetStream>(filePath, dataOffset, facets, withNormals);
    }
}

void mySTLReader::restartStream() {
    const quint32 facets = stream->facets();
    stream.reset();
    startStream(facets);
}

MeshEnd mySTLReader::readBinaryStl() {
    facetCount = headerFacetCount();
    dataOffset = kBinaryHeaderSize + 4;

    const quint64 need = quint64{facetCount} * 36;
    if (need >= 2 * availablePhysicalMemory() / 3) {
        return MeshEnd::Hidden;
    }
    facetsPerBlock = need > kLargeModelBytes ? kFacetsPerLargeBlock : facetCount;
    if (withNormals) {
        facetsPerBlock = qMax<quint32>(1, facetsPerBlock / 2);
    }
    file.seek(dataOffset);

    // Blocks are read through one small buffer, reused: fresh memory is costly to touch, and
    // how a block arrives does not change its chunk.
    std::unique_ptr<uchar[]> buffer(new uchar[kRecordBufferBytes]());
    quint32 arrived = 0;
    // A streamed file keeps nothing, so the second core can measure its second half at once.
    quint32 split = facetCount;
    std::unique_ptr<LaterFacets> later;
    if (streamed && facetCount >= kFacetsMeasuredAlone) {
        split = facetCount / 2;
        later = std::make_unique<LaterFacets>(filePath, dataOffset + split * kFacetRecordSize,
                                              facetCount - split);
    }

    while (facetsDone != facetCount) {
        // Exactly the block's size, never more than the rest of the file can hold.
        const qint64 fileCanHold = (file.size() - file.pos()) / kFacetRecordSize;
        if (!streamed) {
            sink.openChunk().reserve(
                static_cast<std::size_t>(qMin<qint64>(facetsPerBlock, fileCanHold)) *
                    floatsPerFacet(withNormals) +
                1);
        }
        bool complete = true;
        for (qint64 left = facetsPerBlock; left > 0 && complete;) {
            if (later && arrived >= split) {
                if (arrived == split && later->arrived() > 0) {
                    FacetBox box = sink.box().asFacetBox();
                    appendBox(box, later->box());
                    sink.box().setFrom(box);
                }
                const qint64 facets = qMin<qint64>(left, split + later->arrived() - arrived);
                arrived += static_cast<quint32>(facets);
                left -= facets;
                complete = left == 0;
                continue;
            }
            const qint64 wanted =
                qMin<qint64>(qMin<qint64>(left, kFacetsPerRead), split - arrived) *
                kFacetRecordSize;
            const qint64 got = file.read(reinterpret_cast<char*>(buffer.get()), wanted);
            const qint64 facets = qMax<qint64>(got, 0) / kFacetRecordSize;
            appendBinaryFacets(buffer.get(), facets);
            arrived += static_cast<quint32>(facets);
            left -= facets;
            complete = got == wanted;
        }

        sink.closeLastChunk();
        if (!complete) {
            // The file ends before the count its header gives: draw what did arrive.
            sink.note(kInfoLabel + QStringLiteral("read less"));
            if (arrived == 0) {
                return MeshEnd::Invalid;
            }
            facetsArrived = arrived;
            return MeshEnd::Finished;
        }
        if (sink.guardStops()) {
            return MeshEnd::Hidden;
        }
        facetsDone += facetsPerBlock;
        if (quint64{facetsDone} + facetsPerBlock > facetCount) {
            facetsPerBlock = facetCount - facetsDone;
        }
    }
    facetsArrived = arrived;
    return MeshEnd::Finished;
}
