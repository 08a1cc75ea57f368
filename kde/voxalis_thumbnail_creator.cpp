// Dolphin's previews of our files. The plug-in draws nothing itself: it runs the installed
// voxalis-thumbnailer, the program GNOME's and Xfce's file managers run, as a child process.
// A file that crashes the engine or keeps it busy past the time limit then costs only its own
// preview, while the thumbnail worker that loaded us goes on with the others; and the pictures
// are those of the other desktops by construction.

#include "picture_sides.h"

#include <KIO/ThumbnailCreator>
#include <KPluginFactory>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <dlfcn.h>

#include <algorithm>
#include <atomic>

namespace {

// The engine bounds every file at 20 s; the 5 s beyond cover the program's start on a busy
// machine. A program still running then is stopped, and the file gets no preview.
constexpr int kTimeLimitMs = 25000;
// The worker asks for one preview after the other. Once a file has run out of time, the next
// slow ones would each hold the folder for as long again, so later files get what an ordinary
// file needs (under a second, three at most for any file of 10 MB) with room to spare.
constexpr int kLaterTimeLimitMs = 5000;
// Where an install under a prefix of its own puts the plug-in, below that prefix.
constexpr int kPluginFolderDepth = 5; // lib/qt5/plugins/kf5/thumbcreator

// Whether a file has run out of time in this worker.
std::atomic<bool> anyFileTimedOut{false};

// Our own program, where the install that placed this plug-in put it: PREFIX/bin under a
// prefix of its own, which keeps the plug-in at PREFIX/lib/qt5/plugins; else (the plug-in in
// Qt's folder) the prefix the build was made for. Never what some other freedesktop entry
// names.
QString installedThumbnailer() {
    Dl_info self{};
    if (dladdr(reinterpret_cast<const void*>(&installedThumbnailer), &self) != 0 &&
        self.dli_fname != nullptr) {
        QDir prefix = QFileInfo(QFile::decodeName(self.dli_fname)).absoluteDir();
        bool climbed = true;
        for (int i = 0; i < kPluginFolderDepth && climbed; ++i) {
            climbed = prefix.cdUp();
        }
        const QString beside = prefix.filePath(QStringLiteral("bin/voxalis-thumbnailer"));
        if (climbed && QFileInfo(beside).isExecutable()) {
            return beside;
        }
    }
    const QString built = QStringLiteral(VOXALIS_INSTALLED_THUMBNAILER);
    return QFileInfo(built).isExecutable() ? built : QString();
}

} // namespace

class VoxalisThumbnailCreator : public KIO::ThumbnailCreator {
    Q_OBJECT

public:
    VoxalisThumbnailCreator(QObject* parent, const QVariantList& args)
        : KIO::ThumbnailCreator(parent, args) {}

    KIO::ThumbnailResult create(const KIO::ThumbnailRequest& request) override {
        const QString source = request.url().toLocalFile();
        const QString program = installedThumbnailer();
        const QSize target = request.targetSize();
        const int side = std::clamp(std::max(target.width(), target.height()), 1, kLargestSide);
        // A folder of our own: nobody else can put a picture where we read ours.
        const QTemporaryDir folder;
        if (source.isEmpty() || program.isEmpty() || !folder.isValid()) {
            return KIO::ThumbnailResult::fail();
        }
        const QString output = folder.filePath(QStringLiteral("thumbnail.png"));
        QProcess thumbnailer;
        thumbnailer.setStandardOutputFile(QProcess::nullDevice());
        thumbnailer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        thumbnailer.start(program, {QStringLiteral("-s"), QString::number(side), source, output});
        if (!thumbnailer.waitForFinished(anyFileTimedOut ? kLaterTimeLimitMs : kTimeLimitMs)) {
            anyFileTimedOut = true;
            thumbnailer.kill();
            thumbnailer.waitForFinished();
            return KIO::ThumbnailResult::fail();
        }
        if (thumbnailer.exitStatus() != QProcess::NormalExit || thumbnailer.exitCode() != 0) {
            return KIO::ThumbnailResult::fail();
        }
        const QImage picture(output, "PNG");
        return picture.isNull() ? KIO::ThumbnailResult::fail()
                                : KIO::ThumbnailResult::pass(picture);
    }
};

K_PLUGIN_CLASS_WITH_JSON(VoxalisThumbnailCreator, "voxalisthumbnail.json")

#include "voxalis_thumbnail_creator.moc"
