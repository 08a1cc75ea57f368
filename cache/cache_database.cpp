#include "cache_database.h"

#include <QFileInfo>
#include <QMutex>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>

namespace {

// A statement waits this long for another process's write instead of failing at once.
const QString kConnectOptions = QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000");

QBasicMutex lastFileMutex;
QString lastFile;

QString connectionName() {
    return QStringLiteral("VOXALIS_Thumbnail-%1")
        .arg(reinterpret_cast<quintptr>(QThread::currentThreadId()));
}

// Removes the thread's connection when the thread ends.
struct ThreadConnection {
    QString name;
    ~ThreadConnection() {
        if (!name.isEmpty()) {
            QSqlDatabase::removeDatabase(name);
        }
    }
};

thread_local ThreadConnection threadConnection;

bool open(const QString& databaseFile, QString& error) {
    const QString name = connectionName();
    if (QSqlDatabase::contains(name)) {
        // The thread's connection serves job after job while its file is still there; one
        // that was deleted or moved away is replaced.
        {
            const QSqlDatabase current = QSqlDatabase::database(name, false);
            if (current.isOpen() && current.databaseName() == databaseFile &&
                QFileInfo::exists(databaseFile)) {
                return true;
            }
        }
        QSqlDatabase::removeDatabase(name);
    }
    threadConnection.name = name;
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(databaseFile);
    db.setConnectOptions(kConnectOptions);
    if (!db.open()) {
        error = db.lastError().text();
        return false;
    }
    // A cache: after a power cut the last rows may be missing, never the database's integrity;
    // in exchange a row costs no flush to disk. Readers in other processes never wait for it.
    QSqlQuery pragmas(db);
    pragmas.exec(QStringLiteral("pragma journal_mode=WAL"));
    pragmas.exec(QStringLiteral("pragma synchronous=NORMAL"));
    return true;
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
    if (!file.isEmpty()) {
        open(file, error);
    }
    return QSqlDatabase::database(name, false);
}

bool openCacheDatabaseFile(const QString& databaseFile, QString& error) {
    {
        QMutexLocker lock(&lastFileMutex);
        lastFile = databaseFile;
    }
    return open(databaseFile, error);
}
