#pragma once

#include "preview_data.h"

#include <QImage>
#include <QSize>

#include <functional>
#include <vector>

// A source picture that is only ever seen scaled to `shownAs` without smoothing. Nearest-
// neighbour scaling reads one source pixel for each shown pixel, so only the shown pixels are
// stored: a 10,000 x 10,000 preview costs a 400 x 400 image instead of 300 MB, and the result
// equals scaling the whole picture with Qt::FastTransformation pixel for pixel. With `shownAs`
// equal to the source size it is the plain picture. Qt picks its sample positions by the
// format of the picture it scales, so the canvas is told which format the whole picture has.
class SampledCanvas {
public:
    // Every pixel `background`, in `shownFormat` (RGB888 or RGB32, opaque either way). Null
    // when the shown image cannot be allocated.
    SampledCanvas(QSize source, QSize shownAs, QRgb background,
                  QImage::Format scaledFormat = QImage::Format_RGB888,
                  QImage::Format shownFormat = QImage::Format_RGB888);

    bool isNull() const { return shown_.isNull(); }
    int width() const { return sourceWidth_; }
    int height() const { return sourceHeight_; }

    // Whether any shown row reads source row `row`, which lies inside the picture.
    bool showsRow(qint64 row) const {
        const auto r = static_cast<size_t>(row);
        return rows_.firstShown[r] != rows_.firstShown[r + 1];
    }

    // Paints source row `row` from column `first` up to, not including, `end`; parts outside
    // the picture are dropped.
    void fill(qint64 row, qint64 first, qint64 end, QRgb colour);

    // The shown image is also addressed directly, with the source pixel each shown pixel reads.
    int sourceColumnOf(int shownColumn) const { return columns_.sourceOf[shownColumn]; }
    int sourceRowOf(int shownRow) const { return rows_.sourceOf[shownRow]; }
    void setShown(int shownColumn, int shownRow, QRgb colour);

    // Sets the pixels of shown row `shownRow` from the source row that starts at byte
    // `rowStart` of `data`: each shown pixel becomes colourOf(source column, its `pixelBytes`
    // bytes). Only the columns shown are read, in pieces of at most kPreviewPieceSize; pixels
    // beyond the data keep their colour. False when the data could not be read.
    using PixelColour = std::function<QRgb(int column, const uchar* pixel)>;
    bool paintShownRow(int shownRow, const PreviewData& data, qint64 rowStart, int pixelBytes,
                       const PixelColour& colourOf);

    const QImage& image() const { return shown_; }

private:
    // One axis of the scaling: the source line each shown line reads, and the shown lines
    // reading source line s, which are shown[firstShown[s]] up to shown[firstShown[s + 1]].
    struct Axis {
        std::vector<int> sourceOf;
        std::vector<int> firstShown;
        std::vector<int> shown;
    };
    static Axis axisFrom(std::vector<int> sourceOf, int sourceLength);

    // Sets pixel `column` of a shown line to the opaque `colour`.
    void put(uchar* line, int column, QRgb colour) const;

    int sourceWidth_;
    int sourceHeight_;
    Axis columns_;
    Axis rows_;
    QImage shown_;
    bool rgb32_;
};
