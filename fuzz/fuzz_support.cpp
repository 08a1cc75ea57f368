#include "fuzz_support.h"

#include "db_mutex.h"
#include "myfile.h"

#include <QCoreApplication>
#include <QFile>
#include <QMutexLocker>
#include <QTemporaryDir>

const FuzzEnvironment& fuzzEnvironment() {
    static const FuzzEnvironment environment = [] {
        static QTemporaryDir home(QDir::tempPath() + QStringLiteral("/voxalis-fuzz-XXXXXX"));
        qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
        static int argc = 1;
        static char name[] = "voxalis-fuzz";
        static char* argv[] = {name, nullptr};
        // The SQL driver is a plug-in, which needs an application object.
        static QCoreApplication app(argc, argv);
        FuzzEnvironment made{home.path() + QStringLiteral("/VOXALIS_Thumbnail"), home.path()};
        QMutexLocker lock(&dbMutex);
        myFile(home.path() + QStringLiteral("/opens-the-cache"), made.dataRoot);
        return made;
    }();
    return environment;
}

QString writeInput(const QByteArray& bytes, const char* suffix) {
    const QString path =
        fuzzEnvironment().scratchFolder + QStringLiteral("/input.") + QString::fromLatin1(suffix);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(bytes);
    }
    return path;
}
