#include "myfile.h"

#include "cache_database.h"
#include "log.h"
#include "statements.h"
#include "thumbnail_table.h"

#include <QDir>

namespace {

// A row's picture counts only as an absolute path that exists: the stale marker "1" and the
// error marker must never match a stray file in the host's working directory.
bool pictureExists(const QString& thumPath) {
    const QFileInfo picture(thumPath);
    return picture.isAbsolute() && picture.exists();
}

// A row stays valid while its source was stamped at most this many seconds after its picture
// was saved; coarse file-system clocks and copies made in the same moment fall inside it.
constexpr qint64 kFreshnessSlackSeconds = 30;

} // namespace

myFile::myFile(const QString& filePath_, const QString& dataRoot_)
    : filePath(filePath_), dataRoot(dataRoot_), dbDir(dataRoot_ + QStringLiteral("/db")),
      fileInfo(filePath_), imageName(fileInfo.baseName() + QLatin1Char('_') + fileInfo.suffix() +
                                     QStringLiteral(".png")),
      imageDir(dbDir + QStringLiteral("/thumbnailImage")) {
    createFolders();
    openCacheDatabase();
    checkFreshness();
}

void myFile::createFolders() {
    QDir dir;
    // The data root's parent, the generic data location, may itself be missing on a fresh
    // Linux account; the folders below the root are created one level at a time.
    if (!dir.exists(dataRoot) && !dir.mkpath(dataRoot)) {
        writeLog(QStringLiteral("dir cannot create    :    ") + dataRoot);
    }
    for (const QString& folder : {dbDir, imageDir}) {
        if (!dir.exists(folder) && !dir.mkdir(folder)) {
            writeLog(QStringLiteral("dir cannot create    :    ") + folder);
        }
    }
}

void myFile::openCacheDatabase() {
    QString error;
    if (!openCacheDatabaseFile(dbDir + QStringLiteral("/thumbnail.db"), error)) {
        writeLog(kInfoLabel + error);
        dbReady = false;
        return;
    }
    if (!createThumbnailTable()) {
        dbReady = false;
    }
}

void myFile::checkFreshness() {
    if (!dbReady) {
        return;
    }
    const Lookup found = lookupThumbnail(filePath, statements::kFreshnessLookup);
    if (found.status != LookupStatus::Found) {
        needsThumbnail = true;
        return;
    }
    const ThumbnailRow& row = found.row;
    const quint32 currentSize = static_cast<quint32>(QFile(filePath).size());
    if (row.thumPath == kErrorThumbPath) {
        return;
    }
    const bool exists = pictureExists(row.thumPath);
    if (qint64{row.fileTime} - qint64{row.thumTime} > kFreshnessSlackSeconds || !exists) {
        needsThumbnail = true;
    }
    if (exists && currentSize != row.fileSize) {
        markStale(filePath);
    }
}
