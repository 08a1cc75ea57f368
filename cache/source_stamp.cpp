#include "source_stamp.h"

#include <QFileInfo>

#include <algorithm>
#include <limits>

namespace {

struct CheckedStamp {
    QString path;
    SourceStamp stamp;
};

thread_local CheckedStamp lastChecked;

} // namespace

quint32 storedSeconds(const QDateTime& time) {
    const qint64 seconds = time.isValid() ? time.toSecsSinceEpoch() : 0;
    return static_cast<quint32>(
        std::clamp<qint64>(seconds, 0, std::numeric_limits<quint32>::max()));
}

SourceStamp stampOf(const QString& path) {
    const QFileInfo file(path);
    if (!file.exists()) {
        return {};
    }
    return {storedSeconds(file.fileTime(QFileDevice::FileModificationTime)),
            static_cast<quint32>(file.size()), fileChangeTimes(path)};
}

void rememberCheckedStamp(const QString& path, const SourceStamp& stamp) {
    lastChecked = CheckedStamp{path, stamp};
}

SourceStamp stampToRecord(const QString& path) {
    return lastChecked.path == path ? lastChecked.stamp : stampOf(path);
}
