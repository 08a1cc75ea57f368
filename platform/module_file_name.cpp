#include "module_file_name.h"

#include <algorithm>
#include <vector>

namespace {

// The first buffer holds MAX_PATH, enough for most install paths; a longer path takes a larger
// one, up to the longest path Windows knows (32,767 characters and the terminator).
constexpr DWORD kFirstBuffer = 260;
constexpr DWORD kLongestBuffer = 32768;

} // namespace

// A cut path fills the buffer, terminator included, and returns its size: then it is asked for
// again in a buffer twice as large.
std::wstring moduleFileName(HMODULE module) {
    std::vector<WCHAR> buffer;
    for (DWORD size = kFirstBuffer;; size = std::min(2 * size, kLongestBuffer)) {
        buffer.resize(size);
        const DWORD length = GetModuleFileNameW(module, buffer.data(), size);
        if (length < size) {
            return std::wstring(buffer.data(), length);
        }
        if (size == kLongestBuffer) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return {};
        }
    }
}
