#pragma once

#include <QImage>
#include <QSize>

// Centres `picture` on a square RGB888 canvas of side max(400, width, height) filled with
// `margin`; the halvings of the margins truncate. Alpha is dropped, as the cached thumbnails of
// sliced files have none. Null when the canvas cannot be allocated.
QImage centredOnSquare(const QImage& picture, QRgb margin);

// `picture` fitted into 400 x 400 keeping its aspect ratio, without smoothing.
QImage fittedToThumbnail(const QImage& picture);

// The size fittedToThumbnail gives a picture of size `source`, for decoders that produce the
// fitted picture directly.
QSize fittedThumbnailSize(QSize source);
