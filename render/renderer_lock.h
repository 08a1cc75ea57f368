#pragma once

#include <QMutex>

// Held for a whole renderer job, construction to destruction: the OpenGL probe is one object
// for the process, and renderers never overlap. Separate from dbMutex, which renderers take
// only around their row.
extern QBasicMutex rendererMutex;
