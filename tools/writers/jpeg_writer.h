#pragma once

#include <QByteArray>

// A grey progressive JPEG of width x height pixels: its DC scan, then `acScans` scans of all
// AC coefficients, each of nothing but end-of-band runs. Decoders warn about every scan after
// the first of the same coefficients and decode it all the same, once over the whole picture,
// so a few bytes per scan stand for a pass over every block.
QByteArray progressiveJpeg(int width, int height, int acScans);
