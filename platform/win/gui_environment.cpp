#include "windows_api.h"

bool prepareGuiEnvironment(const char*) {
    return true;
}
