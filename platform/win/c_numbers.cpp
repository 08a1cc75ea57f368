#include "platform_services.h"

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <locale.h>

float strtofC(const char* text, char** end) {
    // The host's locale may write decimal commas; model files never do. The C runtime that
    // mingw-w64 links (msvcrt) has _strtod_l but no _strtof_l: the number is read as a double
    // and rounded to float, which differs from reading a float directly only for decimals that
    // lie within a double's rounding of halfway between two floats.
    static const _locale_t cLocale = _create_locale(LC_NUMERIC, "C");
    const double value = _strtod_l(text, end, cLocale);
    // Beyond float's range the conversion is undefined; strtof answers infinity and ERANGE.
    if (std::isfinite(value) && std::fabs(value) > FLT_MAX) {
        errno = ERANGE;
        return value > 0 ? HUGE_VALF : -HUGE_VALF;
    }
    return static_cast<float>(value);
}
