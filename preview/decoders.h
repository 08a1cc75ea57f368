#pragma once

// The byte-level decoders of the sliced formats, apart from file access and the cache, so
// tests and fuzzers can run them on bytes alone. Each reads only the data its picture shows
// and returns a null image when its picture cannot be allocated or the data cannot be read.

#include "preview_data.h"

#include <QImage>
#include <QSize>

// DLP family: run-length preview (sides 1 to 10,000) as a grey silhouette keyed on word 0,
// centred on a square RGB888 canvas of the longer side, which is returned scaled to `shownAs`
// without smoothing.
QImage decodeDlpPreview(int width, int height, const PreviewData& data, QSize shownAs);

// Largest photons preview side: the sampled canvas keeps a table entry per source line, and a
// longer side would cost memory for a sliver no printer's screen shows (the other side being
// under 4,000 pixels within the size limit).
constexpr int kMaxPhotonsSide = 65536;

// Photons: width x height little-endian 5-6-5 pixels, red in the low bits, returned scaled to
// `shownAs` without smoothing as Qt scales an RGB32 picture. The caller guarantees
// 2 x width x height bytes and sides of at most kMaxPhotonsSide.
QImage decodePhotonsPreview(int width, int height, const PreviewData& pixels, QSize shownAs);

// GF: three 16-bit words per pixel, grey silhouette keyed on pixel (1, 1) where the picture
// has that pixel; the pixels before it meet no key and become grey, pixels the data does not
// reach keep the background colour. The RGB888 picture is returned scaled to `shownAs`
// without smoothing.
QImage decodeGfPicture(int width, int height, const PreviewData& data, QSize shownAs);

// Project files: run-length preview in blue tones on grey, centred on a square RGB888 canvas
// of side max(400, width, height), which is returned scaled to `shownAs` without smoothing,
// as an RGB32 picture.
QImage decodeVoxalisPreview(int width, int height, const PreviewData& data, QSize shownAs);
