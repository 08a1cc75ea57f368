#include "sampled_canvas.h"

#include <QColor>
#include <QTransform>

#include <numeric>

namespace {

// Qt's nearest-neighbour sample positions come out of QImage::transformed's fixed-point
// arithmetic, which a closed formula misses for many sizes, and rows round differently from
// columns. Rather than restating it, each axis is measured: a one-line probe along that axis,
// whose pixels hold their own index, is scaled by the same factor, and the indices it comes
// back with are the source lines that scaling reads. The positions along one axis do not
// depend on the other axis, whichever way Qt draws (the tests compare whole pictures on every
// path).
std::vector<int> probeAxis(int sourceLength, int shownLength, Qt::Orientation axis,
                           QImage::Format format) {
    std::vector<int> sourceOf(static_cast<size_t>(shownLength));
    if (sourceLength == shownLength) {
        std::iota(sourceOf.begin(), sourceOf.end(), 0);
        return sourceOf;
    }
    const bool horizontal = axis == Qt::Horizontal;
    QImage probe(horizontal ? sourceLength : 1, horizontal ? 1 : sourceLength, format);
    for (int i = 0; i < sourceLength; ++i) {
        const QRgb index = 0xFF000000u | (static_cast<QRgb>(i) & 0xFFFFFFu);
        probe.setPixel(horizontal ? i : 0, horizontal ? 0 : i, index);
    }
    const qreal factor = static_cast<qreal>(shownLength) / sourceLength;
    const QImage scaled = probe.transformed(horizontal ? QTransform::fromScale(factor, 1.0)
                                                       : QTransform::fromScale(1.0, factor),
                                            Qt::FastTransformation);
    for (int i = 0; i < shownLength; ++i) {
        const QRgb read = horizontal ? scaled.pixel(i, 0) : scaled.pixel(0, i);
        sourceOf[static_cast<size_t>(i)] =
            qBound(0, static_cast<int>(read & 0xFFFFFFu), sourceLength - 1);
    }
    return sourceOf;
}

} // namespace

SampledCanvas::Axis SampledCanvas::axisFrom(std::vector<int> sourceOf, int sourceLength) {
    Axis axis;
    axis.firstShown.assign(static_cast<size_t>(sourceLength) + 1, 0);
    for (const int source : sourceOf) {
        ++axis.firstShown[static_cast<size_t>(source) + 1];
    }
    std::partial_sum(axis.firstShown.begin(), axis.firstShown.end(), axis.firstShown.begin());
    axis.shown.resize(sourceOf.size());
    std::vector<int> next(axis.firstShown.begin(), axis.firstShown.end() - 1);
    for (size_t i = 0; i < sourceOf.size(); ++i) {
        axis.shown[static_cast<size_t>(next[static_cast<size_t>(sourceOf[i])]++)] =
            static_cast<int>(i);
    }
    axis.sourceOf = std::move(sourceOf);
    return axis;
}

SampledCanvas::SampledCanvas(QSize source, QSize shownAs, QRgb background,
                             QImage::Format scaledFormat, QImage::Format shownFormat)
    : sourceWidth_(source.width()), sourceHeight_(source.height()), shown_(shownAs, shownFormat),
      rgb32_(shownFormat == QImage::Format_RGB32) {
    Q_ASSERT(shownFormat == QImage::Format_RGB888 || shownFormat == QImage::Format_RGB32);
    if (shown_.isNull()) {
        return;
    }
    shown_.fill(QColor::fromRgb(background));
    columns_ = axisFrom(probeAxis(source.width(), shownAs.width(), Qt::Horizontal, scaledFormat),
                        source.width());
    rows_ = axisFrom(probeAxis(source.height(), shownAs.height(), Qt::Vertical, scaledFormat),
                     source.height());
}

void SampledCanvas::fill(qint64 row, qint64 first, qint64 end, QRgb colour) {
    if (row < 0 || row >= sourceHeight_) {
        return;
    }
    first = qMax<qint64>(first, 0);
    end = qMin<qint64>(end, sourceWidth_);
    if (first >= end) {
        return;
    }
    const auto r = static_cast<size_t>(row);
    const int firstColumn = columns_.firstShown[static_cast<size_t>(first)];
    const int endColumn = columns_.firstShown[static_cast<size_t>(end)];
    for (int k = rows_.firstShown[r]; k < rows_.firstShown[r + 1]; ++k) {
        uchar* line = shown_.scanLine(rows_.shown[static_cast<size_t>(k)]);
        for (int j = firstColumn; j < endColumn; ++j) {
            put(line, columns_.shown[static_cast<size_t>(j)], colour);
        }
    }
}

void SampledCanvas::put(uchar* line, int column, QRgb colour) const {
    if (rgb32_) {
        reinterpret_cast<QRgb*>(line)[column] = 0xFF000000u | colour;
        return;
    }
    uchar* pixel = line + 3 * column;
    pixel[0] = static_cast<uchar>(qRed(colour));
    pixel[1] = static_cast<uchar>(qGreen(colour));
    pixel[2] = static_cast<uchar>(qBlue(colour));
}

void SampledCanvas::setShown(int shownColumn, int shownRow, QRgb colour) {
    put(shown_.scanLine(shownRow), shownColumn, colour);
}

bool SampledCanvas::paintShownRow(int shownRow, const PreviewData& data, qint64 rowStart,
                                  int pixelBytes, const PixelColour& colourOf) {
    const int shownWidth = shown_.width();
    const auto byteOf = [&](int shownColumn) {
        return rowStart + qint64{columns_.sourceOf[static_cast<size_t>(shownColumn)]} * pixelBytes;
    };
    QByteArray piece;
    qint64 pieceStart = 0;
    for (int x = 0; x < shownWidth; ++x) {
        const qint64 at = byteOf(x);
        if (at + pixelBytes > data.size()) {
            // Columns only grow: the rest of the row lies beyond the data too.
            return true;
        }
        if (at < pieceStart || at + pixelBytes > pieceStart + piece.size()) {
            // One piece takes the next shown columns as far as they fit, and skips the
            // source columns between them only when they do not.
            int last = x;
            while (last + 1 < shownWidth &&
                   byteOf(last + 1) + pixelBytes - at <= kPreviewPieceSize) {
                ++last;
            }
            pieceStart = at;
            if (!data.read(at, byteOf(last) + pixelBytes - at, piece) ||
                piece.size() < pixelBytes) {
                return false;
            }
        }
        const auto* pixel = reinterpret_cast<const uchar*>(piece.constData()) + (at - pieceStart);
        setShown(x, shownRow, colourOf(columns_.sourceOf[static_cast<size_t>(x)], pixel));
    }
    return true;
}
