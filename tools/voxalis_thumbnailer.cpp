// voxalis-thumbnailer: the desktop's thumbnailer for our files, as a freedesktop .thumbnailer
// entry runs it (Exec=voxalis-thumbnailer -s %s %u %o):
//
//   voxalis-thumbnailer [-s SIZE] INPUT OUTPUT
//
// INPUT is a path or a file:// URI, OUTPUT the PNG to write. Exit codes: 0 a PNG was written
// (preview, rendered mesh, placeholder or the empty picture); 1 no thumbnail (the file was
// refused or cannot be read, OUTPUT is the input or not a regular file, or cannot be written
// whole), with no picture left behind (an OUTPUT the client made stays empty) and one line on
// stderr; 2 bad usage. OUTPUT is written in place, never replaced: a client may hold it open. The
// file manager records a failure for 1 instead of retrying.
//
// It runs in the file manager's sandbox: no home, no display socket, only OUTPUT's folder
// writable. So its log lines go into that one stderr line, and the only cache it keeps is the
// driver's compiled shaders, in the client's own thumbnail folder where one is there to write.

#include "file_names.h"
#include "input_path.h"
#include "log.h"
#include "make_picture.h"
#include "module_file_name.h"
#include "picture_sides.h"
#include "platform_services.h"
#include "preview_suffix.h"
#include "runtime_folder.h"
#include "windows_api.h"

#include <QBuffer>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

enum ExitCode {
    kWritten = 0,
    kNoThumbnail = 1,
    kUsage = 2,
};

constexpr int kDefaultSize = 256;
// Our folder in the client's thumbnail folder, the most its shader database may hold (one set
// of compiled shaders takes about 20 KB), and the most the whole folder may: that, Mesa's index
// of 1.3 MB whatever it holds, and room for the database's own index.
constexpr const char* kShaderCacheFolder = "voxalis-thumbnailer";
constexpr const char* kShaderCacheSize = "1M";
constexpr qint64 kShaderCacheBound = qint64{3} << 20;

QStringList loggedMessages;
// Qt's own messages, which only help to explain a failure our log says nothing about.
QStringList qtMessages;
// Qt must not see the program's own arguments: "-s" and the file names are ours. The count
// lives as long as the application, which keeps a reference to it.
int applicationArgc = 1;
QCoreApplication* application = nullptr;

void collectLog(const QString& message) {
    loggedMessages.append(message.simplified());
}

int fail(ExitCode code, const QString& message) {
    std::fprintf(stderr, "voxalis-thumbnailer: %s\n", qPrintable(message));
    return code;
}

void collectQtMessage(QtMsgType type, const QMessageLogContext&, const QString& message) {
    // Debug output (the OpenGL probe's version lines) says nothing about a failure.
    if (type == QtDebugMsg) {
        return;
    }
    qtMessages.append(message.simplified());
    // Qt ends a fatal message by aborting, which a file manager takes for a crash and which
    // says nothing to anyone: this is a thumbnail that cannot be made.
    if (type == QtFatalMsg) {
        removeOwnRuntimeFolder();
        std::_Exit(fail(kNoThumbnail, message.simplified()));
    }
}

struct Request {
    QString input;
    QString output;
    int size = kDefaultSize;
    // INPUT was a file:// URI of another host: a file we cannot reach, not a usage error.
    QString otherHostUri;
};

// False with `error` set on bad usage.
bool readRequest(const QCommandLineParser& parser, const QCommandLineOption& sizeOption,
                 Request& request, QString& error) {
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 2) {
        error = QStringLiteral("expected INPUT and OUTPUT");
        return false;
    }
    bool ok = false;
    request.size = parser.value(sizeOption).toInt(&ok);
    if (!ok || request.size < 1 || request.size > kLargestSide) {
        error = QStringLiteral("SIZE must be a whole number from 1 to %1").arg(kLargestSide);
        return false;
    }
    request.input = inputFilePath(positional[0]);
    if (request.input.isEmpty() && !positional[0].isEmpty()) {
        request.otherHostUri = positional[0];
    }
    request.output = positional[1];
    if ((request.input.isEmpty() && request.otherHostUri.isEmpty()) || request.output.isEmpty()) {
        error = QStringLiteral("INPUT and OUTPUT must not be empty");
        return false;
    }
    return true;
}

// Our own platform plugin sits in a folder beside the program: bin/platforms in the build
// tree, the module's folder once installed. Qt is pointed there, never at the system's
// plugin folder alone, so the display-free platform is found inside a sandbox.
void addOwnLibraryPaths() {
    const QDir programFolder = QFileInfo(QString::fromStdWString(moduleFileName(nullptr))).dir();
    QCoreApplication::addLibraryPath(programFolder.absolutePath());
    QCoreApplication::addLibraryPath(
        programFolder.absoluteFilePath(QStringLiteral(VOXALIS_PLUGIN_FOLDER)));
}

// llvmpipe compiles the shaders afresh in every process, about a third of what a small mesh
// costs. Where the client keeps its thumbnails in a folder of its user's alone (tumbler and KDE
// do, in the freedesktop cache; GNOME's sandbox shows none), Mesa keeps them in a folder of ours
// there: its single-file database, which checks every entry's checksum, rebuilds itself when it
// finds it damaged or over its size, and locks it against other writers. Anywhere else a run
// writes nothing beside OUTPUT. A session's own choice to disable the cache is kept.
// Mesa keeps the database within its size only when it adds to it, and opens what it finds
// under its names. So a folder grown past the bound, or holding anything but files and folders
// (a link elsewhere, a FIFO that would block a read), goes before the driver starts; Mesa
// makes it anew.
void dropUnsoundShaderCache(const QString& folder) {
    const QFileInfo top(folder);
    if (top.isSymLink() || (top.exists() && !top.isDir())) {
        QFile::remove(folder);
        return;
    }
    QDirIterator entries(folder,
                         QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
    qint64 bytes = 0;
    while (entries.hasNext()) {
        entries.next();
        const QFileInfo entry = entries.fileInfo();
        bytes += entry.isFile() ? entry.size() : 0;
        if (entry.isSymLink() || !(entry.isDir() || entry.isFile()) || bytes > kShaderCacheBound) {
            QDir(folder).removeRecursively();
            return;
        }
    }
}

void chooseShaderCache() {
    const QByteArray home = qgetenv("HOME");
    QByteArray cache = qgetenv("XDG_CACHE_HOME");
    if (cache.isEmpty() && !home.isEmpty()) {
        cache = home + "/.cache";
    }
    const QByteArray thumbnails = cache + "/thumbnails";
    if (cache.isEmpty() || !isPrivateFolder(thumbnails.constData())) {
        qputenv("MESA_SHADER_CACHE_DISABLE", "true");
        return;
    }
    const QByteArray folder = thumbnails + "/" + kShaderCacheFolder;
    dropUnsoundShaderCache(QFile::decodeName(folder));
    qputenv("MESA_SHADER_CACHE_DIR", folder);
    qputenv("MESA_DISK_CACHE_DATABASE", "true");
    qputenv("MESA_SHADER_CACHE_MAX_SIZE", kShaderCacheSize);
    // Either would take the place of the database, and neither bounds its size.
    qunsetenv("MESA_DISK_CACHE_SINGLE_FILE");
    qunsetenv("MESA_DISK_CACHE_READ_ONLY_FOZ_DBS");
}

// Encoded in memory first: a write that fails part way leaves no cut picture behind, and the
// file is written in place, since the client may be holding it open to read it back.
bool writePng(const QImage& picture, const Request& request, QString& error) {
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !picture.save(&buffer, "PNG")) {
        error = QStringLiteral("cannot encode the picture of %1").arg(request.input);
        return false;
    }
    return writeFileInPlace(request.output, png, request.input, error);
}

// Makes OUTPUT of INPUT once the request is read: exit code kWritten or kNoThumbnail.
int makeThumbnail(const Request& request, char** argv) {
    addOwnLibraryPaths();
    setLogSink(&collectLog);
    qInstallMessageHandler(&collectQtMessage);
    // A sliced file's preview needs no OpenGL and no display connection, and most of its cost
    // is the start-up: only a mesh pays for a GUI application, and so does a 3MF package, whose
    // own picture may turn out unusable and leave its model to be drawn. The application is
    // never destroyed: its teardown unloads the OpenGL driver while the driver's own
    // allocations live on.
    if (isPreviewSuffix(QFileInfo(request.input).suffix())) {
        application = new QCoreApplication(applicationArgc, argv);
    } else {
        if (!prepareGuiEnvironment()) {
            return fail(kNoThumbnail,
                        request.input +
                            QStringLiteral(": the address-space limit leaves OpenGL no room"));
        }
        keepRuntimeFolderOutOf(request.output);
        // No shader cache of Qt's, which goes to the home's cache folder; Mesa's own goes
        // only where chooseShaderCache finds a place.
        QCoreApplication::setAttribute(Qt::AA_DisableShaderDiskCache);
        chooseShaderCache();
        // This process draws one picture and compiles every shader for it: without LLVM's
        // optimisation passes that takes a third less of a small mesh's whole run, and drawing
        // even 4M facets is no slower, since the culled facets never reach llvmpipe. The
        // arithmetic is the same, so are the pictures. A session's own choice is kept.
        setenv("GALLIVM_PERF", "nopt", 0);
        application = new QGuiApplication(applicationArgc, argv);
    }

    const QImage picture = makePicture(request.input, request.size);
    if (picture.isNull()) {
        QString reason = loggedMessages.join(QStringLiteral("; "));
        if (reason.isEmpty()) {
            reason = QStringLiteral("no thumbnail");
            if (!qtMessages.isEmpty()) {
                reason += QStringLiteral(" (%1)").arg(qtMessages.join(QStringLiteral("; ")));
            }
        }
        return fail(kNoThumbnail, request.input + QStringLiteral(": ") + reason);
    }
    QString error;
    if (!writePng(picture, request, error)) {
        return fail(kNoThumbnail, error);
    }
    return kWritten;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication::setApplicationName(QStringLiteral("voxalis-thumbnailer"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VOXALIS_VERSION));
    keepFileNamesWhole();
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
    }
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Writes the thumbnail of a sliced printer file or a mesh as a PNG."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption sizeOption(
        {QStringLiteral("s"), QStringLiteral("size")},
        QStringLiteral("Longest side of the thumbnail in pixels, 1 to %1 (default %2).")
            .arg(kLargestSide)
            .arg(kDefaultSize),
        QStringLiteral("SIZE"), QString::number(kDefaultSize));
    parser.addOption(sizeOption);
    parser.addPositionalArgument(QStringLiteral("INPUT"),
                                 QStringLiteral("The file: a path or a file:// URI."));
    parser.addPositionalArgument(QStringLiteral("OUTPUT"), QStringLiteral("The PNG to write."));

    const bool parsed = parser.parse(arguments);
    if (parsed && (parser.isSet(helpOption) || parser.isSet(versionOption))) {
        // The help text names the program from the application's arguments.
        QCoreApplication app(argc, argv);
        if (parser.isSet(helpOption)) {
            parser.showHelp(kWritten);
        }
        parser.showVersion();
    }
    Request request;
    QString error = parser.errorText();
    if (!parsed || !readRequest(parser, sizeOption, request, error)) {
        return fail(kUsage, error + QStringLiteral(" (see --help)"));
    }
    if (!request.otherHostUri.isEmpty()) {
        return fail(kNoThumbnail,
                    request.otherHostUri + QStringLiteral(": a file of another host"));
    }

    // Nothing may end the program but its exit codes: an exception that escaped (above all an
    // allocation a hostile file asked for) would abort it, which a file manager records as a
    // crash of its thumbnailer.
    try {
        return makeThumbnail(request, argv);
    } catch (...) {
        return fail(kNoThumbnail, request.input + QStringLiteral(": out of memory"));
    }
}
