#include "facet_convert.h"

void convertFacets(const uchar* records, qint64 facets, bool withNormals, float* out,
                   FacetBox& box) {
    convertFacetsPlain(records, facets, withNormals, out, box);
}

void appendBox(FacetBox& box, const FacetBox& later) {
    appendBoxPlain(box, later);
}
