#include "platform_services.h"

#include <clocale>
#include <cstdlib>
#include <locale.h>

float strtofC(const char* text, char** end) {
    // The host's locale may write decimal commas; model files never do.
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return strtof_l(text, end, cLocale);
}
