#pragma once

// On Windows every name of the platform layer is the SDK's own.
#include <windows.h>

// Chooses the Qt platform integration before the in-process application starts. Windows
// always has a desktop, so Qt's default is right.
void prepareGuiEnvironment();
