#pragma once

#include <QMutex>

// The one lock of the system: every use of the database connection and the one-time start of
// the in-process application run under it. Non-recursive; constant-initialised, so it is
// usable before any code of the module runs.
extern QBasicMutex dbMutex;
