#include "myfile.h"

#include "cache_database.h"
#include "log.h"
#include "source_stamp.h"
#include "statements.h"
#include "thumbnail_table.h"

#include <QDir>

namespace {

// The first bytes of every PNG file.
constexpr char kPngSignature[] = "\x89PNG\r\n\x1a\n";
constexpr qint64 kPngSignatureSize = sizeof(kPngSignature) - 1;

// A row's picture counts only as an absolute path to a PNG: the error marker and the stale
// marker "1" of older versions must never match a stray file in the host's working directory, and a
// picture cut short by a full disk must be made again. Only the signature is read; the check stays
// cheap.
bool pictureExists(const QString& thumPath) {
    if (!QFileInfo(thumPath).isAbsolute()) {
        return false;
    }
    QFile picture(thumPath);
    return picture.open(QIODevice::ReadOnly) &&
           picture.read(kPngSignatureSize) == QByteArray(kPngSignature, kPngSignatureSize);
}

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
    const QString databaseFile = dbDir + QStringLiteral("/thumbnail.db");
    QString error;
    switch (openCacheDatabaseFile(databaseFile, error)) {
    case CacheOpen::NotOpened:
        writeLog(kInfoLabel + error);
        dbReady = false;
        return;
    case CacheOpen::Renewed:
        writeLog(kInfoLabel + logLocation(QStringLiteral("myFile::openCacheDatabase"), 3) +
                 QStringLiteral("thumbnail database is damaged, moved aside\n") + databaseFile +
                 QStringLiteral(".damaged"));
        break;
    case CacheOpen::ReadOnly:
        writeLog(kInfoLabel + logLocation(QStringLiteral("myFile::openCacheDatabase"), 6) +
                 QStringLiteral("thumbnail cache is read-only, only its pictures are served\n") +
                 databaseFile);
        dbWritable = false;
        break;
    case CacheOpen::Opened:
        break;
    }
    const Written created = createThumbnailTable();
    if (created == Written::Busy) {
        writeLog(kInfoLabel + logLocation(QStringLiteral("myFile::openCacheDatabase"), 4) +
                 QStringLiteral("thumbnail database is busy\n") + filePath);
    }
    dbReady = created == Written::Done;
}

void myFile::checkFreshness() {
    // A picture that could not be recorded is not worth making.
    if (!dbReady || !dbWritable) {
        return;
    }
    const SourceStamp present = stampOf(filePath);
    rememberCheckedStamp(filePath, present);
    const Lookup found = lookupThumbnail(filePath, statements::kFreshnessLookup);
    if (found.status != LookupStatus::Found) {
        needsThumbnail = true;
        return;
    }
    const ThumbnailRow& row = found.row;
    // A file edited or replaced at the same size still has another time, and one copied in
    // with its old time another size or change time; an edit within the same second has
    // another change time too. An error row is tried again once its file changed.
    const std::optional<FileChangeTimes> changes = lookupSourceChanges(filePath);
    if (row.fileTime != present.time || row.fileSize != present.size ||
        (changes && !(*changes == present.changes))) {
        needsThumbnail = true;
        return;
    }
    needsThumbnail = row.thumPath != kErrorThumbPath && !pictureExists(row.thumPath);
}
