// Dolphin's previews of our files. The plug-in draws nothing itself: it runs the installed
// voxalis-thumbnailer, the program GNOME's and Xfce's file managers run, as a child process.
// A file that crashes the engine or keeps it busy past the time limit then costs only its own
// preview, while the thumbnail worker that loaded us goes on with the others; and the pictures
// are those of the other desktops by construction.

#include <KIO/ThumbnailCreator>
#include <KPluginFactory>

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>

namespace {

// The engine gives up on a mesh after 20 s; the 5 s beyond cover the program's start on a busy
// machine. A program still running then is stopped, and the file gets no preview.
constexpr int kTimeLimitMs = 25000;
// The largest side the thumbnailer draws.
constexpr int kLargestSide = 4096;

// The program the installed freedesktop entry names: the one place that records where the
// install put it, found through the data folders a session reads (XDG_DATA_DIRS).
QString installedThumbnailer() {
    const QString entry =
        QStandardPaths::locate(QStandardPaths::GenericDataLocation,
                               QStringLiteral("thumbnailers/voxalis-thumbnail.thumbnailer"));
    QFile file(entry);
    if (entry.isEmpty() || !file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return {};
    }
    QTextStream lines(&file);
    const QString key = QStringLiteral("TryExec=");
    while (!lines.atEnd()) {
        const QString line = lines.readLine().trimmed();
        if (line.startsWith(key)) {
            return line.mid(key.size());
        }
    }
    return {};
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
        if (!thumbnailer.waitForFinished(kTimeLimitMs)) {
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
