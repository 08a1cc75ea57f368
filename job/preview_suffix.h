#pragma once

#include <QString>

// Whether a suffix belongs to a sliced printer file (compared ignoring case, whole suffix).
// Everything else is a mesh for the renderer.
bool isPreviewSuffix(const QString& suffix);
