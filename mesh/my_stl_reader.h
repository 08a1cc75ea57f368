#pragma once

#include "binary_facets.h"
#include "facet_stream.h"
#include "mesh_colour.h"
#include "mesh_sink.h"
#include "vertex_chunk.h"

#include <QFile>
#include <QObject>
#include <QString>
#include <QVector3D>
#include <QVector>

#include <memory>
#include <optional>
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
// inside the constructor, under a memory guard. Each reader stores through a MeshSink and says
// how it ended; the constructor then writes the sink's log lines, sets the flags and runs the
// closing step in one place, and takes the chunks and the box out of the sink. Allocation
// failures leave the constructor as std::bad_alloc, the lines kept so far logged. The box's
// fields (minX to maxZ) are the reader's own, as the renderer reads them.
class mySTLReader : public QObject, public MeshBox {
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

    bool withNormals;
    qint32 kind;
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
    float maxExtent = 0;
    QVector<SLC_sampleTbItem_t> slcSampleTable;
    // A streamed binary STL that can be drawn: its facets, in file order, instead of chunks.
    std::unique_ptr<FacetStream> stream;

private:
    // The reader the kind names, once the file's size lets it start; a kind no reader takes
    // leaves everything as it is.
    MeshEnd read();
    MeshEnd readStl();
    MeshEnd readAsciiStl();
    // The facet count at offset 80, its missing bytes taken as zeros.
    quint32 headerFacetCount();
    // The file is exactly as long as the facet count at offset 80 says a binary one is.
    bool sizeFitsBinary();
    MeshEnd readBinaryStl();
    void appendBinaryFacets(const uchar* records, qint64 facets);
    MeshEnd readObj();
    MeshEnd readSlc();
    MeshEnd readThreeMf();
    MeshEnd readPly();

    // The step before every reader: an empty file is no model; OBJ, SLC and PLY files larger
    // than the available memory are not read. Empty when the reading may go on.
    std::optional<MeshEnd> refusesSize(bool againstMemory);
    // The log, the flags, the closing step and the stream, by how the reader ended.
    void conclude(MeshEnd end);
    // Extents, the last chunk, the validity of the model.
    void finishModel();
    // The binary facets that arrived go to `stream` when the model can be drawn.
    void startStream(quint32 facets);

    MeshSink sink;
    bool streamed;
    // The facets of a binary STL that arrived, for its stream.
    quint32 facetsArrived = 0;
};
