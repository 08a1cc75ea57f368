#include "platform_services.h"

// Windows has no runtime folder for Qt to make, so nothing depends on these.

bool isPrivateFolder(const char*) {
    return true;
}

bool removeFolderOnTermination(const char*) {
    return true;
}
