#include "my_file_thumbnail.h"

#include "db_mutex.h"
#include "log.h"
#include "picture_store.h"
#include "placeholder_images.h"
#include "thumbnail_table.h"

#include <QFileInfo>
#include <QMutexLocker>

myFileThumbnail::myFileThumbnail(const QString& sourcePath_, QString dataRoot_)
    : sourcePath(sourcePath_), dataRoot(std::move(dataRoot_)) {
    const QString suffix = QFileInfo(sourcePath).suffix();
    const auto is = [&suffix](const char* name) {
        return suffix.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
    };
    if (is("kvrdlp") || is("lqx") || is("photon")) {
        headerKind = 0;
        loadKvrdlpAndLqx();
    } else if (is("fdg")) {
        headerKind = 1;
        loadKvrdlpAndLqx();
    }
}

void myFileThumbnail::dbDeal() {
    const QString picture =
        choosePicturePath(dataRoot + QStringLiteral("/db/thumbnailImage"), sourcePath);
    if (picture.isEmpty()) {
        return;
    }
    if (!savePicture(outputImage, picture)) {
        writeLog(kInfoLabel + QStringLiteral("image cannot save---") +
                 logLocation(QStringLiteral("myFileThumbnail::dbDeal"), 1032) + picture);
        return;
    }
    recordPicture(picture, sourcePath, OnLookupFailure::Insert);
}

void myFileThumbnail::dbDealError() {
    const ThumbnailRow row{kErrorThumbPath, 0, sourcePath, 0,
                           static_cast<quint32>(QFileInfo(sourcePath).size())};
    QMutexLocker lock(&dbMutex);
    writeThumbnailRow(row, OnLookupFailure::Insert);
}

void myFileThumbnail::logReport(const char* operation, int number, const QString& body) {
    writeLog(kInfoLabel + logLocation(QLatin1String(operation), number) + body);
}

QString myFileThumbnail::onFile(const QString& message) const {
    return QStringLiteral("%1\n%2").arg(message, sourcePath);
}

void myFileThumbnail::recordDamaged(const char* operation, int number, const QString& body) {
    dbDealError();
    logReport(operation, number, body);
    makeDamagedFileImage(outputImage);
    dbDeal();
}
