#include "windows_api.h"

void prepareGuiEnvironment(const char*) {}
