#pragma once

#include <QByteArray>
#include <QImage>
#include <QVector>

// A ring seen from above, as a slicer previews a printed ring: the picture of the samples and
// benchmarks. Pixel 0 and pixel (1, 1) are the background the readers key on.
QImage ringImage(int side, QRgb resin);

// The ring on a clear picture of its own shape: transparent around it, centred on the
// shorter side, as a slicer renders a print's preview.
QImage ringOnClear(QSize size, QRgb resin);

// The ring as row-major 5-6-5 colour words, light grey on black.
QVector<quint16> ringPixels(int side);

// A DLP family file whose preview is the ring.
QByteArray ringLqx(int side);
