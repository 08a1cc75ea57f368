#include "facet_convert.h"

#include "my_stl_reader.h"

#include <QtEndian>

#include <cstring>

namespace {

// The vector instructions' rules, which the picture depends on: the maximum takes x only when
// x > max, the minimum keeps min only when min < x, so a NaN restarts the minimum.
void widen(const float* p, FacetBox& box, bool markNaN) {
    for (int lane = 0; lane < 3; ++lane) {
        box.high[lane] = p[lane] > box.high[lane] ? p[lane] : box.high[lane];
        box.low[lane] = box.low[lane] < p[lane] ? box.low[lane] : p[lane];
        if (markNaN && p[lane] != p[lane]) {
            box.nanLanes[lane] = ~quint32(0);
        }
    }
}

} // namespace

void convertFacetsPlain(const uchar* records, qint64 facets, bool withNormals, float* out,
                        FacetBox& box) {
    for (qint64 f = 0; f < facets; ++f) {
        const uchar* record = records + f * kFacetRecordSize + 12;
        float p[9];
        for (int i = 0; i < 9; ++i) {
            p[i] = qFromLittleEndian<float>(record + 4 * i);
        }
        for (int vertex = 0; vertex < 3; ++vertex) {
            widen(p + 3 * vertex, box, out == nullptr);
        }
        if (out == nullptr) {
            continue;
        }
        if (!withNormals) {
            std::memcpy(out, p, sizeof(p));
            out += 9;
            continue;
        }
        const QVector3D n = facetNormal({p[0], p[1], p[2]}, {p[3], p[4], p[5]}, {p[6], p[7], p[8]});
        for (int vertex = 0; vertex < 3; ++vertex) {
            std::memcpy(out, p + 3 * vertex, 3 * sizeof(float));
            out[3] = n.x();
            out[4] = n.y();
            out[5] = n.z();
            out += 6;
        }
    }
}

void appendBoxPlain(FacetBox& box, const FacetBox& later) {
    for (int lane = 0; lane < 3; ++lane) {
        box.high[lane] = later.high[lane] > box.high[lane] ? later.high[lane] : box.high[lane];
        const float joined = box.low[lane] < later.low[lane] ? box.low[lane] : later.low[lane];
        box.low[lane] = later.nanLanes[lane] != 0 ? later.low[lane] : joined;
        box.nanLanes[lane] |= later.nanLanes[lane];
    }
}
