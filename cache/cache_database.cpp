#include "cache_database.h"

#include "platform_services.h"

#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSqlQuery>
#include <QThread>
#include <QUrl>

#include <atomic>

namespace {

// A writer holds the database for one row; far longer means a stopped or stuck process, and
// a job that waited that long is better given up than kept waiting.
constexpr int kDefaultWaitMilliseconds = 5000;

std::atomic<int> waitMilliseconds{kDefaultWaitMilliseconds};

// Raised whenever a damaged file is moved aside, so that no thread keeps a connection to it.
std::atomic<int> generation{0};

QBasicMutex lastFileMutex;
QString lastFile;

// SQLite's primary result codes; Qt reports them, or the extended codes built on them.
constexpr int kSqliteBusy = 5;
constexpr int kSqliteLocked = 6;
constexpr int kSqliteCorrupt = 11;
constexpr int kSqliteNotADatabase = 26;

int primaryCode(const QSqlError& error) {
    return error.nativeErrorCode().toInt() & 0xff;
}

bool isDamaged(const QSqlError& error) {
    const int code = primaryCode(error);
    return code == kSqliteNotADatabase || code == kSqliteCorrupt;
}

QString connectionName() {
    return QStringLiteral("VOXALIS_Thumbnail-%1")
        .arg(reinterpret_cast<quintptr>(QThread::currentThreadId()));
}

// Removes the thread's connection when the thread ends.
struct ThreadConnection {
    QString name;
    QString file;
    int generation = 0;
    bool readOnly = false;
    ~ThreadConnection() {
        if (!name.isEmpty()) {
            QSqlDatabase::removeDatabase(name);
        }
    }
};

thread_local ThreadConnection threadConnection;

// Opens the thread's connection to `databaseFile`. `damaged` tells that the file opened but
// is no database.
bool open(const QString& databaseFile, QString& error, bool& damaged) {
    const QString name = connectionName();
    if (QSqlDatabase::contains(name)) {
        // The thread's connection serves job after job while its file is still there; one
        // that was deleted or moved away is replaced.
        {
            const QSqlDatabase current = QSqlDatabase::database(name, false);
            if (current.isOpen() && threadConnection.file == databaseFile &&
                threadConnection.generation == generation && QFileInfo::exists(databaseFile)) {
                return true;
            }
        }
        QSqlDatabase::removeDatabase(name);
    }
    // A folder that cannot be written (a read-only mount, another user's cache) takes no
    // journal beside the database, without which SQLite reads no WAL database at all. The file
    // is then read as it stands, for the pictures it names.
    const bool readOnly =
        QFileInfo::exists(databaseFile) && !QFileInfo(QFileInfo(databaseFile).path()).isWritable();
    threadConnection.name = name;
    threadConnection.file = databaseFile;
    threadConnection.generation = generation;
    threadConnection.readOnly = readOnly;
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(waitMilliseconds.load());
    if (readOnly) {
        db.setDatabaseName(QUrl::fromLocalFile(databaseFile).toString(QUrl::FullyEncoded) +
                           QStringLiteral("?immutable=1"));
        options += QStringLiteral(";QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI");
    } else {
        db.setDatabaseName(databaseFile);
    }
    db.setConnectOptions(options);
    if (!db.open()) {
        error = db.lastError().text();
        return false;
    }
    if (readOnly) {
        return true;
    }
    // A cache: after a power cut the last rows may be missing, never the database's integrity;
    // in exchange a row costs no flush to disk. Readers in other processes never wait for it.
    // SQLite reads the file only now, so this is where a file that is no database shows.
    QSqlQuery pragmas(db);
    if (!pragmas.exec(QStringLiteral("pragma journal_mode=WAL")) &&
        isDamaged(pragmas.lastError())) {
        error = pragmas.lastError().text();
        damaged = true;
        return true;
    }
    pragmas.exec(QStringLiteral("pragma synchronous=NORMAL"));
    return true;
}

void closeThreadConnection() {
    QSqlDatabase::removeDatabase(connectionName());
}

// A name that holds no regular file, though something is there: a FIFO (whose reads would
// block the host), a folder, a device, a link to itself or to nothing. Such a thing is never
// opened as a database.
bool holdsNoFile(const QString& databaseFile) {
    const QFileInfo found(databaseFile);
    return found.exists() ? !found.isFile() : found.isSymLink();
}

// The cache holds nothing that cannot be made again: a damaged file is moved aside for a
// person to look at, and a fresh one takes its place.
CacheOpen renew(const QString& databaseFile, QString& error) {
    // Hosts that find the damage at the same moment take turns, and a later one must not move
    // aside the fresh database an earlier one has just made. Without the lock the worst case
    // is that one more fresh database replaces the first.
    const std::intptr_t lock =
        lockFileExclusively(QFile::encodeName(databaseFile + QStringLiteral(".lock")).constData(),
                            static_cast<std::uint32_t>(waitMilliseconds.load()));
    closeThreadConnection();
    bool damaged = false;
    if (!holdsNoFile(databaseFile) && open(databaseFile, error, damaged) && !damaged) {
        unlockFile(lock);
        return CacheOpen::Opened;
    }
    closeThreadConnection();
    const QString aside = databaseFile + QStringLiteral(".damaged");
    QFile::remove(aside);
    QFile::rename(databaseFile, aside);
    // A journal left by the damaged file must not be replayed into the fresh one.
    QFile::remove(databaseFile + QStringLiteral("-wal"));
    QFile::remove(databaseFile + QStringLiteral("-shm"));
    ++generation;
    damaged = false;
    const bool opened = open(databaseFile, error, damaged) && !damaged;
    unlockFile(lock);
    return opened ? CacheOpen::Renewed : CacheOpen::NotOpened;
}

} // namespace

QSqlDatabase cacheDatabase() {
    const QString name = connectionName();
    if (QSqlDatabase::contains(name)) {
        return QSqlDatabase::database(name, false);
    }
    QString file;
    {
        QMutexLocker lock(&lastFileMutex);
        file = lastFile;
    }
    QString error;
    bool damaged = false;
    if (!file.isEmpty()) {
        open(file, error, damaged);
    }
    return QSqlDatabase::database(name, false);
}

CacheOpen openCacheDatabaseFile(const QString& databaseFile, QString& error) {
    {
        QMutexLocker lock(&lastFileMutex);
        lastFile = databaseFile;
    }
    if (holdsNoFile(databaseFile)) {
        return renew(databaseFile, error);
    }
    bool damaged = false;
    if (!open(databaseFile, error, damaged)) {
        return CacheOpen::NotOpened;
    }
    if (threadConnection.readOnly) {
        return CacheOpen::ReadOnly;
    }
    return damaged ? renew(databaseFile, error) : CacheOpen::Opened;
}

int cacheWaitMilliseconds() {
    return waitMilliseconds;
}

void setCacheWaitMilliseconds(int milliseconds) {
    waitMilliseconds = milliseconds;
}

bool isBusy(const QSqlError& error) {
    const int code = primaryCode(error);
    return code == kSqliteBusy || code == kSqliteLocked;
}
