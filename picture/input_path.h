#pragma once

#include <QString>

// The local path a desktop names a file by: a path as it is, or a file URI whose host is
// empty or "localhost" (both the local host), its escapes decoded to bytes of the file
// system's own encoding, so a name that is no UTF-8 keeps its bytes (keepFileNamesWhole).
// Empty for a file URI of another host.
QString inputFilePath(const QString& argument);
