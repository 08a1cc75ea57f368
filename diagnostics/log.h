#pragma once

#include <QDateTime>
#include <QString>

// Level labels that open every log message.
inline const QString kInfoLabel = QStringLiteral("information    :    ");
inline const QString kErrorLabel = QStringLiteral("error    :   ");

// A log larger than this is deleted before the next line; a log of exactly this size stays.
constexpr qint64 kLogSizeLimit = 10485760;

// The location part of a message: the reporting operation and the number that identifies the
// report, with the trailing blank the readers of the log expect.
QString logLocation(const QString& operation, int number);

// "h:m:s dd.MM.yyyy": time without leading zeros, date with them.
QString formatLogTimestamp(const QDateTime& time);

// Makes sure the data folder exists, drops a log over the size limit and returns the path of
// the log file. The path is formed on every call, so concurrent writers share no state.
QString prepareLogFile();

// Appends one line: time stamp, three blanks, the message, CR LF, in the local 8-bit code page.
// A log that cannot be opened loses the message silently; the log must never fail a job.
void writeLog(QString message);

// Where writeLog sends its messages instead of the log file, for a process that has no data
// folder to write to (a desktop thumbnailer runs in a sandbox without a home). Returns the
// sink it replaces; nullptr means the log file.
using LogSink = void (*)(const QString& message);
LogSink setLogSink(LogSink sink);

// Receives progress messages, which are not worth a line in the log.
void trace(const QString& message);
