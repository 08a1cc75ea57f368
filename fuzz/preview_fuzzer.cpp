// One sliced format, chosen by FUZZ_SUFFIX at build time: the input is a whole file of that
// format, read by the extractor as a job reads it, sized for the cache, but neither saved nor
// recorded: the reader's decisions and pictures are the same, and no database or PNG write
// slows the run.

#include "fuzz_support.h"
#include "my_file_thumbnail.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzEnvironment();
    const QString path =
        writeInput(QByteArray(reinterpret_cast<const char*>(data), int(size)), FUZZ_SUFFIX);
    myFileThumbnail::pictureOf(path, PreviewTarget::cache());
    return 0;
}
