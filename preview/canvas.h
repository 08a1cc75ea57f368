#pragma once

#include "preview_target.h"

#include <QImage>
#include <QSize>

// Centres `picture` on a square RGB888 canvas of side max(minimumSide, width, height) filled
// with `margin`; the halvings of the margins truncate. Alpha is dropped, as the thumbnails of
// sliced files have none. Null when the canvas cannot be allocated.
QImage centredOnSquare(const QImage& picture, int minimumSide, QRgb margin);

// `picture` fitted into side x side keeping its aspect ratio, without smoothing.
QImage scaledToFit(const QImage& picture, int side);

// The size scaledToFit gives a picture of size `source`, for decoders that produce the fitted
// picture directly.
QSize fittedSize(QSize source, int side);

// A picture that keeps its shape, fitted for `target`: its longer side becomes the target's
// shown side (the cache's 400, enlarging a smaller picture as every cached thumbnail is; a
// requested side, never beyond the picture's own), smoothly, since these are full-colour
// pictures rather than silhouettes. Alpha stays, straight, as ARGB32 (RGB32 for an opaque
// picture), so the cache's PNG and the shell's bitmap keep it. Null when it cannot be allocated.
QImage fittedInOwnShape(const QImage& picture, const PreviewTarget& target);
