// voxalis-thumb: what the shell's thumbnail host does, for the files named on the command line.
//
//   voxalis-thumb --register | --unregister [--module PATH]
//   voxalis-thumb [--module PATH] [-s SIZE] [-o OUT] FILE...
//
// Each file's handler is found as the shell finds it: the extension's thumbnail handler key
// names a CLSID, whose InprocServer32 names the module. --module skips the registry and asks
// that module for the provider's class directly.

#include "com_api.h"
#include "com_ptr.h"
#include "file_names.h"
#include "module_file_name.h"
#include "picture_sides.h"
#include "platform_services.h"
#include "registry_names.h"
#include "windows_api.h"

#include <QByteArray>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <map>
#include <new>
#include <string>
#include <vector>

namespace {

enum ExitCode {
    kSuccess = 0,
    kUsage = 1,
    kMissingFile = 2,
    kNoHandler = 3,
    kModuleFailed = 4,
    kNoBitmap = 5,
    kRegistrationFailed = 6,
};

using GetClassObjectFunction = HRESULT (*)(REFCLSID, REFIID, void**);
using NoArgumentFunction = HRESULT (*)();

struct Options {
    bool registerModule = false;
    bool unregisterModule = false;
    QString module;
    int size = 0;
    QString out;
    QStringList files;
};

enum class Parsed { Run, Help, Version, Bad };

Parsed parse(int argc, char** argv, QCommandLineParser& parser, Options& options) {
    parser.setApplicationDescription(
        QStringLiteral("Makes thumbnails of FILEs as the shell's thumbnail host does, through "
                       "the registered module, or registers the module."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption registerOption(QStringLiteral("register"),
                                            QStringLiteral("Register the module."));
    const QCommandLineOption unregisterOption(QStringLiteral("unregister"),
                                              QStringLiteral("Unregister the module."));
    const QCommandLineOption moduleOption(
        QStringLiteral("module"),
        QStringLiteral("The module to use instead of the registered one (or the one beside "
                       "this program, for registration)."),
        QStringLiteral("PATH"));
    const QCommandLineOption sizeOption(
        QStringLiteral("s"),
        QStringLiteral("Scale the pictures to fit SIZE x SIZE, SIZE from 1 to %1.")
            .arg(kLargestSide),
        QStringLiteral("SIZE"));
    const QCommandLineOption outOption(
        QStringLiteral("o"),
        QStringLiteral("Folder for the pictures, or the PNG file for a single FILE."),
        QStringLiteral("OUT"));
    parser.addOptions({registerOption, unregisterOption, moduleOption, sizeOption, outOption});
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The files."),
                                 QStringLiteral("[FILE...]"));

    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
    }
    if (!parser.parse(arguments)) {
        return Parsed::Bad;
    }
    if (parser.isSet(helpOption)) {
        return Parsed::Help;
    }
    if (parser.isSet(versionOption)) {
        return Parsed::Version;
    }
    options.registerModule = parser.isSet(registerOption);
    options.unregisterModule = parser.isSet(unregisterOption);
    if (parser.isSet(moduleOption)) {
        options.module = QFileInfo(parser.value(moduleOption)).absoluteFilePath();
    }
    if (parser.isSet(sizeOption)) {
        bool ok = false;
        options.size = parser.value(sizeOption).toInt(&ok);
        if (!ok || options.size < 1 || options.size > kLargestSide) {
            return Parsed::Bad;
        }
    }
    options.out = parser.value(outOption);
    for (const QString& file : parser.positionalArguments()) {
        options.files.append(QFileInfo(file).absoluteFilePath());
    }
    const bool registration = options.registerModule || options.unregisterModule;
    const bool valid = registration != !options.files.isEmpty() &&
                       !(options.registerModule && options.unregisterModule);
    return valid ? Parsed::Run : Parsed::Bad;
}

QString hresultText(HRESULT result) {
    return QStringLiteral("0x%1").arg(static_cast<quint32>(result), 8, 16, QLatin1Char('0'));
}

// The default value of a key under HKEY_CLASSES_ROOT, or empty.
QString defaultValue(const std::wstring& keyPath) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return {};
    }
    DWORD type = REG_NONE;
    DWORD bytes = 0;
    QString value;
    if (RegQueryValueExW(key, nullptr, nullptr, &type, nullptr, &bytes) == ERROR_SUCCESS &&
        type == REG_SZ) {
        std::vector<WCHAR> text(bytes / sizeof(WCHAR) + 1, 0);
        if (RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(text.data()),
                             &bytes) == ERROR_SUCCESS) {
            value = QString::fromWCharArray(text.data());
        }
    }
    RegCloseKey(key);
    return value;
}

// In the build tree the module sits beside the host; installed, in our private library folder.
QString moduleBesideHost() {
    const QDir hostFolder = QFileInfo(QString::fromStdWString(moduleFileName(nullptr))).dir();
    const QString beside = hostFolder.filePath(VOXALIS_MODULE_FILE_NAME);
    if (QFileInfo::exists(beside)) {
        return beside;
    }
    return QDir(hostFolder.filePath(VOXALIS_PLUGIN_FOLDER)).filePath(VOXALIS_MODULE_FILE_NAME);
}

// Modules stay loaded for the whole run, as in the shell's host; each is asked at the end
// whether it could be unloaded.
class Modules {
public:
    HMODULE load(const QString& path) {
        const auto found = loaded_.find(path);
        if (found != loaded_.end()) {
            return found->second;
        }
        const HMODULE module = LoadLibraryW(path.toStdWString().c_str());
        if (module != nullptr) {
            loaded_.emplace(path, module);
        }
        return module;
    }

    void reportUnload() const {
        for (const auto& [path, module] : loaded_) {
            const auto canUnload = procAddress<NoArgumentFunction>(module, "DllCanUnloadNow");
            if (canUnload != nullptr) {
                const HRESULT result = canUnload();
                std::printf("DllCanUnloadNow: %s (%s)\n", result == S_OK ? "S_OK" : "S_FALSE",
                            qPrintable(path));
            }
        }
    }

private:
    std::map<QString, HMODULE> loaded_;
};

int runRegistration(const Options& options, Modules& modules) {
    const QString path = options.module.isEmpty() ? moduleBesideHost() : options.module;
    const HMODULE module = modules.load(path);
    const char* entry = options.registerModule ? "DllRegisterServer" : "DllUnregisterServer";
    const auto function =
        module != nullptr ? procAddress<NoArgumentFunction>(module, entry) : nullptr;
    if (function == nullptr) {
        std::fprintf(stderr, "voxalis-thumb: cannot load %s from %s\n", entry, qPrintable(path));
        return kModuleFailed;
    }
    const HRESULT result = function();
    std::printf("%s: %s  %s\n", entry, qPrintable(hresultText(result)), qPrintable(path));
    std::printf("registry: %s\n", registryLocation().c_str());
    return SUCCEEDED(result) ? kSuccess : kRegistrationFailed;
}

struct Outcome {
    ExitCode code;
    QString detail;
};

// The bitmap's pixels, top row first. GetObject gives a DIB section's size but not the order
// of its rows (Windows reports the height positive either way); GetDIBits copies the rows in
// the order asked for.
QImage imageOf(HBITMAP bitmap, WTS_ALPHATYPE alpha) {
    BITMAP header{};
    if (GetObject(bitmap, sizeof(header), &header) != sizeof(header) || header.bmWidth < 1 ||
        header.bmHeight < 1) {
        return {};
    }
    QImage image(header.bmWidth, header.bmHeight,
                 alpha == WTSAT_ARGB ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (image.isNull()) {
        return {};
    }
    BITMAPINFO info{};
    info.bmiHeader = {
        sizeof(BITMAPINFOHEADER), header.bmWidth, -header.bmHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    const HDC screen = GetDC(nullptr);
    const int lines =
        GetDIBits(screen, bitmap, 0, UINT(header.bmHeight), image.bits(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    return lines == header.bmHeight ? image : QImage();
}

Outcome thumbnail(const QString& file, const QString& outPath, const Options& options,
                  Modules& modules) {
    if (!QFileInfo::exists(file)) {
        return {kMissingFile, "missing file"};
    }
    CLSID clsid = CLSID_RecipeThumbnailProvider;
    QString modulePath = options.module;
    if (modulePath.isEmpty()) {
        const std::wstring extensionKey =
            L"." + QFileInfo(file).suffix().toStdWString() + kThumbnailHandler;
        const QString clsidText = defaultValue(extensionKey);
        if (clsidText.isEmpty() ||
            FAILED(CLSIDFromString(clsidText.toStdWString().c_str(), &clsid))) {
            return {kNoHandler, "no handler registered for ." + QFileInfo(file).suffix()};
        }
        modulePath = defaultValue(L"CLSID\\" + clsidText.toStdWString() + L"\\InprocServer32");
        if (modulePath.isEmpty()) {
            return {kNoHandler, "no server registered for " + clsidText};
        }
    }
    const HMODULE module = modules.load(modulePath);
    const auto getClassObject =
        module != nullptr ? procAddress<GetClassObjectFunction>(module, "DllGetClassObject")
                          : nullptr;
    if (getClassObject == nullptr) {
        return {kModuleFailed, "module does not load: " + modulePath};
    }
    ComPtr<IClassFactory> factory;
    HRESULT result = getClassObject(clsid, IID_IClassFactory,
                                    reinterpret_cast<void**>(factory.ReleaseAndGetAddressOf()));
    ComPtr<IInitializeWithFile> initializer;
    if (SUCCEEDED(result)) {
        result =
            factory->CreateInstance(nullptr, IID_IInitializeWithFile,
                                    reinterpret_cast<void**>(initializer.ReleaseAndGetAddressOf()));
    }
    if (FAILED(result)) {
        return {kModuleFailed, "no provider: " + hresultText(result)};
    }
    // Unit for unit: a name that is no UTF-8 reaches the module as the lone surrogates that
    // keep its bytes, which a conversion to UTF-32 would replace.
    const std::wstring wide(file.utf16(), file.utf16() + file.size());
    const HRESULT initialized = initializer->Initialize(wide.c_str(), STGM_READ);
    ComPtr<IThumbnailProvider> provider;
    HBITMAP bitmap = nullptr;
    WTS_ALPHATYPE alpha = WTSAT_UNKNOWN;
    if (SUCCEEDED(initializer->QueryInterface(
            IID_IThumbnailProvider, reinterpret_cast<void**>(provider.ReleaseAndGetAddressOf())))) {
        provider->GetThumbnail(options.size > 0 ? UINT(options.size) : kCacheSide, &bitmap, &alpha);
    }
    if (bitmap == nullptr) {
        return {kNoBitmap, "no bitmap (Initialize " + hresultText(initialized) + ")"};
    }
    QImage image = imageOf(bitmap, alpha);
    if (options.size > 0) {
        image =
            image.scaled(options.size, options.size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    const bool saved = !image.isNull() && image.save(outPath, "PNG");
    const QSize size = image.size();
    DeleteObject(bitmap);
    if (!saved) {
        return {kNoBitmap, "cannot write " + outPath};
    }
    return {kSuccess,
            QStringLiteral("%1x%2 -> %3").arg(size.width()).arg(size.height()).arg(outPath)};
}

// The module lets no exception out; the host's own work on a bitmap (a picture of 2560
// pixels a side is 26 MB twice over) may run out of memory too, and then that file has none.
Outcome thumbnailOrNone(const QString& file, const QString& outPath, const Options& options,
                        Modules& modules) {
    try {
        return thumbnail(file, outPath, options, modules);
    } catch (const std::bad_alloc&) {
        return {kNoBitmap, "out of memory"};
    }
}

} // namespace

int main(int argc, char** argv) {
    restartWithHugePageHeap(argv);
    // Before the arguments become names: file names that are no UTF-8 keep their bytes.
    keepFileNamesWhole();
    QCoreApplication::setApplicationName(QStringLiteral("voxalis-thumb"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VOXALIS_VERSION));
    QCommandLineParser parser;
    Options options;
    const Parsed parsed = parse(argc, argv, parser, options);
    if (parsed == Parsed::Help || parsed == Parsed::Version) {
        // Only to print: the module starts the host's application itself, as in the shell.
        QCoreApplication app(argc, argv);
        if (parsed == Parsed::Help) {
            parser.showHelp(kSuccess);
        }
        parser.showVersion();
    }
    if (parsed == Parsed::Bad) {
        std::fprintf(stderr, "usage: voxalis-thumb --register | --unregister [--module PATH]\n"
                             "       voxalis-thumb [--module PATH] [-s SIZE] [-o OUT] FILE...\n");
        return kUsage;
    }
    Modules modules;
    if (options.registerModule || options.unregisterModule) {
        return runRegistration(options, modules);
    }
    // One file and an OUT that is no folder: OUT is the picture. Otherwise a folder of them.
    const bool outIsFile = options.files.size() == 1 && !options.out.isEmpty() &&
                           !QFileInfo(options.out).isDir() && options.out.endsWith(".png");
    const QDir folder(options.out.isEmpty() || outIsFile ? QStringLiteral(".") : options.out);
    if (!outIsFile) {
        QDir().mkpath(folder.path());
    }
    int exitCode = kSuccess;
    for (const QString& file : options.files) {
        const QString outPath =
            outIsFile ? options.out : folder.filePath(QFileInfo(file).fileName() + ".png");
        QElapsedTimer timer;
        timer.start();
        const Outcome outcome = thumbnailOrNone(file, outPath, options, modules);
        std::printf("%-10s %8.1f ms  %s  %s\n", outcome.code == kSuccess ? "ok" : "FAILED",
                    timer.nsecsElapsed() / 1e6, qPrintable(file), qPrintable(outcome.detail));
        std::fflush(stdout);
        if (exitCode == kSuccess) {
            exitCode = outcome.code;
        }
    }
    modules.reportUnload();
    return exitCode;
}
