#include "mesh_text.h"

#include "platform_services.h"

#include <QIODevice>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <system_error>

namespace {

bool isCSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

} // namespace

float parseFloat(const char* text, const char* limit, const char** end) {
    const char* p = text;
    while (p < limit && isCSpace(*p)) {
        ++p;
    }
    const char* digits = p < limit && *p == '-' ? p + 1 : p;
    // Forms from_chars does not read as strtof does go the slow way: a plus sign, hex,
    // infinity and NaN spelt out.
    const bool plain =
        digits < limit && (*digits == '.' || (*digits >= '0' && *digits <= '9')) &&
        !(digits + 1 < limit && *digits == '0' && (digits[1] == 'x' || digits[1] == 'X'));
    if (plain) {
        float value = 0;
        const std::from_chars_result parsed = std::from_chars(p, limit, value);
        if (parsed.ec == std::errc()) {
            *end = parsed.ptr;
            return value;
        }
    }
    // Overflow, underflow and everything unusual: strtof itself.
    char* stop = nullptr;
    const float value = strtofC(text, &stop);
    *end = stop;
    return value;
}

namespace {
constexpr std::size_t kLineBufferSize = 1 << 16;
} // namespace

LineReader::LineReader(QIODevice& device) : device_(device), buffer_(kLineBufferSize) {}

bool LineReader::next(char* line) {
    constexpr auto kMostPerPiece = static_cast<std::size_t>(kLineLimit - 1);
    std::size_t length = 0;
    while (length < kMostPerPiece) {
        if (begin_ == end_) {
            const qint64 got = device_.read(buffer_.data(), static_cast<qint64>(buffer_.size()));
            if (got <= 0) {
                break;
            }
            begin_ = 0;
            end_ = static_cast<std::size_t>(got);
        }
        const char* start = buffer_.data() + begin_;
        const std::size_t room = std::min(kMostPerPiece - length, end_ - begin_);
        const auto* lineBreak = static_cast<const char*>(std::memchr(start, '\n', room));
        const std::size_t taken =
            lineBreak != nullptr ? static_cast<std::size_t>(lineBreak - start) + 1 : room;
        std::memcpy(line + length, start, taken);
        length += taken;
        begin_ += taken;
        if (lineBreak != nullptr) {
            break;
        }
    }
    line[length] = '\0';
    return length > 0;
}
