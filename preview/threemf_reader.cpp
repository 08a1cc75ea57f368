#include "canvas.h"
#include "my_file_thumbnail.h"
#include "opc_package.h"
#include "preview_constants.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>

namespace {

constexpr char kOperation[] = "myFileThumbnail::loadThreeMf";
// Slicers store plate pictures of a few hundred pixels; a part of megabytes or a picture
// larger than this is no thumbnail, and its decoded pixels would cost far more than its
// compressed bytes (a PNG of 100,000 x 100,000 pixels deflates to a few kilobytes).
constexpr qint64 kThumbnailPartLimit = 16 << 20;
constexpr int kLargestThumbnailSide = 4096;

} // namespace

void myFileThumbnail::loadThreeMf() {
    OpcPackage package(sourcePath);
    if (!package.isReadable()) {
        logReport(kOperation, 1, onFile(package.problem()));
        return;
    }
    const QString part = package.thumbnailPart();
    QByteArray bytes;
    if (part.isEmpty() || !package.readPart(part, kThumbnailPartLimit, bytes)) {
        recordDamaged(kOperation, 2,
                      onFile(part.isEmpty() ? QStringLiteral("the package has no thumbnail")
                                            : package.problem()));
        return;
    }
    QBuffer buffer(&bytes);
    QImageReader reader(&buffer);
    const QByteArray format = reader.format();
    const QSize declared = reader.size();
    if (format != "png" && format != "jpeg") {
        recordDamaged(kOperation, 3, onFile(QStringLiteral("the thumbnail is no PNG or JPEG")));
        return;
    }
    if (!declared.isValid() || declared.width() > kLargestThumbnailSide ||
        declared.height() > kLargestThumbnailSide) {
        recordDamaged(kOperation, 4,
                      onFile(QStringLiteral("the thumbnail declares %1 x %2 pixels")
                                 .arg(declared.width())
                                 .arg(declared.height())));
        return;
    }
    previewImage = reader.read();
    if (previewImage.isNull() || previewImage.size() != declared) {
        recordDamaged(kOperation, 5, onFile(QStringLiteral("the thumbnail cannot be decoded")));
        return;
    }
    // Plate pictures are often transparent around the plate: they go onto the background
    // that every preview shows, since the cached picture has no alpha.
    QImage opaque(previewImage.size(), QImage::Format_RGB32);
    opaque.fill(kBackgroundColour);
    QPainter(&opaque).drawImage(0, 0, previewImage);
    const int side = shownSide(qMax(opaque.width(), opaque.height()));
    scaledImage = scaledToFit(opaque, side);
    const QImage canvas = centredOnSquare(scaledImage, side, kBackgroundColour);
    if (canvas.isNull()) {
        return;
    }
    outputImage = canvas;
    dbDeal();
}
