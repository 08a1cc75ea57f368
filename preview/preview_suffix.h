#pragma once

#include <QString>

// Whether a suffix belongs to a sliced printer file (compared ignoring case, whole suffix).
// Everything else is a mesh for the renderer.
bool isPreviewSuffix(const QString& suffix);

// Whether a file goes to the preview extractor: a sliced printer file, or a 3MF package that
// carries its own thumbnail (one without is a mesh for the renderer).
bool takesPreviewPath(const QString& path);
