#pragma once

#include "binary_facets.h"
#include "facet_stream.h"
#include "mesh_colour.h"
#include "vertex_chunk.h"

#include <QFile>
#include <QObject>
#include <QString>
#include <QVector3D>
#include <QVector>

#include <limits>
#include <memory>
#include <vector>

// Which reader a mesh file gets, by its suffix.
enum MeshKind : qint32 { MeshObj = 0, MeshStl = 1, MeshSlc = 2, MeshThreeMf = 3, MeshPly = 4 };

// The kind of a mesh file by its suffix, ignoring case; -1 for a suffix no reader takes.
qint32 meshKindOf(const QString& path);

// The most facets a text or SLC file is read into, 300 MB of positions (600 MB with normals),
// which keeps any mesh job within a gibibyte: an OBJ line of 1,023 bytes fans out into 508
// facets and every 8-byte SLC vertex into two, so such a file can ask for far more than its
// size. Reading stops after the face line or layer segment that reaches it; the model is what
// was read.
constexpr quint64 kStoredFacetLimit = quint64{1} << 23;

// One record of an SLC file's sampling table.
struct SLC_sampleTbItem_t {
    float minZ;
    float layerThickness;
    float lineWidthCompensation;
    float reserved;
};

// Reads a mesh file (OBJ, STL, SLC, 3MF, PLY, by suffix) into vertex chunks and a bounding box, all
// inside the constructor, under a memory guard. A triangle is three positions, or with
// normals p1 n p2 n p3 n; chunks always hold whole triangles. Allocation failures leave the
// constructor as std::bad_alloc.
class mySTLReader : public QObject {
    Q_OBJECT

public:
    // `hasGeometry`: the renderer computes normals itself, so none are stored. `streamed`: a
    // binary STL is only measured here (box, flags, log) and its facets are left to `stream`,
    // which a worker starts converting at once; other files are read as always.
    mySTLReader(const QString& path, bool hasGeometry, bool streamed = false,
                quint64 storedFacetLimit = kStoredFacetLimit);
    ~mySTLReader() override;

    // A new `stream` over the same facets from the first, for another pass over them; the
    // stream before has finished first.
    void restartStream();

    // Stores one entry; positions widen the bounding box, normals never do.
    void appendVertex(const QVector3D& point, bool isPosition);
    // Stores a triangle with its facet normal as needed, and the colours of its three corners
    // if the file gives them; closes a full chunk and runs the memory guard. True means: stop
    // reading.
    bool appendTriangle(const QVector3D& p1, const QVector3D& p2, const QVector3D& p3,
                        const MeshColour* colours = nullptr);
    void closeChunk();

    bool withNormals;
    qint32 kind;
    VertexChunk chunk;
    qint64 dataOffset = 0;
    quint32 facetCount = 0;
    quint32 facetsDone = 0;
    quint32 facetsPerBlock = 0;
    QFile file;
    bool renderable = true;
    bool modelValid = true;
    std::vector<VertexChunk> chunks;
    // Once a triangle came with colours: one colour per vertex of each chunk, in step with
    // `chunks`, the model's one colour for the triangles that had none. A model without
    // colours has none and is drawn as it always was.
    bool hasColours = false;
    std::vector<std::vector<MeshColour>> colourChunks;
    QString filePath;
    QVector<float> objPositions;
    float minX = std::numeric_limits<float>::max();
    float minY = std::numeric_limits<float>::max();
    float minZ = std::numeric_limits<float>::max();
    float maxX = -std::numeric_limits<float>::max();
    float maxY = -std::numeric_limits<float>::max();
    float maxZ = -std::numeric_limits<float>::max();
    float maxExtent = 0;
    QVector<SLC_sampleTbItem_t> slcSampleTable;
    // A streamed binary STL that can be drawn: its facets, in file order, instead of chunks.
    std::unique_ptr<FacetStream> stream;
    // Facets stored by the text and SLC readers, and whether the limit ended the reading.
    quint64 storedFacets = 0;
    bool facetsCut = false;

private:
    void readStl();
    void readAsciiStl();
    // The facet count at offset 80, its missing bytes taken as zeros.
    quint32 headerFacetCount();
    // The file is exactly as long as the facet count at offset 80 says a binary one is.
    bool sizeFitsBinary();
    void readBinaryStl();
    void appendBinaryFacets(const uchar* records, qint64 facets);
    // The binary facets that arrived go to `stream` when the model can be drawn.
    void startStream(quint32 facets);
    // The box so far as one vector per corner, and back.
    FacetBox currentBox() const;
    void setBox(const FacetBox& box);
    void readObj();
    void readSlc();
    void readThreeMf();
    void readPly();

    // The steps every reader starts with: an empty file is no model; OBJ and SLC files
    // larger than the available memory are not read. False: stop.
    bool checkSize(bool againstMemory);
    void widenBox(float x, float y, float z) {
        maxX = x > maxX ? x : maxX;
        minX = x > minX ? minX : x;
        maxY = y > maxY ? y : maxY;
        minY = y > minY ? minY : y;
        maxZ = z > maxZ ? z : maxZ;
        minZ = z > minZ ? minZ : z;
    }
    // True when the memory load has reached 90 %: logged, not renderable, file closed.
    bool memoryGuardStops();
    // Extents, the last chunk, the validity of the model, the file closed.
    void finishModel();

    // The colours of every vertex stored so far, all the model's one colour.
    void startColours();
    std::vector<MeshColour> colourChunk;

    // Counts `facets` just stored; true once the limit is reached (logged, facetsCut set).
    bool storedReachLimit(quint64 facets);

    bool streamed;
    quint64 storedFacetLimit;
};

// The facet normal: (p2 - p1) x (p3 - p2), normalised; a degenerate facet gets zero.
QVector3D facetNormal(const QVector3D& p1, const QVector3D& p2, const QVector3D& p3);
