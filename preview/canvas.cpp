#include "canvas.h"

#include <QColor>

QImage centredOnSquare(const QImage& picture, int minimumSide, QRgb margin) {
    const int side = qMax(minimumSide, qMax(picture.width(), picture.height()));
    QImage canvas(side, side, QImage::Format_RGB888);
    if (canvas.isNull()) {
        return canvas;
    }
    canvas.fill(QColor::fromRgb(margin));
    const int left = (side - picture.width()) / 2;
    const int top = (side - picture.height()) / 2;
    for (int y = 0; y < picture.height(); ++y) {
        uchar* row = canvas.scanLine(top + y) + 3 * left;
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb p = picture.pixel(x, y);
            row[3 * x] = static_cast<uchar>(qRed(p));
            row[3 * x + 1] = static_cast<uchar>(qGreen(p));
            row[3 * x + 2] = static_cast<uchar>(qBlue(p));
        }
    }
    return canvas;
}

QImage scaledToFit(const QImage& picture, int side) {
    return picture.scaled(side, side, Qt::KeepAspectRatio, Qt::FastTransformation);
}

QSize fittedSize(QSize source, int side) {
    // As QImage::scaled sizes it: no side below one pixel.
    const QSize fitted = source.scaled(side, side, Qt::KeepAspectRatio);
    return QSize(qMax(fitted.width(), 1), qMax(fitted.height(), 1));
}

QImage fittedInOwnShape(const QImage& picture, const PreviewTarget& target) {
    const QImage::Format format =
        picture.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32;
    const int side = target.shownSide(qMax(picture.width(), picture.height()));
    if (side == qMax(picture.width(), picture.height())) {
        return picture.convertToFormat(format);
    }
    const QSize fitted = fittedSize(picture.size(), side);
    return picture.scaled(fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .convertToFormat(format);
}
