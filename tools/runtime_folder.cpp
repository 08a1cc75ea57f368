#include "runtime_folder.h"

#include "platform_services.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <memory>

namespace {

// Removed when the program returns from main, or by the termination signals.
std::unique_ptr<QTemporaryDir> ownFolder;

bool isPrivate(const QString& path) {
    return !path.isEmpty() && isPrivateFolder(QFile::encodeName(path).constData());
}

} // namespace

void keepRuntimeFolderOutOf(const QString& output) {
    if (isPrivate(qEnvironmentVariable("XDG_RUNTIME_DIR"))) {
        return;
    }
    QString folder = QFileInfo(QFileInfo(output).absolutePath()).absoluteFilePath();
    if (!isPrivate(folder)) {
        ownFolder = std::make_unique<QTemporaryDir>();
        folder = ownFolder->path();
        removeFolderOnTermination(QFile::encodeName(folder).constData());
    }
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(folder));
}

void removeOwnRuntimeFolder() {
    if (ownFolder) {
        ownFolder->remove();
    }
}
