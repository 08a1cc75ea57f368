#include "platform_services.h"

// Linux hosts restart with a huge-page heap; the Windows heap needs no such step.
void restartWithHugePageHeap(char**) {}

// The Windows heap decommits freed blocks by its own policy; there is nothing to set.
void keepFreedHeapMemory() {}
