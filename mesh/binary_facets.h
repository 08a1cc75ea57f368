#pragma once

#include <QString>
#include <QtGlobal>

#include <emmintrin.h>

#include <thread>

constexpr qint64 kFacetRecordSize = 50;
// Facets per read call: a 400 KB buffer, reused.
constexpr qint64 kFacetsPerRead = 8192;
// A read buffer holds this many facets and 16 bytes of slack past the last record.
constexpr qint64 kRecordBufferBytes = kFacetsPerRead * kFacetRecordSize + 16;

constexpr int floatsPerFacet(bool withNormals) {
    return withNormals ? 18 : 9;
}

// x, y, z and a lane nobody reads of the box's corners; for a box measured without storing,
// also the lanes in which a NaN was met.
struct FacetBox {
    __m128 low;
    __m128 high;
    __m128 nanLanes = _mm_setzero_ps();
};

// Widens `box` by the positions of `facets` binary STL records and, unless `out` is null,
// stores their vertex entries there (with normals p1 n p2 n p3 n), writing one float past
// the last entry. The records need 16 bytes of slack past the last one.
void convertFacets(const uchar* records, qint64 facets, bool withNormals, float* out,
                   FacetBox& box);

// `box` widened by `later`, a box measured from the start over the facets that follow,
// exactly as if they had been read one by one after it; `later` covers at least one facet.
void appendBox(FacetBox& box, const FacetBox& later);

// The box of up to `facets` records of a file from `offset` on, measured by a worker thread
// while the caller measures what comes before; the worker has finished when this is destroyed.
class LaterFacets {
public:
    LaterFacets(const QString& path, qint64 offset, quint32 facets);
    ~LaterFacets();
    LaterFacets(const LaterFacets&) = delete;
    LaterFacets& operator=(const LaterFacets&) = delete;

    // Waits for the worker. The facets that arrived, all of them within the box.
    quint32 arrived();
    const FacetBox& box() const { return box_; }

private:
    FacetBox box_;
    quint32 arrived_ = 0;
    std::thread worker_;
};
