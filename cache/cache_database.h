#pragma once

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>

// The cache database as the calling thread sees it. Qt lets a connection be used only by the
// thread that made it, and the shell may run jobs on several threads, so each thread has a
// connection of its own to the one thumbnail.db (removed when the thread ends). A thread that
// has none yet opens the file the last job record named.
QSqlDatabase cacheDatabase();

enum class CacheOpen {
    Opened,
    NotOpened,
    // The file was no database; it now lies beside as databaseFile + ".damaged" (one
    // generation: an older one is replaced) and a fresh database is open in its place.
    Renewed,
    // Its folder cannot be written: the file is open for reading only, as it stands.
    ReadOnly,
};

// Replaces the calling thread's connection by one to `databaseFile`, as every job record
// does. NotOpened leaves the driver's reason in `error`.
CacheOpen openCacheDatabaseFile(const QString& databaseFile, QString& error);

// How long a job waits for another process's hold on the cache, a write transaction on the
// database or the picture folder's lock, before it gives up. Taken by connections opened
// afterwards; tests shorten it.
int cacheWaitMilliseconds();
void setCacheWaitMilliseconds(int milliseconds);

// Another connection held the database past the wait.
bool isBusy(const QSqlError& error);
