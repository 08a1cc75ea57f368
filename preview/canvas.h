#pragma once

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
