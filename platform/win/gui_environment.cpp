#include "platform_services.h"

const char* const kXSocketFolder = nullptr;

// Windows always has a desktop, so Qt's default platform is right.
bool prepareGuiEnvironment(const char*) {
    return true;
}
