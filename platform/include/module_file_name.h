#pragma once

#include "windows_api.h"

#include <string>

// The file `module` was loaded from (null: the program itself), in full however long it is.
// Empty when it cannot be read, with GetLastError telling why.
std::wstring moduleFileName(HMODULE module);
