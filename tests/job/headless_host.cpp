// A minimal host for the job, run by the tests in an environment of their choosing. With
// --own-app it starts a Qt application of its own first, as a Qt-based file manager would;
// with --module it loads the module at PATH, as the shell does, instead of standing in for it.
//   headless_host [--own-app] [--module PATH] FILE...

#include "com_api.h"
#include "file_names.h"
#include "module_handle.h"
#include "thumbnail_job.h"

#include <QGuiApplication>

#include <cstdio>
#include <memory>

int main(int argc, char** argv) {
    const bool own = argc > 1 && QByteArray(argv[1]) == "--own-app";
    const std::unique_ptr<QCoreApplication> app(own ? new QCoreApplication(argc, argv) : nullptr);
    // Any module outside the program's folder: the job must add its folder to Qt's search.
    moduleHandle = GetModuleHandleW(L"libQt5Core.so.5");
    int i = own ? 2 : 1;
    if (i + 1 < argc && QByteArray(argv[i]) == "--module") {
        keepFileNamesWhole();
        const QString path = QString::fromLocal8Bit(argv[i + 1]);
        moduleHandle = LoadLibraryW(std::wstring(path.utf16(), path.utf16() + path.size()).c_str());
        i += 2;
    }
    for (; i < argc; ++i) {
        const std::wstring path = QString::fromLocal8Bit(argv[i]).toStdWString();
        std::printf("hr=%d\n", static_cast<int>(runThumbnailJob(path.c_str())));
    }
    std::printf("app=%s args=%d platform=%s\npaths=%s;\n",
                QCoreApplication::instance()->metaObject()->className(),
                static_cast<int>(QCoreApplication::arguments().size()),
                qPrintable(QGuiApplication::platformName()),
                qPrintable(QCoreApplication::libraryPaths().join(';')));
}
