#include "thumbnail_job.h"

#include "current_file_path.h"
#include "data_root.h"
#include "db_mutex.h"
#include "file_names.h"
#include "in_process_application.h"
#include "log.h"
#include "module_handle.h"
#include "myfile.h"
#include "preview_suffix.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>

#include <algorithm>
#include <vector>

namespace {

// The first buffer holds MAX_PATH, enough for most install paths; a longer path takes a larger
// one, up to the longest path Windows knows (32,767 characters and the terminator).
constexpr DWORD kFirstModulePathBuffer = 260;
constexpr DWORD kLongestModulePathBuffer = 32768;

// The module's path in full. A cut path fills the buffer, terminator included, and returns its
// size: then it is asked for again in a buffer twice as large.
QString modulePath(HMODULE module) {
    std::vector<WCHAR> buffer;
    for (DWORD size = kFirstModulePathBuffer;;
         size = std::min(2 * size, kLongestModulePathBuffer)) {
        buffer.resize(size);
        const DWORD length = GetModuleFileNameW(module, buffer.data(), size);
        if (length < size) {
            return QString::fromWCharArray(buffer.data(), static_cast<int>(length));
        }
        if (size == kLongestModulePathBuffer) {
            return {};
        }
    }
}

} // namespace

QString dataRoot() {
    static const QString root = writableDataRoot();
    return root;
}

HRESULT runThumbnailJob(LPCWSTR path, ThumbnailProducers& producers) {
    const HMODULE module = moduleHandle.load();
    if (module == nullptr) {
        return S_FALSE;
    }
    // A Linux host hands over a name that is no UTF-8 with its bytes as lone surrogates.
    keepFileNamesWhole();
    const QString moduleFolder = QFileInfo(modulePath(module)).path();
    const QByteArray hostPath = QFile::encodeName(modulePath(GetModuleHandleW(nullptr)));

    const QString sourcePath = QString::fromWCharArray(path);
    currentFilePath = sourcePath;
    const QString root = dataRoot();

    bool needsThumbnail = false;
    QString imageDir;
    {
        QMutexLocker lock(&dbMutex);
        QCoreApplication::addLibraryPath(moduleFolder + QLatin1Char('/'));
        ensureInProcessApplication(hostPath);
        const myFile record(sourcePath, root);
        needsThumbnail = record.needsThumbnail;
        imageDir = record.imageDir;
    }
    if (!needsThumbnail) {
        trace(QStringLiteral("thumbnail up to date: ") + sourcePath);
        return S_OK;
    }

    if (takesPreviewPath(sourcePath) && producers.extractPreview(sourcePath, root)) {
        return S_OK;
    }
    currentFilePath = imageDir;
    if (producers.renderMesh(sourcePath, imageDir)) {
        currentFilePath = sourcePath;
        return S_OK;
    }
    currentFilePath.clear();
    return S_FALSE;
}
