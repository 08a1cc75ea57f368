#pragma once

#include <QSqlDatabase>
#include <QString>

// The cache database as the calling thread sees it. Qt lets a connection be used only by the
// thread that made it, and the shell may run jobs on several threads, so each thread has a
// connection of its own to the one thumbnail.db (removed when the thread ends). A thread that
// has none yet opens the file the last job record named.
QSqlDatabase cacheDatabase();

// Replaces the calling thread's connection by one to `databaseFile`, as every job record
// does; false when it does not open.
bool openCacheDatabaseFile(const QString& databaseFile, QString& error);
