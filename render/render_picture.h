#pragma once

#include <QImage>
#include <QString>

enum class RenderOutcome { Rendered, Placeholder, Empty, Refused };

// A mesh file drawn into a size x size picture, outside the cache: no database, no picture
// folder, and the data root only through writeLog (give the log a sink where there is none).
// The model fills the picture (Framing::FillPicture), as seen by the cache's camera. A model that
// cannot be drawn gives the damaged-file placeholder at that size, a mesh without triangles the
// empty picture. A null image when refused: not a regular file, no mesh suffix, an unusable size,
// too large or over the memory guard, unreadable, or OpenGL not usable. Holds rendererMutex
// itself; needs a QGuiApplication to exist.
QImage renderPicture(const QString& sourcePath, int size, RenderOutcome* outcome = nullptr);
