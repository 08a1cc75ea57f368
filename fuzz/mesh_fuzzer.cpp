// One mesh reader, chosen by FUZZ_SUFFIX and FUZZ_STL_FORM at build time. For STL the form
// steers the input: 1 puts 80 zero bytes before it, so the file stays binary; 2 puts a
// "solid" line before it, so the text reader looks at it.

#include "fuzz_support.h"
#include "my_stl_reader.h"

#include <cstddef>
#include <cstdint>
#include <new>

namespace {

QByteArray formPrefix() {
    switch (FUZZ_STL_FORM) {
    case 1:
        return QByteArray(80, '\0');
    case 2:
        return QByteArrayLiteral("solid fuzz\n");
    default:
        return {};
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzEnvironment();
    const QString path = writeInput(
        formPrefix() + QByteArray(reinterpret_cast<const char*>(data), int(size)), FUZZ_SUFFIX);
    // Both stored layouts: with normals (no geometry stage) and without.
    for (const bool hasGeometry : {true, false}) {
        try {
            mySTLReader reader(path, hasGeometry);
        } catch (const std::bad_alloc&) {
            // The renderer catches this and marks the job not ready.
        }
    }
    return 0;
}
