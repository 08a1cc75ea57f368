#include "mesh_text.h"

#include "windows_api.h"

#include <charconv>
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
