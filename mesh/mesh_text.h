#pragma once

#include <cstddef>
#include <vector>

// What the text readers (ASCII STL, OBJ) share.

// readLine's limit: a line longer than 1,023 bytes arrives in pieces.
constexpr long long kLineLimit = 1024;

// Past blanks and tabs, the separators of a line's numbers.
inline const char* skipBlanks(const char* s) {
    while (*s == ' ' || *s == '\t') {
        ++s;
    }
    return s;
}

// strtof in the "C" locale, read from [text, limit): the same value and the same end as
// strtof, several times faster for the plain decimal numbers that mesh files hold.
// `limit` is the end of the text (its terminating NUL).
float parseFloat(const char* text, const char* limit, const char** end);

class QIODevice;

// The lines of a device as QIODevice::readLine(line, kLineLimit) gives them, a line longer
// than 1,023 bytes in pieces, but taken from one large buffer: per-line reads through the
// device cost more than parsing the numbers.
class LineReader {
public:
    // Reads on from the device's current position.
    explicit LineReader(QIODevice& device);

    // The next line or piece, its line break kept, into `line` (room for kLineLimit bytes),
    // terminated by a NUL. False when the device has nothing more.
    bool next(char* line);

private:
    QIODevice& device_;
    std::vector<char> buffer_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
};
