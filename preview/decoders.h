#pragma once

// The byte-level decoders of the sliced formats, apart from file access and the cache, so
// tests and fuzzers can run them on bytes alone. Each returns a null image when its picture
// cannot be allocated.

#include <QByteArray>
#include <QImage>
#include <QSize>

// DLP family: run-length preview (sides 1 to 10,000) as a grey silhouette keyed on word 0,
// centred on a square RGB888 canvas of the longer side, which is returned scaled to `shownAs`
// without smoothing.
QImage decodeDlpPreview(int width, int height, const QByteArray& data, QSize shownAs);

// Photons: width x height little-endian 5-6-5 pixels, red in the low bits, as RGB32. The
// caller guarantees 2 x width x height bytes.
QImage decodePhotonsPixels(int width, int height, const QByteArray& pixels);

// GF: three 16-bit words per pixel, grey silhouette keyed on pixel (1, 1); the pixels before
// it meet no key and become grey, pixels the data does not reach keep the background colour.
// The RGB888 picture is returned scaled to `shownAs` without smoothing.
QImage decodeGfPicture(int width, int height, const QByteArray& data, QSize shownAs);

// Project files: run-length preview in blue tones on grey, centred on a square RGB888 canvas
// of side max(400, width, height), not scaled.
QImage decodeVoxalisPreview(int width, int height, const QByteArray& data);
