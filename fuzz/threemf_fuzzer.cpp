// 3MF packages: the input is a whole package, read both ways a job may take it, as the
// preview extractor's picture (without the cache) and as the mesh reader's model.

#include "fuzz_support.h"
#include "my_file_thumbnail.h"
#include "my_stl_reader.h"

#include <cstddef>
#include <cstdint>
#include <new>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzEnvironment();
    const QString path =
        writeInput(QByteArray(reinterpret_cast<const char*>(data), int(size)), FUZZ_SUFFIX);
    myFileThumbnail::pictureOf(path, PreviewTarget::side(256));
    try {
        const mySTLReader reader(path, false);
    } catch (const std::bad_alloc&) {
        // The renderer catches this and marks the job not ready.
    }
    return 0;
}
