#include "renderer_lock.h"

QBasicMutex rendererMutex;
