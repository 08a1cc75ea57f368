#pragma once

#include <QByteArray>
#include <QString>

#include "qt_printers.h"

// The data home the test process was given.
QString testDataHome();

// A source file under the data home's "sources" folder (folders in `name` are made too);
// returns its path.
QString writeSource(const QString& name, const QByteArray& bytes);

// Writes bytes to a file, creating its folder; fails the test on error.
void writeFile(const QString& path, const QByteArray& bytes);

QByteArray readFile(const QString& path);

// Sets a file's modification time, in seconds since 1970.
void setModifiedTime(const QString& path, qint64 secondsSinceEpoch);
