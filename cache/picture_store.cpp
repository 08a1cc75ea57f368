#include "picture_store.h"

#include "cache_database.h"
#include "db_mutex.h"
#include "log.h"
#include "saved_picture_memo.h"
#include "statements.h"
#include "windows_api.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QMutexLocker>
#include <QSaveFile>

#include <mutex>

namespace {

// The longest file name most file systems take, in bytes; NTFS counts UTF-16 units, never
// more of them than UTF-8 bytes.
constexpr int kLongestFileName = 255;

// Another process may create the same bucket at the same moment; that is no failure.
bool ensureFolder(const QString& path) {
    return QDir().mkdir(path) || QFileInfo(path).isDir();
}

QString bucketFolder(const QString& imageDir, int number) {
    return QStringLiteral("%1/%2").arg(imageDir).arg(number);
}

// A bucket's name is a number as the store writes it: no sign, no leading zero.
bool isBucketName(const QString& name) {
    bool ok = false;
    const int number = name.toInt(&ok);
    return ok && number >= 0 && QString::number(number) == name;
}

// `base` + `tail`, the base cut at a character boundary where the whole would pass the
// file-name limit; the tail stays whole, so cut names still differ where their tails do.
QString fitFileName(const QString& base, const QString& tail) {
    int room = kLongestFileName - tail.toUtf8().size();
    int end = 0;
    while (end < base.size()) {
        const char16_t unit = base.at(end).unicode();
        const bool pair = QChar::isHighSurrogate(unit) && end + 1 < base.size() &&
                          base.at(end + 1).isLowSurrogate();
        room -= pair ? 4 : unit < 0x80 ? 1 : unit < 0x800 ? 2 : 3;
        if (room < 0) {
            break;
        }
        end += pair ? 2 : 1;
    }
    return base.left(end) + tail;
}

quint32 secondsOf(const QFileInfo& info) {
    return static_cast<quint32>(
        info.fileTime(QFileDevice::FileModificationTime).toSecsSinceEpoch());
}

std::mutex& pictureMutex() {
    static std::mutex shared;
    return shared;
}

// Held from choosing a picture's name to writing its file, by the threads of this process in
// turn and by every host process working on the same cache.
class PictureStoreLock {
public:
    explicit PictureStoreLock(const QString& imageDir)
        : threads_(pictureMutex()),
          // A lock on a file that stays, not a lock file made and removed each time: creating
          // and deleting a file per picture costs as much as decoding the preview. A folder
          // where no lock can be taken cannot take the picture either; that failure is
          // reported by the save.
          processes_(lockFileExclusively(
              QFile::encodeName(imageDir + QStringLiteral("/.lock")).constData(),
              static_cast<DWORD>(cacheWaitMilliseconds()))) {}
    ~PictureStoreLock() { unlockFile(processes_); }
    PictureStoreLock(const PictureStoreLock&) = delete;
    PictureStoreLock& operator=(const PictureStoreLock&) = delete;

    bool timedOut() const { return processes_ == kLockTimedOut; }

private:
    std::lock_guard<std::mutex> threads_;
    std::intptr_t processes_;
};

QString recordedPicture(const QString& sourcePath) {
    QMutexLocker lock(&dbMutex);
    const Lookup found = lookupThumbnail(sourcePath, statements::kLookup);
    return found.status == LookupStatus::Found ? found.row.thumPath : QString();
}

} // namespace

QString chooseBucket(const QString& imageDir) {
    int buckets = 0;
    for (const QString& name :
         QDir(imageDir).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Unsorted)) {
        buckets += isBucketName(name) ? 1 : 0;
    }
    if (buckets == 0) {
        const QString first = bucketFolder(imageDir, 0);
        return ensureFolder(first) ? first : QString();
    }
    const QString last = bucketFolder(imageDir, buckets - 1);
    const int pictures = countFolderFiles(QFile::encodeName(last).constData());
    const QString bucket = pictures >= kBucketSize ? bucketFolder(imageDir, buckets) : last;
    return ensureFolder(bucket) ? bucket : QString();
}

QString picturePathIn(const QString& bucket, const QString& sourcePath,
                      const QString& recordedPicture) {
    const QFileInfo source(sourcePath);
    const QString tail = QLatin1Char('_') + source.suffix() + QStringLiteral(".png");
    const QString plain = bucket + QLatin1Char('/') + fitFileName(source.baseName(), tail);
    // A picture there that the source's row does not name is another source's, recorded or
    // about to be: its host lets the folder go before it writes the row. Anything but a file
    // is nobody's picture; the save reports it.
    if (plain == recordedPicture || !QFileInfo(plain).isFile()) {
        return plain;
    }
    // A folder of same-named files is common; the hash keeps their pictures apart and gives a
    // source the same name every time.
    const QByteArray hash =
        QCryptographicHash::hash(sourcePath.toUtf8(), QCryptographicHash::Sha1).toHex().left(10);
    return bucket + QLatin1Char('/') +
           fitFileName(source.baseName(), QLatin1Char('~') + QString::fromLatin1(hash) + tail);
}

PictureSave savePictureFor(const QImage& image, const QString& imageDir, const QString& sourcePath,
                           QString& picturePath) {
    picturePath.clear();
    // Looked up before the folder is locked: dbMutex may be held by a thread that waits for
    // the database, and other hosts would wait for it through the folder.
    const QString recorded = recordedPicture(sourcePath);
    const PictureStoreLock lock(imageDir);
    if (lock.timedOut()) {
        writeLog(kInfoLabel + logLocation(QStringLiteral("savePictureFor"), 1) +
                 QStringLiteral("thumbnail folder is locked\n") + sourcePath);
        return PictureSave::GaveUp;
    }
    const QString bucket = chooseBucket(imageDir);
    if (bucket.isEmpty()) {
        return PictureSave::NoBucket;
    }
    picturePath = picturePathIn(bucket, sourcePath, recorded);
    return savePicture(image, picturePath) ? PictureSave::Saved : PictureSave::NotWritten;
}

bool savePicture(const QImage& image, const QString& picturePath) {
    QSaveFile file(picturePath);
    if (image.isNull() || !file.open(QIODevice::WriteOnly)) {
        return false;
    }
    QImageWriter writer(&file, "png");
    // A thumbnail fits in the file's write buffer, so a full disk shows only when the buffer
    // is flushed; commit() would put the short file in place regardless.
    if (!writer.write(image) || !file.flush() || file.error() != QFileDevice::NoError) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        return false;
    }
    rememberSavedPicture(picturePath, image);
    return true;
}

bool recordPicture(const QString& picturePath, const QString& sourcePath,
                   OnLookupFailure onFailure) {
    const QFileInfo source(sourcePath);
    const ThumbnailRow row{picturePath, secondsOf(QFileInfo(picturePath)), sourcePath,
                           secondsOf(source), static_cast<quint32>(source.size())};
    QMutexLocker lock(&dbMutex);
    const Written written = writeThumbnailRow(row, onFailure);
    lock.unlock();
    if (written == Written::Busy) {
        QFile::remove(picturePath);
        writeLog(kInfoLabel + logLocation(QStringLiteral("recordPicture"), 2) +
                 QStringLiteral("thumbnail database is busy\n") + sourcePath);
    }
    return written == Written::Done;
}
