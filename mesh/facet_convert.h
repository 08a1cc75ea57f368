#pragma once

#include <QtGlobal>

constexpr qint64 kFacetRecordSize = 50;

constexpr int floatsPerFacet(bool withNormals) {
    return withNormals ? 18 : 9;
}

// x, y, z and a lane nobody reads of the box's corners; for a box measured without storing,
// also the lanes in which a NaN was met (all bits set there).
struct FacetBox {
    float low[4];
    float high[4];
    quint32 nanLanes[4] = {};
};

// Widens `box` by the positions of `facets` binary STL records (little-endian floats) and,
// unless `out` is null, stores their vertex entries there (with normals p1 n p2 n p3 n). The
// records need 16 bytes of slack past the last one, `out` one float past the last entry.
void convertFacets(const uchar* records, qint64 facets, bool withNormals, float* out,
                   FacetBox& box);

// `box` widened by `later`, a box measured from the start over the facets that follow,
// exactly as if they had been read one by one after it; `later` covers at least one facet.
void appendBox(FacetBox& box, const FacetBox& later);

// The same two in plain C++ on any processor, bit for bit: the build uses them where it has
// no vector version, and the tests hold the vector version to them.
void convertFacetsPlain(const uchar* records, qint64 facets, bool withNormals, float* out,
                        FacetBox& box);
void appendBoxPlain(FacetBox& box, const FacetBox& later);
