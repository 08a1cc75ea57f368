// A minimal host for the job, run by the tests in an environment of their choosing. With
// --own-app it starts a Qt application of its own first, as a Qt-based file manager would.

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
    for (int i = own ? 2 : 1; i < argc; ++i) {
        const std::wstring path = QString::fromLocal8Bit(argv[i]).toStdWString();
        std::printf("hr=%d\n", static_cast<int>(runThumbnailJob(path.c_str())));
    }
    std::printf("app=%s args=%d platform=%s\npaths=%s;\n",
                QCoreApplication::instance()->metaObject()->className(),
                static_cast<int>(QCoreApplication::arguments().size()),
                qPrintable(QGuiApplication::platformName()),
                qPrintable(QCoreApplication::libraryPaths().join(';')));
}
