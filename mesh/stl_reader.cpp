#include "log.h"
#include "memory_probes.h"
#include "mesh_text.h"
#include "my_stl_reader.h"

#include <QtEndian>

#include <emmintrin.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

constexpr qint64 kBinaryHeaderSize = 80;
constexpr qint64 kFacetRecordSize = 50;
// Facets per block read: about 69 MiB of file and 50 MiB of positions at a time.
constexpr quint32 kFacetsPerLargeBlock = 1456355;
// Facets per read call: a 400 KB buffer.
constexpr qint64 kFacetsPerRead = 8192;
constexpr quint64 kLargeModelBytes = 52428800;
// Positions of a facet: three vertices of three floats.
constexpr int kPositionFloats = 9;
// Text readers close a chunk after this many entries.
constexpr int kEntriesPerTextChunk = 1456355;

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

void mySTLReader::readStl() {
    if (!checkSize(false) || !file.open(QIODevice::ReadOnly)) {
        return;
    }
    // The text form names itself: "solid" on its first line, "facet" on the next line that is
    // not blank. A binary header that happens to begin with "solid" rarely has "facet" there.
    TextLine line{};
    if (file.readLine(line.text, kLineLimit) > 0 && std::strstr(line.text, "solid") != nullptr) {
        dataOffset = file.pos();
        qint64 length = 0;
        do {
            line = TextLine{};
            length = file.readLine(line.text, kLineLimit);
        } while (length > 0 && isBlank(line.text, length));
        if (length > 0 && std::strstr(line.text, "facet") != nullptr) {
            readAsciiStl();
            file.close();
            return;
        }
    }
    readBinaryStl();
}

void mySTLReader::readAsciiStl() {
    chunk = VertexChunk();
    quint64 vertexLines = 0;
    int entries = 0;
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
            const QVector3D n =
                withNormals ? facetNormal(corners[0], corners[1], corners[2]) : QVector3D();
            for (const QVector3D& corner : corners) {
                appendVertex(corner, true);
                if (withNormals) {
                    appendVertex(n, false);
                }
            }
            entries += withNormals ? 6 : 3;
            if (entries >= kEntriesPerTextChunk) {
                closeChunk();
                entries = 0;
                if (memoryGuardStops()) {
                    return;
                }
            }
        }
        ++vertexLines;
    }
    finishModel();
}

void mySTLReader::appendBinaryFacets(const uchar* records, qint64 facets) {
    if (facets <= 0) {
        return;
    }
    const std::size_t floats =
        static_cast<std::size_t>(facets) * (withNormals ? 2 * kPositionFloats : kPositionFloats);
    // One float of slack: each vertex is stored as a 16-byte write whose last lane the next
    // vertex overwrites.
    chunk.reserve(chunk.size() + floats + 1);
    float* out = chunk.extend(floats);
    // x, y, z and a lane nobody reads. MAXPS(x, max) and MINPS(min, x) are exactly "max takes
    // x when x > max, min takes x unless x > min", NaN included.
    __m128 low = _mm_setr_ps(minX, minY, minZ, 0);
    __m128 high = _mm_setr_ps(maxX, maxY, maxZ, 0);
    for (qint64 f = 0; f < facets; ++f) {
        // The record buffer has 16 bytes of slack past its last record for the third load.
        const uchar* record = records + f * kFacetRecordSize + 12;
        const __m128 p1 = _mm_loadu_ps(reinterpret_cast<const float*>(record));
        const __m128 p2 = _mm_loadu_ps(reinterpret_cast<const float*>(record + 12));
        const __m128 p3 = _mm_loadu_ps(reinterpret_cast<const float*>(record + 24));
        high = _mm_max_ps(p1, high);
        low = _mm_min_ps(low, p1);
        high = _mm_max_ps(p2, high);
        low = _mm_min_ps(low, p2);
        high = _mm_max_ps(p3, high);
        low = _mm_min_ps(low, p3);
        if (!withNormals) {
            _mm_storeu_ps(out, p1);
            _mm_storeu_ps(out + 3, p2);
            _mm_storeu_ps(out + 6, p3);
            out += kPositionFloats;
            continue;
        }
        float p[12];
        _mm_storeu_ps(p, p1);
        _mm_storeu_ps(p + 3, p2);
        _mm_storeu_ps(p + 6, p3);
        const QVector3D n = facetNormal({p[0], p[1], p[2]}, {p[3], p[4], p[5]}, {p[6], p[7], p[8]});
        const __m128 normal = _mm_setr_ps(n.x(), n.y(), n.z(), 0);
        _mm_storeu_ps(out, p1);
        _mm_storeu_ps(out + 3, normal);
        _mm_storeu_ps(out + 6, p2);
        _mm_storeu_ps(out + 9, normal);
        _mm_storeu_ps(out + 12, p3);
        _mm_storeu_ps(out + 15, normal);
        out += 2 * kPositionFloats;
    }
    alignas(16) float box[8];
    _mm_store_ps(box, low);
    _mm_store_ps(box + 4, high);
    minX = box[0];
    minY = box[1];
    minZ = box[2];
    maxX = box[4];
    maxY = box[5];
    maxZ = box[6];
}

void mySTLReader::readBinaryStl() {
    uchar count[4] = {};
    file.seek(kBinaryHeaderSize);
    file.read(reinterpret_cast<char*>(count), sizeof(count));
    facetCount = qFromLittleEndian<quint32>(count);
    dataOffset = kBinaryHeaderSize + 4;

    const quint64 need = quint64{facetCount} * 36;
    if (need >= 2 * availablePhysicalMemory() / 3) {
        renderable = false;
        file.close();
        return;
    }
    facetsPerBlock = need > kLargeModelBytes ? kFacetsPerLargeBlock : facetCount;
    if (withNormals) {
        facetsPerBlock = qMax<quint32>(1, facetsPerBlock / 2);
    }
    file.seek(dataOffset);

    const int floatsPerFacet = withNormals ? 2 * kPositionFloats : kPositionFloats;
    // Blocks are read through one small buffer, reused: fresh memory is costly to touch, and
    // how a block arrives does not change its chunk.
    std::unique_ptr<uchar[]> buffer(new uchar[kFacetsPerRead * kFacetRecordSize + 16]());

    while (facetsDone != facetCount) {
        // Exactly the block's size, never more than the rest of the file can hold.
        const qint64 fileCanHold = (file.size() - file.pos()) / kFacetRecordSize;
        chunk.reserve(static_cast<std::size_t>(qMin<qint64>(facetsPerBlock, fileCanHold)) *
                          floatsPerFacet +
                      1);
        bool complete = true;
        for (qint64 left = facetsPerBlock; left > 0 && complete;) {
            const qint64 wanted = qMin<qint64>(left, kFacetsPerRead) * kFacetRecordSize;
            const qint64 got = file.read(reinterpret_cast<char*>(buffer.get()), wanted);
            const qint64 facets = qMax<qint64>(got, 0) / kFacetRecordSize;
            appendBinaryFacets(buffer.get(), facets);
            left -= facets;
            complete = got == wanted;
        }
        if (!chunk.isEmpty()) {
            closeChunk();
        }
        if (!complete) {
            // The file ends before the count its header gives: draw what did arrive.
            writeLog(kInfoLabel + QStringLiteral("read less"));
            if (chunks.empty()) {
                renderable = false;
                modelValid = false;
                file.close();
                return;
            }
            finishModel();
            return;
        }
        if (memoryGuardStops()) {
            return;
        }
        facetsDone += facetsPerBlock;
        if (quint64{facetsDone} + facetsPerBlock > facetCount) {
            facetsPerBlock = facetCount - facetsDone;
        }
    }
    finishModel();
}
