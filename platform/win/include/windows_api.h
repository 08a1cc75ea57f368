#pragma once

// On Windows every name of the platform layer is the SDK's own.
#include <windows.h>
