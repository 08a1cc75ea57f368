// One sliced format, chosen by FUZZ_SUFFIX at build time: the input is a whole file of that
// format, read by the extractor exactly as a job reads it.

#include "fuzz_support.h"
#include "my_file_thumbnail.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const FuzzEnvironment& environment = fuzzEnvironment();
    const QString path =
        writeInput(QByteArray(reinterpret_cast<const char*>(data), int(size)), FUZZ_SUFFIX);
    myFileThumbnail extractor(path, environment.dataRoot);
    return 0;
}
