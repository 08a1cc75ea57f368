#pragma once

#include "facet_convert.h"
#include "mesh_colour.h"
#include "vertex_chunk.h"

#include <QString>
#include <QStringList>
#include <QVector3D>

#include <limits>
#include <vector>

// The readers of text close a chunk after this many entries (positions and normals), whatever
// the chunk's bytes, as the binary reader closes one after each block of facets.
constexpr int kEntriesPerTextChunk = 1456355;

// How a mesh reader ended; the reader's owner sets the flags and runs the closing step by it.
enum class MeshEnd {
    Finished, // read as far as it goes: the closing step decides whether it can be drawn
    AsItIs,   // stopped early: the chunks stored stay, the flags are not touched
    Hidden,   // stopped, not drawn: too large, refused, or the memory guard
    Invalid,  // no model at all: empty, or damaged before a triangle
};

// The axis-aligned box of the positions stored, open (inverted) until the first one.
struct MeshBox {
    float minX = std::numeric_limits<float>::max();
    float minY = std::numeric_limits<float>::max();
    float minZ = std::numeric_limits<float>::max();
    float maxX = -std::numeric_limits<float>::max();
    float maxY = -std::numeric_limits<float>::max();
    float maxZ = -std::numeric_limits<float>::max();

    // A NaN never widens the box, whichever side it is compared on.
    void widen(float x, float y, float z) {
        maxX = x > maxX ? x : maxX;
        minX = x > minX ? minX : x;
        maxY = y > maxY ? y : maxY;
        minY = y > minY ? minY : y;
        maxZ = z > maxZ ? z : maxZ;
        minZ = z > minZ ? minZ : z;
    }
    // As the binary STL conversion measures it, one vector per corner, and back.
    FacetBox asFacetBox() const { return {{minX, minY, minZ, 0}, {maxX, maxY, maxZ, 0}}; }
    void setFrom(const FacetBox& box);
};

// Where every mesh reader stores what it reads, so that the rules for storing stand once: whole
// triangles in vertex chunks (p1 p2 p3, or p1 n p2 n p3 n with facet normals), the colours of
// their corners in step once any triangle has some, the box of the positions, the facets
// counted against the limit, and the memory guard. The lines the log is to get wait here in
// order, for the reader's owner to write.
class MeshSink {
public:
    MeshSink(bool withNormals, quint64 storedFacetLimit, const QString& path);

    // Stores a triangle, with its facet normal where normals are kept and its corners' colours
    // where the file gives them, and nothing else. Its corners widen the box unless they are
    // vertices the reader has put in the box already (`widensBox` false: OBJ and PLY faces).
    void storeTriangle(const QVector3D& p1, const QVector3D& p2, const QVector3D& p3,
                       const MeshColour* colours = nullptr, bool widensBox = true);
    // Stores a triangle and closes the chunk once it holds kChunkLimitBytes, running the memory
    // guard then. True means: stop reading.
    bool appendTriangle(const QVector3D& p1, const QVector3D& p2, const QVector3D& p3,
                        const MeshColour* colours = nullptr, bool widensBox = true);
    // Closes the chunk once it holds kChunkLimitBytes. True when it closed.
    bool closeWhenFull();
    // The text readers' own count: adds one triangle's entries (3, or 6 with normals) to those
    // since the chunk opened and closes it once they reach kEntriesPerTextChunk. True when it
    // closed.
    bool countTextEntries();
    // Adds the open chunk to the closed ones; an empty one too, as a reader asks.
    void closeChunk();
    // The last, open chunk closed when it holds anything.
    void closeLastChunk();
    // The open chunk, for readers that convert many facets into it at once.
    VertexChunk& openChunk() { return chunk_; }

    // Counts `facets` just stored; true once the limit is reached (a line kept).
    bool reachLimit(quint64 facets);
    // True when the memory load has reached 90 % (a line kept): the model is not drawn.
    bool guardStops();
    // A line for the log, after those kept before it.
    void note(const QString& line) { lines_.append(line); }
    // "information    :    message" with the file's path on the next line.
    void inform(const QString& message);
    // The same with the reader's "operation : number " before the message.
    void informAt(const char* operation, int number, const QString& message);

    bool withNormals() const { return withNormals_; }
    quint64 facetLimit() const { return storedFacetLimit_; }
    const QString& path() const { return path_; }
    MeshBox& box() { return box_; }
    bool facetsCut() const { return facetsCut_; }
    const QStringList& lines() const { return lines_; }
    // What the renderer draws, taken out of the sink once the reading is over.
    std::vector<VertexChunk>& chunks() { return chunks_; }
    bool hasColours() const { return hasColours_; }
    std::vector<std::vector<MeshColour>>& colourChunks() { return colourChunks_; }

private:
    // The colours of every vertex stored so far, all the model's one colour.
    void startColours();

    const bool withNormals_;
    const quint64 storedFacetLimit_;
    const QString path_;
    VertexChunk chunk_;
    int chunkEntries_ = 0;
    std::vector<VertexChunk> chunks_;
    bool hasColours_ = false;
    std::vector<MeshColour> colourChunk_;
    std::vector<std::vector<MeshColour>> colourChunks_;
    MeshBox box_;
    quint64 storedFacets_ = 0;
    bool facetsCut_ = false;
    QStringList lines_;
};

// The facet normal: (p2 - p1) x (p3 - p2), normalised; a degenerate facet gets zero.
QVector3D facetNormal(const QVector3D& p1, const QVector3D& p2, const QVector3D& p3);
