#pragma once

#include "draw_view.h"
#include "vertex_chunk.h"

#include <QFile>
#include <QString>
#include <QtGlobal>

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

// Facets per piece of a stream: 1 MiB of positions with the slack float, so both pieces and
// the vertex buffer stay in the processor's cache and the rasteriser's scenes stay small.
constexpr quint32 kStreamPieceFacets = 29127;

// The facets of a binary STL turned into vertex entries by a worker thread, a piece at a time,
// while the caller uploads and draws the piece before. Two pieces are filled in turn, so
// memory stays at two pieces whatever the file's size. The worker reads the file through its
// own handle and has finished when the stream is destroyed. It fills the first piece only once
// it knows how the facets will be drawn (drawWith, or the first call of next): what a piece
// holds never depends on how the threads meet.
class FacetStream {
public:
    // `facets` records from `offset` on; allocates both pieces (std::bad_alloc) and starts.
    FacetStream(const QString& path, qint64 offset, quint32 facets, bool withNormals,
                quint32 pieceFacets = kStreamPieceFacets);
    ~FacetStream();
    FacetStream(const FacetStream&) = delete;
    FacetStream& operator=(const FacetStream&) = delete;

    // The next piece in file order, or null after the last; the piece returned before goes
    // back to the worker. A file that has become shorter ends the stream early. Without a
    // call of drawWith before the first, every facet comes through.
    const VertexChunk* next();
    // The most bytes a piece holds.
    std::size_t pieceBytes() const { return pieceBytes_; }
    // The facets the stream was made for.
    quint32 facets() const { return facets_; }
    // Called before the first next(): facets that `view` turns clearly away are left out (a
    // rasteriser that culls back faces would drop them after running its vertex and geometry
    // stages on them), and the stream ends before the first facet that no longer fits into
    // `fillBudget` pixels.
    void drawWith(const DrawView& view, double fillBudget);
    // The fill budget ended the stream before the file did; read once next() gave null.
    bool cut() const { return cut_; }

private:
    void run();
    // Fills `piece` with up to `facets` records from `file`; false when the file or the
    // budget ended early.
    bool fill(QFile& file, VertexChunk& piece, quint32 facets);

    QString path_;
    qint64 offset_;
    quint32 facets_;
    bool withNormals_;
    quint32 pieceFacets_;
    std::size_t pieceBytes_ = 0;
    VertexChunk pieces_[2];
    std::unique_ptr<uchar[]> records_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t produced_ = 0;
    std::size_t taken_ = 0;
    bool finished_ = false;
    bool stopping_ = false;
    // Set once, before the worker fills its first piece; read by the worker alone from then.
    bool decided_ = false;
    std::optional<DrawView> view_;
    std::optional<FillBudget> budget_;
    bool cut_ = false;
    std::thread worker_;
};
