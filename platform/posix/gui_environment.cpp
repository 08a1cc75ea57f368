#include "windows_api.h"

#include <cstdlib>

namespace {

bool isSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

} // namespace

void prepareGuiEnvironment() {
    // A choice the user made explicitly is left alone.
    if (isSet("QT_QPA_PLATFORM")) {
        return;
    }
    // Qt tries the platforms in turn and aborts the whole process when none starts. The
    // desktop's own platform comes first, for real OpenGL; offscreen comes last, so that a
    // display that cannot be reached (none at all, a stale DISPLAY, an X server in the middle
    // of a reset) costs the model thumbnails, never the host.
    const char* platforms = "offscreen";
    if (isSet("DISPLAY")) {
        platforms = "xcb;offscreen";
    } else if (isSet("WAYLAND_DISPLAY")) {
        platforms = "wayland;xcb;offscreen";
    }
    setenv("QT_QPA_PLATFORM", platforms, 0);
}
