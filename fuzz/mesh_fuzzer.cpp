// One mesh reader, chosen by FUZZ_SUFFIX and FUZZ_STL_FORM at build time. For STL the form
// steers the input: 1 puts 80 zero bytes before it, so the file stays binary; 2 puts a
// "solid" line before it, so the text reader looks at it; 3 is binary too, and streamed as the
// renderer streams it: measured by the reader, its facets converted by the stream's worker
// thread, culled and counted against a fill budget under the renderer's camera.

#include "cache_camera.h"
#include "draw_view.h"
#include "fuzz_support.h"
#include "my_stl_reader.h"

#include <cstddef>
#include <cstdint>
#include <new>

namespace {

QByteArray formPrefix() {
    switch (FUZZ_STL_FORM) {
    case 1:
    case 3:
        return QByteArray(80, '\0');
    case 2:
        return QByteArrayLiteral("solid fuzz\n");
    default:
        return {};
    }
}

void drain(FacetStream& stream) {
    while (stream.next() != nullptr) {
    }
}

// The reader's stream under the cache's camera at 64 pixels with a budget small enough to end
// some streams early, then the same facets in pieces of two without a view, and a stream left
// after its first piece.
void stream(const QString& path, bool hasGeometry) {
    const mySTLReader reader(path, hasGeometry, true);
    if (!reader.stream) {
        return;
    }
    const QMatrix4x4 model = cacheCamera::fitted(reader);
    reader.stream->drawWith(DrawView(cacheCamera::projection(false, 64, 64),
                                     cacheCamera::view() * cacheCamera::world(false), model, 64,
                                     {reader.minX, reader.minY, reader.minZ},
                                     {reader.maxX, reader.maxY, reader.maxZ}),
                            4096);
    drain(*reader.stream);
    FacetStream small(path, reader.dataOffset, reader.facetCount, !hasGeometry, 2);
    drain(small);
    FacetStream left(path, reader.dataOffset, reader.facetCount, !hasGeometry, 2);
    left.next();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzEnvironment();
    const QString path = writeInput(
        formPrefix() + QByteArray(reinterpret_cast<const char*>(data), int(size)), FUZZ_SUFFIX);
    // Both stored layouts: with normals (no geometry stage) and without.
    for (const bool hasGeometry : {true, false}) {
        try {
            if (FUZZ_STL_FORM == 3) {
                stream(path, hasGeometry);
            } else {
                const mySTLReader reader(path, hasGeometry);
            }
        } catch (const std::bad_alloc&) {
            // The renderer catches this and marks the job not ready.
        }
    }
    return 0;
}
