// The import libraries lack the shell's thumbnail provider interface id: defined here, once,
// from the SDK's own header (with <initguid.h> first, its DEFINE_GUIDs define).
#include <initguid.h>

#include <thumbcache.h>
