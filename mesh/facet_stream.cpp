#include "facet_stream.h"

#include "binary_facets.h"

#include <QFile>

#include <algorithm>
#include <cstring>
#include <memory>

FacetStream::FacetStream(const QString& path, qint64 offset, quint32 facets, bool withNormals,
                         quint32 pieceFacets)
    : path_(path), offset_(offset), facets_(facets), withNormals_(withNormals),
      pieceFacets_(std::max<quint32>(1, std::min(pieceFacets, facets))) {
    const std::size_t floats = std::size_t{pieceFacets_} * floatsPerFacet(withNormals_);
    pieceBytes_ = floats * sizeof(float);
    for (VertexChunk& piece : pieces_) {
        piece.reserve(floats + 1);
    }
    records_.reset(new uchar[kRecordBufferBytes]());
    worker_ = std::thread(&FacetStream::run, this);
}

FacetStream::~FacetStream() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    worker_.join();
}

const VertexChunk* FacetStream::next() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!decided_) {
        decided_ = true;
        changed_.notify_all();
    }
    changed_.wait(lock, [this] { return produced_ > taken_ || finished_; });
    if (produced_ == taken_) {
        return nullptr;
    }
    const VertexChunk* piece = &pieces_[taken_++ % 2];
    lock.unlock();
    // The piece returned before is uploaded: the worker may refill its slot.
    changed_.notify_all();
    return piece;
}

void FacetStream::drawWith(const DrawView& view, double fillBudget) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (decided_) {
            return;
        }
        view_ = view;
        budget_.emplace(fillBudget);
        decided_ = true;
    }
    changed_.notify_all();
}

void FacetStream::run() {
    QFile file(path_);
    bool more = file.open(QIODevice::ReadOnly) && file.seek(offset_);
    for (quint32 done = 0; more && done < facets_;) {
        std::size_t slot = 0;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            // The caller holds the piece it took last; the other slot is free once that piece
            // has been taken.
            changed_.wait(lock, [this] { return stopping_ || (decided_ && produced_ <= taken_); });
            if (stopping_) {
                break;
            }
            slot = produced_ % 2;
        }
        const quint32 facets = std::min(pieceFacets_, facets_ - done);
        more = fill(file, pieces_[slot], facets);
        done += facets;
        const std::lock_guard<std::mutex> lock(mutex_);
        if (!pieces_[slot].isEmpty()) {
            ++produced_;
        }
        changed_.notify_all();
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    finished_ = true;
    changed_.notify_all();
}

bool FacetStream::fill(QFile& file, VertexChunk& piece, quint32 facets) {
    piece.truncate(0);
    const int perFacet = floatsPerFacet(withNormals_);
    const int stride = withNormals_ ? 6 : 3;
    FacetBox unused{};
    for (qint64 left = facets; left > 0;) {
        const qint64 wanted = std::min<qint64>(left, kFacetsPerRead) * kFacetRecordSize;
        const qint64 got = file.read(reinterpret_cast<char*>(records_.get()), wanted);
        const qint64 arrived = std::max<qint64>(got, 0) / kFacetRecordSize;
        // The piece has room for one float past its last facet.
        const std::size_t start = piece.size();
        float* out = piece.extend(static_cast<std::size_t>(arrived) * perFacet);
        convertFacets(records_.get(), arrived, withNormals_, out, unused);
        if (view_) {
            float* kept = out;
            double x[3];
            double y[3];
            for (qint64 f = 0; f < arrived; ++f) {
                const float* facet = out + f * perFacet;
                const bool placed = view_->corners(facet, stride, x, y);
                if (!budget_->spend(*view_, x, y, placed)) {
                    piece.truncate(start + static_cast<std::size_t>(kept - out));
                    const std::lock_guard<std::mutex> lock(mutex_);
                    cut_ = true;
                    return false;
                }
                if (!placed || !view_->facesAway(x, y)) {
                    std::memmove(kept, facet, perFacet * sizeof(float));
                    kept += perFacet;
                }
            }
            piece.truncate(start + static_cast<std::size_t>(kept - out));
        }
        left -= arrived;
        if (got != wanted) {
            return false;
        }
    }
    return true;
}
