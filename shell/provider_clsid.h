#pragma once

#include "com_api.h"

// The class of RecipeThumbnailProvider, registered for every served extension.
extern const CLSID CLSID_RecipeThumbnailProvider;
