#include "make_picture.h"

#include "log.h"
#include "preview_picture.h"
#include "preview_suffix.h"
#include "render_picture.h"

#include <QFileInfo>

namespace {

void logRefusal(int number, const QString& reason, const QString& path) {
    writeLog(kInfoLabel + logLocation(QStringLiteral("makePicture"), number) +
             QStringLiteral("%1\n%2").arg(reason, path));
}

} // namespace

QImage makePicture(const QString& sourcePath, int size) {
    const QFileInfo info(sourcePath);
    if (!info.isFile()) {
        logRefusal(1, QStringLiteral("not a regular file"), sourcePath);
        return {};
    }
    if (!info.isReadable()) {
        logRefusal(2, QStringLiteral("the file cannot be read"), sourcePath);
        return {};
    }
    if (takesPreviewPath(sourcePath)) {
        PreviewOutcome outcome = PreviewOutcome::Refused;
        const QImage preview = previewPicture(sourcePath, size, &outcome);
        if (outcome != PreviewOutcome::Model) {
            return preview;
        }
    }
    return renderPicture(sourcePath, size);
}
