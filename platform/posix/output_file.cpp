#include "platform_services.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace {

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// A file size limit kills the writer with SIGXFSZ unless the signal is ignored; then the write
// fails with EFBIG, as on a full disk, and the failure is ours to handle.
class FileSizeSignalIgnored {
public:
    FileSizeSignalIgnored() {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigaction(SIGXFSZ, &ignore, &previous);
    }
    ~FileSizeSignalIgnored() { sigaction(SIGXFSZ, &previous, nullptr); }
    FileSizeSignalIgnored(const FileSizeSignalIgnored&) = delete;
    FileSizeSignalIgnored& operator=(const FileSizeSignalIgnored&) = delete;

private:
    struct sigaction previous {};
};

// Zero on success, else the errno of the first failure; a write that stores nothing is one.
int writeAll(int fd, const QByteArray& bytes) {
    const char* data = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        const ssize_t written = write(fd, data, static_cast<size_t>(left));
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return written == 0 ? ENOSPC : errno;
        }
        data += written;
        left -= written;
    }
    return fsync(fd) == 0 || errno == EINVAL ? 0 : errno;
}

} // namespace

bool writeFileInPlace(const QString& path, const QByteArray& bytes, const QString& source,
                      QString& error) {
    const QByteArray name = QFile::encodeName(path);
    const auto failed = [&](const QString& reason) {
        error = QStringLiteral("cannot write %1: %2").arg(path, reason);
        return false;
    };
    const auto systemError = [](int code) { return QString::fromLocal8Bit(std::strerror(code)); };
    struct stat sourceStatus {};
    const bool sourceFound = stat(QFile::encodeName(source).constData(), &sourceStatus) == 0;
    // Looked at before it is opened: opening a device may act on it, and a FIFO blocks.
    struct stat before {};
    const bool existed = stat(name.constData(), &before) == 0;
    if (!existed && errno != ENOENT) {
        return failed(systemError(errno));
    }
    if (existed && !S_ISREG(before.st_mode)) {
        return failed(QStringLiteral("not a regular file"));
    }
    const int fd = existed ? open(name.constData(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)
                           : open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        return failed(systemError(errno));
    }
    // The file opened may differ from the one looked at, if it was replaced in between.
    struct stat opened {};
    QString refusal;
    if (fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode) ||
        (existed && !sameFile(before, opened))) {
        refusal = QStringLiteral("not a regular file");
    } else if (sourceFound && sameFile(opened, sourceStatus)) {
        refusal = QStringLiteral("it is the input file");
    }
    if (!refusal.isEmpty()) {
        close(fd);
        if (!existed) {
            unlink(name.constData());
        }
        return failed(refusal);
    }
    int code = 0;
    {
        const FileSizeSignalIgnored ignored;
        code = ftruncate(fd, 0) == 0 ? writeAll(fd, bytes) : errno;
        if (code != 0 && existed) {
            // The client made the file and reads it: empty says "no picture", a cut PNG lies.
            ftruncate(fd, 0);
        }
    }
    if (close(fd) != 0 && code == 0) {
        code = errno;
        if (existed) {
            truncate(name.constData(), 0);
        }
    }
    if (code == 0) {
        return true;
    }
    if (!existed) {
        unlink(name.constData());
    }
    return failed(systemError(code));
}
