#pragma once

#include <QImage>

// The module's own stand-in pictures, 400 x 400, Format_ARGB32 with straight alpha. Each
// replaces whatever `target` held.

// A cracked file icon: the file's records are inconsistent or its model cannot be drawn.
void makeDamagedFileImage(QImage& target);

// "old version / no thumbnails": the file is intact but carries no preview.
void makeOldVersionImage(QImage& target);
