#include "facet_convert.h"

#include "my_stl_reader.h"

#include <emmintrin.h>

// x86 stores floats little-endian, as the file does: the records load as they are.

namespace {

__m128 loadLanes(const quint32* lanes) {
    return _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(lanes)));
}

void storeLanes(quint32* lanes, __m128 mask) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), _mm_castps_si128(mask));
}

template <bool kStore>
void convert(const uchar* records, qint64 facets, bool withNormals, float* out, FacetBox& box) {
    // MAXPS(x, max) and MINPS(min, x) are exactly "max takes x when x > max, min takes x
    // unless x > min", NaN included.
    __m128 low = _mm_loadu_ps(box.low);
    __m128 high = _mm_loadu_ps(box.high);
    __m128 nan = loadLanes(box.nanLanes);
    for (qint64 f = 0; f < facets; ++f) {
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
        if (!kStore) {
            nan = _mm_or_ps(nan,
                            _mm_or_ps(_mm_cmpunord_ps(p1, p1),
                                      _mm_or_ps(_mm_cmpunord_ps(p2, p2), _mm_cmpunord_ps(p3, p3))));
            continue;
        }
        // Each vertex is a 16-byte write whose last lane the next one overwrites.
        if (!withNormals) {
            _mm_storeu_ps(out, p1);
            _mm_storeu_ps(out + 3, p2);
            _mm_storeu_ps(out + 6, p3);
            out += 9;
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
        out += 18;
    }
    _mm_storeu_ps(box.low, low);
    _mm_storeu_ps(box.high, high);
    storeLanes(box.nanLanes, nan);
}

} // namespace

void convertFacets(const uchar* records, qint64 facets, bool withNormals, float* out,
                   FacetBox& box) {
    if (out == nullptr) {
        convert<false>(records, facets, withNormals, out, box);
    } else {
        convert<true>(records, facets, withNormals, out, box);
    }
}

void appendBox(FacetBox& box, const FacetBox& later) {
    // The maximum keeps the first of equal values and passes over NaNs, so the later maximum
    // counts only when larger. The minimum starts again after each NaN: in a lane where the
    // later facets hold one, theirs is the result; elsewhere the smaller, ties to the later.
    const __m128 laterLow = _mm_loadu_ps(later.low);
    const __m128 laterNaN = loadLanes(later.nanLanes);
    _mm_storeu_ps(box.high, _mm_max_ps(_mm_loadu_ps(later.high), _mm_loadu_ps(box.high)));
    const __m128 joined = _mm_min_ps(_mm_loadu_ps(box.low), laterLow);
    _mm_storeu_ps(box.low,
                  _mm_or_ps(_mm_and_ps(laterNaN, laterLow), _mm_andnot_ps(laterNaN, joined)));
    storeLanes(box.nanLanes, _mm_or_ps(loadLanes(box.nanLanes), laterNaN));
}
