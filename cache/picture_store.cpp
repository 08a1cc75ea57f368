#include "picture_store.h"

#include "cache_database.h"
#include "db_mutex.h"
#include "log.h"
#include "platform_services.h"
#include "saved_picture_memo.h"
#include "source_stamp.h"
#include "statements.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QMutexLocker>
#include <QSaveFile>

#include <algorithm>
#include <atomic>
#include <mutex>

namespace {

// The longest file name most file systems take, in bytes; NTFS counts UTF-16 units, never
// more of them than UTF-8 bytes. A picture is written through a temporary file beside it whose
// name is the picture's and ".XXXXXX", which must fit too, or no picture could be replaced.
constexpr int kLongestFileName = 255;
constexpr int kTemporarySuffix = 7;
constexpr int kLongestPictureName = kLongestFileName - kTemporarySuffix;

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
    int room = kLongestPictureName - tail.toUtf8().size();
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

std::mutex& pictureMutex() {
    static std::mutex shared;
    return shared;
}

// A holder that kept the folder past one wait is stuck (a stopped process, a hung host): the
// next pictures wait only this long for it, until the folder is had again.
constexpr int kStuckHolderWaitMilliseconds = 250;
std::atomic<bool> holderStuck{false};

std::uint32_t folderWaitMilliseconds() {
    const int wait = cacheWaitMilliseconds();
    return static_cast<std::uint32_t>(holderStuck ? std::min(wait, kStuckHolderWaitMilliseconds)
                                                  : wait);
}

// Held from choosing a picture's name to writing its row, by the threads of this process in
// turn and by every host process working on the same cache. dbMutex is taken inside it, never
// the other way round.
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
              folderWaitMilliseconds())) {
        holderStuck = processes_ == kLockTimedOut;
    }
    ~PictureStoreLock() { unlockFile(processes_); }
    PictureStoreLock(const PictureStoreLock&) = delete;
    PictureStoreLock& operator=(const PictureStoreLock&) = delete;

    bool timedOut() const { return processes_ == kLockTimedOut; }

private:
    std::lock_guard<std::mutex> threads_;
    std::intptr_t processes_;
};

// The bytes that tell paths apart: UTF-8, or for a path whose file name is no UTF-8 (lone
// surrogates, which UTF-8 cannot hold) the file system's own bytes.
QByteArray pathBytes(const QString& path) {
    return path.isValidUtf16() ? path.toUtf8() : QFile::encodeName(path);
}

Lookup rowOf(const QString& path, const char* text) {
    QMutexLocker lock(&dbMutex);
    return lookupThumbnail(path, text);
}

// Whether a picture's name leaves room for its temporary file; older versions made longer ones.
bool canBeReplaced(const QString& path) {
    return QFile::encodeName(QFileInfo(path).fileName()).size() <= kLongestPictureName;
}

// A picture the store made in one of imageDir's buckets, in a folder that is still there; a
// row may also name a picture outside, left by a cache elsewhere, which is not ours to touch.
bool isStoredPicture(const QString& imageDir, const QString& path) {
    const QFileInfo picture(path);
    const QFileInfo bucket(picture.path());
    return picture.isAbsolute() && path.endsWith(QStringLiteral(".png")) &&
           isBucketName(bucket.fileName()) &&
           QDir::cleanPath(bucket.path()) == QDir::cleanPath(imageDir) && bucket.isDir();
}

void logLockedFolder(const QString& sourcePath) {
    writeLog(kInfoLabel + logLocation(QStringLiteral("savePictureFor"), 1) +
             QStringLiteral("thumbnail folder is locked\n") + sourcePath);
}

// Writes a source's row, and its change times beside it, after its look-up, which stays true
// meanwhile: the caller holds the picture folder's lock, without which no row is written. A look-up
// that failed is made again, since the row it missed may be there. A busy database is logged.
Written recordRow(const ThumbnailRow& row, const FileChangeTimes& changes, LookupStatus recorded) {
    QMutexLocker database(&dbMutex);
    const Written written = recorded == LookupStatus::Failed
                                ? writeThumbnailRow(row, OnLookupFailure::Insert)
                                : writeThumbnailRow(row, recorded);
    // The row stands without its change times, as an older version's does: the next check
    // goes by time and size.
    if (written == Written::Done) {
        writeSourceChanges(row.filePath, changes);
    }
    database.unlock();
    if (written == Written::Busy) {
        writeLog(kInfoLabel + logLocation(QStringLiteral("recordPicture"), 2) +
                 QStringLiteral("thumbnail database is busy\n") + row.filePath);
    }
    return written;
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

QString picturePathIn(const QString& bucket, const QString& sourcePath) {
    const QFileInfo source(sourcePath);
    const QString tail = QLatin1Char('_') + source.suffix() + QStringLiteral(".png");
    const QString plain = bucket + QLatin1Char('/') + fitFileName(source.baseName(), tail);
    // Anything but a file is nobody's picture; the save reports it. A picture there that no row
    // names was left by a host stopped before its row: the next source to come takes it back.
    if (!QFileInfo(plain).isFile()) {
        return plain;
    }
    const Lookup owner = rowOf(plain, statements::kPictureLookup);
    if (owner.status == LookupStatus::Missing ||
        (owner.status == LookupStatus::Found && owner.row.filePath == sourcePath)) {
        return plain;
    }
    // A folder of same-named files is common; the hash keeps their pictures apart and gives a
    // source the same name every time.
    const QByteArray hash =
        QCryptographicHash::hash(pathBytes(sourcePath), QCryptographicHash::Sha1).toHex().left(10);
    return bucket + QLatin1Char('/') +
           fitFileName(source.baseName(), QLatin1Char('~') + QString::fromLatin1(hash) + tail);
}

PictureSave savePictureFor(const QImage& image, const QString& imageDir, const QString& sourcePath,
                           OnLookupFailure onFailure, QString& picturePath) {
    picturePath.clear();
    const PictureStoreLock lock(imageDir);
    if (lock.timedOut()) {
        logLockedFolder(sourcePath);
        return PictureSave::GaveUp;
    }
    const Lookup recorded = rowOf(sourcePath, statements::kLookup);
    if (recorded.status == LookupStatus::Failed && onFailure == OnLookupFailure::Skip) {
        return PictureSave::NotRecorded;
    }
    const QString previous =
        recorded.status == LookupStatus::Found ? recorded.row.thumPath : QString();
    // A source made again keeps its picture's place: the new one replaces the old at once, and
    // no folder holds a picture that its source no longer names. A name too long to replace
    // gives way to a new one, and goes once the row names that.
    const bool stored = isStoredPicture(imageDir, previous);
    if (stored && canBeReplaced(previous)) {
        picturePath = previous;
    } else {
        const QString bucket = chooseBucket(imageDir);
        if (bucket.isEmpty()) {
            return PictureSave::NoBucket;
        }
        picturePath = picturePathIn(bucket, sourcePath);
    }
    if (!savePicture(image, picturePath)) {
        rememberUnsavedPicture(sourcePath, image);
        return PictureSave::NotWritten;
    }
    const SourceStamp stamp = stampToRecord(sourcePath);
    const ThumbnailRow row{picturePath, storedSeconds(QFileInfo(picturePath).lastModified()),
                           sourcePath, stamp.time, stamp.size};
    if (recordRow(row, stamp.changes, recorded.status) == Written::Done) {
        if (stored && picturePath != previous) {
            QFile::remove(previous);
        }
        return PictureSave::Saved;
    }
    if (picturePath != previous) {
        QFile::remove(picturePath);
    }
    return PictureSave::NotRecorded;
}

PictureSave recordErrorFor(const QString& imageDir, const QString& sourcePath) {
    const PictureStoreLock lock(imageDir);
    if (lock.timedOut()) {
        logLockedFolder(sourcePath);
        return PictureSave::GaveUp;
    }
    const SourceStamp stamp = stampToRecord(sourcePath);
    const Lookup recorded = rowOf(sourcePath, statements::kLookup);
    if (recordRow({kErrorThumbPath, 0, sourcePath, stamp.time, stamp.size}, stamp.changes,
                  recorded.status) != Written::Done) {
        return PictureSave::NotRecorded;
    }
    if (recorded.status == LookupStatus::Found &&
        isStoredPicture(imageDir, recorded.row.thumPath)) {
        QFile::remove(recorded.row.thumPath);
    }
    return PictureSave::Saved;
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
