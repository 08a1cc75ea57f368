#include "canvas.h"
#include "jpeg_scans.h"
#include "opc_package.h"
#include "preview_constants.h"
#include "readers.h"

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
// A progressive JPEG is decoded over the whole picture once per scan: encoders write ten or so,
// and 64 scans of 4096 x 4096 pixels still decode in about a second.
constexpr int kMostJpegScans = 64;

} // namespace

ReaderResult readThreeMf(const QString& path, const PreviewTarget& target) {
    // A thumbnail that cannot be used still leaves the model to be drawn.
    const auto unusable = [&](int number, const QString& message) {
        return ReaderResult::modelInstead(located(kOperation, number, onFile(message, path)));
    };
    OpcPackage package(path);
    if (!package.isReadable()) {
        return ReaderResult::refused(located(kOperation, 1, onFile(package.problem(), path)));
    }
    const QString part = package.thumbnailPart();
    QByteArray bytes;
    if (part.isEmpty() || !package.readPart(part, kThumbnailPartLimit, bytes)) {
        return unusable(2, part.isEmpty() ? QStringLiteral("the package has no thumbnail")
                                          : package.problem());
    }
    QBuffer buffer(&bytes);
    QImageReader reader(&buffer);
    const QByteArray format = reader.format();
    const QSize declared = reader.size();
    if (format != "png" && format != "jpeg") {
        return unusable(3, QStringLiteral("the thumbnail is no PNG or JPEG"));
    }
    if (!declared.isValid() || declared.width() > kLargestThumbnailSide ||
        declared.height() > kLargestThumbnailSide) {
        return unusable(4, QStringLiteral("the thumbnail declares %1 x %2 pixels")
                               .arg(declared.width())
                               .arg(declared.height()));
    }
    const int scans = format == "jpeg" ? jpegScanCount(bytes) : 1;
    if (scans < 1 || scans > kMostJpegScans) {
        return unusable(6, scans < 1
                               ? QStringLiteral("the thumbnail's JPEG is damaged")
                               : QStringLiteral("the thumbnail's JPEG has %1 scans").arg(scans));
    }
    const QImage preview = reader.read();
    if (preview.isNull() || preview.size() != declared) {
        return unusable(5, QStringLiteral("the thumbnail cannot be decoded"));
    }
    // Plate pictures are often transparent around the plate: they go onto the background
    // that every preview shows, since the cached picture has no alpha.
    QImage opaque(preview.size(), QImage::Format_RGB32);
    opaque.fill(kBackgroundColour);
    QPainter(&opaque).drawImage(0, 0, preview);
    const int side = target.shownSide(qMax(opaque.width(), opaque.height()));
    const QImage canvas = centredOnSquare(scaledToFit(opaque, side), side, kBackgroundColour);
    return ReaderResult::decoded(canvas);
}
