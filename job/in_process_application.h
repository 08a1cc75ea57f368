#pragma once

#include <QByteArray>

// Starts the Qt application inside the host process the first time it is needed, unless the
// host runs one of its own. The caller holds dbMutex, which makes the start happen once.
void ensureInProcessApplication(const QByteArray& hostPath);
