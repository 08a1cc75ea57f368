#pragma once

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
