#include "windows_api.h"

#include <cstdlib>

namespace {

bool isSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

} // namespace

void prepareGuiEnvironment() {
    // Qt's default platform plug-in aborts the whole process when it finds no display.
    // Without one, sliced files still get their pictures on the offscreen platform; a choice
    // the user made explicitly is left alone.
    if (std::getenv("QT_QPA_PLATFORM") != nullptr) {
        return;
    }
    if (!isSet("DISPLAY") && !isSet("WAYLAND_DISPLAY")) {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    }
}
