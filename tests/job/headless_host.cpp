// A minimal host for the job, run by the tests in an environment of their choosing. With
// --own-app it starts a Qt application of its own first, as a Qt-based file manager would.

#include "module_handle.h"
#include "thumbnail_job.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

int main(int argc, char** argv) {
    int first = 1;
    int appArgc = 1;
    std::unique_ptr<QCoreApplication> ownApp;
    if (argc > 1 && std::strcmp(argv[1], "--own-app") == 0) {
        ownApp = std::make_unique<QCoreApplication>(appArgc, argv);
        first = 2;
    }
    // Any module outside the program's folder: the job must add its folder to Qt's search.
    moduleHandle = GetModuleHandleW(L"libQt5Core.so.5");
    for (int i = first; i < argc; ++i) {
        const std::wstring path = QString::fromLocal8Bit(argv[i]).toStdWString();
        std::printf("hr=%d\n", static_cast<int>(runThumbnailJob(path.c_str())));
    }
    const bool gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
    const QString platform = gui ? QGuiApplication::platformName() : QStringLiteral("none");
    std::printf("app=%s platform=%s\n", QCoreApplication::instance()->metaObject()->className(),
                qPrintable(platform));
    std::printf("paths=%s\n", qPrintable((QCoreApplication::libraryPaths().join(';') + ';')));
    return 0;
}
