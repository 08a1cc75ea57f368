#include "picture_store.h"

#include "db_mutex.h"
#include "saved_picture_memo.h"
#include "windows_api.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QMutexLocker>
#include <QSaveFile>

namespace {

// Another process may create the same bucket at the same moment; that is no failure.
bool ensureFolder(const QString& path) {
    return QDir().mkdir(path) || QFileInfo(path).isDir();
}

QString bucketFolder(const QString& imageDir, int number) {
    return QStringLiteral("%1/%2").arg(imageDir).arg(number);
}

quint32 secondsOf(const QFileInfo& info) {
    return static_cast<quint32>(
        info.fileTime(QFileDevice::FileModificationTime).toSecsSinceEpoch());
}

std::mutex& pictureMutex() {
    static std::mutex shared;
    return shared;
}

} // namespace

PictureStoreLock::PictureStoreLock(const QString& imageDir)
    : threads_(pictureMutex()),
      // A lock on a file that stays, not a lock file made and removed each time: creating and
      // deleting a file per picture costs as much as decoding the preview. A folder where no
      // lock can be taken cannot take the picture either; that failure is reported by the save.
      processes_(lockFileExclusively(QFile::encodeName(imageDir + QStringLiteral("/.lock")))) {}

PictureStoreLock::~PictureStoreLock() {
    unlockFile(processes_);
}

QString chooseBucket(const QString& imageDir) {
    const int buckets =
        QDir(imageDir).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Unsorted).size();
    if (buckets == 0) {
        const QString first = bucketFolder(imageDir, 0);
        return ensureFolder(first) ? first : QString();
    }
    const QString last = bucketFolder(imageDir, buckets - 1);
    const int pictures = countFolderFiles(QFile::encodeName(last).constData());
    const QString bucket = pictures >= kBucketSize ? bucketFolder(imageDir, buckets) : last;
    return ensureFolder(bucket) ? bucket : QString();
}

QString choosePicturePath(const QString& imageDir, const QString& sourcePath) {
    const QString bucket = chooseBucket(imageDir);
    if (bucket.isEmpty()) {
        return {};
    }
    const QFileInfo source(sourcePath);
    const QString tail = QLatin1Char('_') + source.suffix() + QStringLiteral(".png");
    const QString plain = bucket + QLatin1Char('/') + source.baseName() + tail;
    if (!QFileInfo::exists(plain)) {
        return plain;
    }
    QMutexLocker lock(&dbMutex);
    const QString owner = lookupPictureOwner(plain);
    lock.unlock();
    if (owner.isEmpty() || owner == sourcePath) {
        return plain;
    }
    // A folder of same-named files is common; the hash keeps their pictures apart and gives a
    // source the same name every time.
    const QByteArray hash =
        QCryptographicHash::hash(sourcePath.toUtf8(), QCryptographicHash::Sha1).toHex().left(10);
    return bucket + QLatin1Char('/') + source.baseName() + QLatin1Char('~') +
           QString::fromLatin1(hash) + tail;
}

bool savePicture(const QImage& image, const QString& picturePath) {
    QSaveFile file(picturePath);
    if (image.isNull() || !file.open(QIODevice::WriteOnly)) {
        return false;
    }
    QImageWriter writer(&file, "png");
    if (!writer.write(image)) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        return false;
    }
    rememberSavedPicture(picturePath, image);
    return true;
}

void recordPicture(const QString& picturePath, const QString& sourcePath,
                   OnLookupFailure onFailure) {
    const QFileInfo source(sourcePath);
    const ThumbnailRow row{picturePath, secondsOf(QFileInfo(picturePath)), sourcePath,
                           secondsOf(source), static_cast<quint32>(source.size())};
    QMutexLocker lock(&dbMutex);
    writeThumbnailRow(row, onFailure);
}
