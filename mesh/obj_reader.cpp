#include "mesh_text.h"
#include "my_stl_reader.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Vertices kept for the faces to name, 12 bytes each: 2^23 are 100 MB, the vertices of a mesh
// of twice as many triangles as a thumbnail draws, and never more than the facets the file may
// store. A file of vertex lines alone would otherwise keep gigabytes that no face uses; later
// vertices are passed over, and the faces that name them end where they do.
constexpr quint64 kVertexLimit = quint64{1} << 23;

// The references of a face line, 0-based, up to the first that is no vertex read so far
// (0, negative, later in the file, or no number). "7/2/5" counts as 7; references are
// separated by blanks. A reference written with a leading 0 or 0x reads as octal or hex.
void parseFace(const char* s, long vertexCount, std::vector<long>& references) {
    references.clear();
    char* end = nullptr;
    long reference = std::strtol(s, &end, 0);
    while (reference >= 1 && reference <= vertexCount) {
        references.push_back(reference - 1);
        const char* blank = std::strchr(end, ' ');
        if (blank == nullptr) {
            return;
        }
        reference = std::strtol(blank + 1, &end, 0);
    }
}

} // namespace

MeshEnd mySTLReader::readObj() {
    if (!file.open(QIODevice::ReadOnly)) {
        return MeshEnd::AsItIs;
    }
    std::vector<long> references;
    char line[kLineLimit + 1] = {};
    LineReader lines(file);
    bool verticesCut = false;
    while (lines.next(line)) {
        if (std::strncmp(line, "v ", 2) == 0) {
            if (quint64(objPositions.size() / 3) >= std::min(kVertexLimit, sink.facetLimit())) {
                if (!verticesCut) {
                    sink.inform(QStringLiteral("too many vertices, read in part"));
                    verticesCut = true;
                }
                continue;
            }
            // A NUL inside the line ends its text, as it would for strtof.
            const char* lineEnd = line + std::strlen(line);
            float xyz[3];
            const char* s = line + 2;
            for (float& value : xyz) {
                value = parseFloat(skipBlanks(s), lineEnd, &s);
            }
            sink.box().widen(xyz[0], xyz[1], xyz[2]);
            objPositions.append(xyz[0]);
            objPositions.append(xyz[1]);
            objPositions.append(xyz[2]);
            continue;
        }
        if (std::strncmp(line, "f ", 2) != 0) {
            continue;
        }
        parseFace(line + 2, objPositions.size() / 3, references);
        // A fan over the whole polygon, however many corners it has.
        const auto corner = [this](long vertex) {
            const float* p = objPositions.constData() + 3 * vertex;
            return QVector3D(p[0], p[1], p[2]);
        };
        for (std::size_t j = 0; j + 2 < references.size(); ++j) {
            sink.storeTriangle(corner(references[0]), corner(references[j + 1]),
                               corner(references[j + 2]), nullptr, false);
            sink.closeWhenFull();
        }
        // Entries are counted per face line, whatever the face yields; a long polygon yields
        // hundreds of triangles, so the chunk's bytes are a limit as well.
        sink.countTextEntries();
        if (sink.guardStops()) {
            return MeshEnd::Hidden;
        }
        if (references.size() > 2 && sink.reachLimit(references.size() - 2)) {
            break;
        }
    }
    return MeshEnd::Finished;
}
