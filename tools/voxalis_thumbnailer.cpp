// voxalis-thumbnailer: the desktop's thumbnailer for our files, as a freedesktop .thumbnailer
// entry runs it (Exec=voxalis-thumbnailer -s %s %u %o):
//
//   voxalis-thumbnailer [-s SIZE] INPUT OUTPUT
//
// INPUT is a path or a file:// URI, OUTPUT the PNG to write. Exit codes: 0 a PNG was written
// (preview, rendered mesh, placeholder or the empty picture); 1 no thumbnail (the file was
// refused or cannot be read, or OUTPUT cannot be written), with no OUTPUT left behind and one
// line on stderr; 2 bad usage. The file manager records a failure for 1 instead of retrying.
//
// It runs in the file manager's sandbox: no home, no display socket, only OUTPUT's folder
// writable. So it keeps no cache of its own and its log lines go into that one stderr line.

#include "log.h"
#include "make_picture.h"
#include "preview_suffix.h"
#include "windows_api.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QSaveFile>
#include <QStringList>
#include <QUrl>

#include <array>
#include <cstdio>

namespace {

enum ExitCode {
    kWritten = 0,
    kNoThumbnail = 1,
    kUsage = 2,
};

// The largest side a desktop asks for is 1024 (xx-large); a mesh is rendered at the size
// asked, so the bound keeps one framebuffer at 64 MiB.
constexpr int kMaxSize = 4096;
constexpr int kDefaultSize = 256;

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

void collectQtMessage(QtMsgType, const QMessageLogContext&, const QString& message) {
    qtMessages.append(message.simplified());
}

struct Request {
    QString input;
    QString output;
    int size = kDefaultSize;
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
    if (!ok || request.size < 1 || request.size > kMaxSize) {
        error = QStringLiteral("SIZE must be a whole number from 1 to %1").arg(kMaxSize);
        return false;
    }
    const QUrl url(positional[0]);
    request.input = url.scheme() == QLatin1String("file") ? url.toLocalFile() : positional[0];
    request.output = positional[1];
    if (request.input.isEmpty() || request.output.isEmpty()) {
        error = QStringLiteral("INPUT and OUTPUT must not be empty");
        return false;
    }
    return true;
}

// Our own platform plugin sits in a folder beside the program: bin/platforms in the build
// tree, the module's folder once installed. Qt is pointed there, never at the system's
// plugin folder alone, so the display-free platform is found inside a sandbox.
void addOwnLibraryPaths() {
    std::array<char, 4096> path{};
    GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    const QDir programFolder = QFileInfo(QFile::decodeName(path.data())).dir();
    QCoreApplication::addLibraryPath(programFolder.absolutePath());
    QCoreApplication::addLibraryPath(
        programFolder.absoluteFilePath(QStringLiteral(VOXALIS_PLUGIN_FOLDER)));
}

// Qt's GUI start-up looks a file up in the runtime folder, and without XDG_RUNTIME_DIR (as in
// a file manager's sandbox) it makes /tmp/runtime-USER for that. In the sandbox /tmp is
// OUTPUT's folder, which must hold nothing but OUTPUT afterwards. A folder private to us
// (mode 0700, as file managers make theirs) is a valid runtime folder, so it serves instead;
// Qt leaves such a folder as it is.
void keepRuntimeFolderOutOf(const QString& output) {
    if (qEnvironmentVariableIsSet("XDG_RUNTIME_DIR")) {
        return;
    }
    const QFileInfo folder(QFileInfo(output).absolutePath());
    const QFileDevice::Permissions privateToUs = QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                 QFileDevice::ExeOwner | QFileDevice::ReadUser |
                                                 QFileDevice::WriteUser | QFileDevice::ExeUser;
    if (folder.isDir() && folder.permissions() == privateToUs) {
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(folder.absoluteFilePath()));
    }
}

// Through a temporary file in OUTPUT's folder and a rename, so a failure leaves no OUTPUT.
bool writePng(const QImage& picture, const QString& path, QString& error) {
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && picture.save(&file, "PNG") && file.commit()) {
        return true;
    }
    error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
    return false;
}

int fail(ExitCode code, const QString& message) {
    std::fprintf(stderr, "voxalis-thumbnailer: %s\n", qPrintable(message));
    return code;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication::setApplicationName(QStringLiteral("voxalis-thumbnailer"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VOXALIS_VERSION));
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
        QStringLiteral("Longest side of the thumbnail in pixels (default %1).").arg(kDefaultSize),
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

    addOwnLibraryPaths();
    setLogSink(&collectLog);
    qInstallMessageHandler(&collectQtMessage);
    // A sliced file needs no OpenGL and no display connection, and most of its cost is the
    // start-up: only a mesh pays for a GUI application. The application is never destroyed:
    // its teardown unloads the OpenGL driver while the driver's own allocations live on.
    if (isPreviewSuffix(QFileInfo(request.input).suffix())) {
        application = new QCoreApplication(applicationArgc, argv);
    } else {
        prepareGuiEnvironment();
        keepRuntimeFolderOutOf(request.output);
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
    if (!writePng(picture, request.output, error)) {
        return fail(kNoThumbnail, error);
    }
    return kWritten;
}
