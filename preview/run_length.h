#pragma once

#include "preview_data.h"
#include "sampled_canvas.h"

#include <functional>

// The 16-bit run-length pictures of the DLP family and the project files: 5-6-5 colour words;
// bit 5 (green's lowest bit) also says that the next word is a run word, whose low 12 bits
// hold the run length minus one.
constexpr quint16 kRunFlag = 0x0020;
constexpr quint16 kRunLengthMask = 0x0FFF;

// Colour of the pixels of one colour word; `first` is true for word 0 only. Every later call
// for the same word must give the same colour.
using RunColour = std::function<QRgb(quint16 word, bool first)>;

// Paints the words of `data` (an odd last byte belongs to no word) onto `canvas`: pixel n goes
// to column n % width + xOffset, row n / width + yOffset. Pixels outside the canvas are
// dropped, and the data below the canvas is never read. A run flag on the last word paints
// that one pixel. False when the data could not be read.
bool paintRunLength16(const PreviewData& data, int width, int xOffset, int yOffset,
                      SampledCanvas& canvas, const RunColour& colourOf);
