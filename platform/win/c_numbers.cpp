#include "windows_api.h"

#include <cstdlib>
#include <locale.h>

float strtofC(const char* text, char** end) {
    // The host's locale may write decimal commas; model files never do.
    static const _locale_t cLocale = _create_locale(LC_ALL, "C");
    return _strtof_l(text, end, cLocale);
}
