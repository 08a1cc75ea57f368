#include "jpeg_scans.h"
#include "opc_package.h"
#include "readers.h"

#include <QBuffer>
#include <QImageReader>

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

// One picture part decoded in its own shape, or the line that says why it cannot be used.
struct PartPicture {
    QImage picture;
    ReaderReport unusable;
};

PartPicture pictureOf(OpcPackage& package, const QString& part, const QString& path) {
    const auto unusable = [&](int number, const QString& message) {
        return PartPicture{{}, located(kOperation, number, onFile(message, path))};
    };
    QByteArray bytes;
    if (!package.readPart(part, kThumbnailPartLimit, bytes)) {
        return unusable(2, package.problem());
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
    QImage picture = reader.read();
    if (picture.isNull() || picture.size() != declared) {
        return unusable(5, QStringLiteral("the thumbnail cannot be decoded"));
    }
    return PartPicture{std::move(picture), {}};
}

} // namespace

ReaderResult readThreeMfThumbnail(const QString& path, const PreviewTarget&) {
    OpcPackage package(path);
    if (!package.isReadable()) {
        return ReaderResult::refused(located(kOperation, 1, onFile(package.problem(), path)));
    }
    const QStringList parts = package.pictureParts();
    if (parts.isEmpty()) {
        return ReaderResult::modelInstead(
            located(kOperation, 2, onFile(QStringLiteral("the package has no thumbnail"), path)));
    }
    // A plate picture that cannot be used gives way to the package thumbnail, and that one to
    // the model; the line says why the best of them was not shown.
    std::optional<ReaderReport> firstProblem;
    for (const QString& part : parts) {
        PartPicture found = pictureOf(package, part, path);
        if (!found.picture.isNull()) {
            // Plate pictures are transparent around the plate, and cover photos are of any
            // shape: both are shown as drawn.
            return ReaderResult::decodedInOwnShape(std::move(found.picture));
        }
        if (!firstProblem) {
            firstProblem = std::move(found.unusable);
        }
    }
    return ReaderResult::modelInstead(std::move(*firstProblem));
}
