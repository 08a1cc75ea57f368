#include "thumbnail_job.h"

#include "current_file_path.h"
#include "data_root.h"
#include "db_mutex.h"
#include "file_names.h"
#include "in_process_application.h"
#include "log.h"
#include "module_file_name.h"
#include "module_handle.h"
#include "myfile.h"
#include "preview_suffix.h"
#include "saved_picture_memo.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>

QString settledDataRoot() {
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
    const QString moduleFolder = QFileInfo(QString::fromStdWString(moduleFileName(module))).path();
    const QByteArray hostPath = QFile::encodeName(QString::fromStdWString(moduleFileName(nullptr)));

    const QString sourcePath = QString::fromWCharArray(path);
    currentFilePath = sourcePath;
    const QString root = settledDataRoot();

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

    // A job that makes a picture holds none kept from the job before it on this thread.
    forgetSavedPicture();
    if (takesPreviewPath(sourcePath) && producers.extractPreview(sourcePath, imageDir)) {
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
