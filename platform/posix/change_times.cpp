#include "platform_services.h"

#include <QFile>
#include <QString>

#include <sys/stat.h>

namespace {

std::int64_t nanoseconds(const timespec& time) {
    return std::int64_t(time.tv_sec) * 1000000000 + time.tv_nsec;
}

} // namespace

FileChangeTimes fileChangeTimes(const QString& path) {
    struct stat status {};
    if (stat(QFile::encodeName(path).constData(), &status) != 0) {
        return {};
    }
    return {nanoseconds(status.st_mtim), nanoseconds(status.st_ctim)};
}
