#pragma once

#include <QByteArray>
#include <QImage>

// The DLP family's run-length preview (width x height, 1 to 10,000 each) as a light grey
// silhouette on the background colour, centred on a square RGB888 canvas of the longer side.
// Word 0 sets the key colour. A null image when the canvas cannot be allocated.
QImage decodeDlpPreview(int width, int height, const QByteArray& data);
