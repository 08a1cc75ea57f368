#include "log.h"

#include "data_root.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

#include <atomic>

namespace {
std::atomic<LogSink> logSink{nullptr};
}

QString logLocation(const QString& operation, int number) {
    return QStringLiteral("%1 : %2 ").arg(operation).arg(number);
}

QString formatLogTimestamp(const QDateTime& time) {
    return time.toString(QStringLiteral("h:m:s dd.MM.yyyy"));
}

QString prepareLogFile() {
    const QString folder = writableDataRoot();
    QDir dir;
    // As for the cache folders, the generic data location itself may be missing on Linux.
    if (!dir.exists(folder)) {
        dir.mkpath(folder);
    }
    const QString path = folder + QStringLiteral("/VOXALIS_Thumbnail.log");
    if (QFileInfo(path).size() > kLogSizeLimit) {
        QFile::remove(path);
    }
    return path;
}

LogSink setLogSink(LogSink sink) {
    return logSink.exchange(sink);
}

void writeLog(QString message) {
    if (const LogSink sink = logSink.load()) {
        sink(message);
        return;
    }
    QFile log(prepareLogFile());
    if (!log.open(QIODevice::WriteOnly | QIODevice::Append)) {
        return;
    }
    log.write(
        (formatLogTimestamp(QDateTime::currentDateTime()) + QStringLiteral("   ")).toLocal8Bit());
    log.write(message.toLocal8Bit());
    log.write("\r\n", 2);
}

namespace {
// Progress messages are off unless asked for (QT_LOGGING_RULES="voxalis.trace.debug=true"):
// they never reach the log, and a host's own debug output stays quiet.
Q_LOGGING_CATEGORY(lcTrace, "voxalis.trace", QtInfoMsg)
} // namespace

void trace(const QString& message) {
    qCDebug(lcTrace, "%s", qUtf8Printable(message));
}
