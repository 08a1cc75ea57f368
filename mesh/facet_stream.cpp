#include "facet_stream.h"

#include "binary_facets.h"

#include <QFile>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace {

// True when the facet at `p` (three positions, `stride` floats apart) lands clearly clockwise
// in window pixels: by more than the rasteriser's sub-pixel snapping (1/256 pixel) and any
// rounding could turn. A facet reaching behind the eye, or with a NaN, is left to the
// rasteriser.
bool facesAway(const float* p, int stride, const float* m, float halfSide) {
    float x[3];
    float y[3];
    for (int i = 0; i < 3; ++i) {
        const float* v = p + i * stride;
        const float w = m[3] * v[0] + m[7] * v[1] + m[11] * v[2] + m[15];
        if (!(w > 0)) {
            return false;
        }
        x[i] = (m[0] * v[0] + m[4] * v[1] + m[8] * v[2] + m[12]) / w * halfSide;
        y[i] = (m[1] * v[0] + m[5] * v[1] + m[9] * v[2] + m[13]) / w * halfSide;
    }
    const float ax = x[1] - x[0];
    const float ay = y[1] - y[0];
    const float bx = x[2] - x[0];
    const float by = y[2] - y[0];
    const float margin =
        (std::abs(ax) + std::abs(ay) + std::abs(bx) + std::abs(by)) / 64 + 1.0f / 1024;
    return ax * by - ay * bx < -margin;
}

} // namespace

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

void FacetStream::leaveOutBackFaces(const float* clip, int side) {
    const std::lock_guard<std::mutex> lock(mutex_);
    std::memcpy(clip_, clip, sizeof(clip_));
    halfSide_ = side / 2.0f;
    culling_ = true;
}

void FacetStream::run() {
    QFile file(path_);
    bool more = file.open(QIODevice::ReadOnly) && file.seek(offset_);
    for (quint32 done = 0; more && done < facets_;) {
        std::size_t slot = 0;
        float clip[16];
        float halfSide = 0;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            // The caller holds the piece it took last; the other slot is free once that piece
            // has been taken.
            changed_.wait(lock, [this] { return stopping_ || produced_ <= taken_; });
            if (stopping_) {
                break;
            }
            slot = produced_ % 2;
            std::memcpy(clip, clip_, sizeof(clip));
            halfSide = culling_ ? halfSide_ : 0;
        }
        const quint32 facets = std::min(pieceFacets_, facets_ - done);
        more = fill(file, pieces_[slot], facets, clip, halfSide);
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

bool FacetStream::fill(QFile& file, VertexChunk& piece, quint32 facets, const float* clip,
                       float halfSide) {
    piece.truncate(0);
    const int perFacet = floatsPerFacet(withNormals_);
    const int stride = withNormals_ ? 6 : 3;
    FacetBox unused{_mm_setzero_ps(), _mm_setzero_ps()};
    for (qint64 left = facets; left > 0;) {
        const qint64 wanted = std::min<qint64>(left, kFacetsPerRead) * kFacetRecordSize;
        const qint64 got = file.read(reinterpret_cast<char*>(records_.get()), wanted);
        const qint64 arrived = std::max<qint64>(got, 0) / kFacetRecordSize;
        // The piece has room for one float past its last facet.
        const std::size_t start = piece.size();
        float* out = piece.extend(static_cast<std::size_t>(arrived) * perFacet);
        convertFacets(records_.get(), arrived, withNormals_, out, unused);
        if (halfSide > 0) {
            float* kept = out;
            for (qint64 f = 0; f < arrived; ++f) {
                const float* facet = out + f * perFacet;
                if (!facesAway(facet, stride, clip, halfSide)) {
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
