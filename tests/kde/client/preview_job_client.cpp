// Dolphin's road to a preview, as a test: KIO::PreviewJob with Dolphin's set of plug-ins
// (PreviewJob::defaultPlugins) over every sample, each preview compared with the picture the
// installed thumbnailer writes for the same file and size with no Qt platform named. One line
// per file and size, with the time since the previous preview (the job makes them in turn):
//
//   preview_job_client THUMBNAILER SAMPLES REFERENCES [--without=NAME,...] [--others=NAME,...]
//                      SIZE...
//
// REFERENCES keeps the thumbnailer's pictures, made on first need, so runs in other
// environments compare with the same ones. The samples named by --without must get no preview;
// those named by --others are of a type that another of Dolphin's plug-ins claims, which KIO
// then prefers to our .thumbnailer entry (KF6 does), so their previews are not ours to judge;
// all others must get theirs.
// Exit 0 when every preview arrived and is right, 1 otherwise.

#include <KFileItem>
#include <KIO/PreviewJob>
#include <KPluginMetaData>

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QUrl>

#include <cstdio>
#include <memory>

namespace {

const QStringList kSamples = {
    "sample.kvrdlp",      "sample.lqx",     "sample.photon",    "sample.fdg",
    "sample.gf",          "sample.photons", "sample.svgx",      "sample.voxalis",
    "sample.gcode",       "sample.bgcode",  "sample.slc",       "sample.stl",
    "sample-ascii.stl",   "sample.obj",     "sample.3mf",       "sample-mesh.3mf",
    "sample-project.3mf", "sample.ply",     "sample-cloud.ply",
};
// Our KF5 plug-in, or for KF6 our .thumbnailer entry, by the name KIO lists it under.
const QString kOurPlugin = QStringLiteral(VOXALIS_PREVIEW_PLUGIN);

// What the thumbnailer itself writes for `path` at `size`, run with no Qt platform named.
QImage reference(const QString& thumbnailer, const QDir& references, const QString& path,
                 int size) {
    const QString out = references.absoluteFilePath(
        QStringLiteral("%1-%2.png").arg(QFileInfo(path).fileName()).arg(size));
    if (!QFile::exists(out)) {
        QProcess run;
        run.start(QStringLiteral("env"),
                  {QStringLiteral("-u"), QStringLiteral("QT_QPA_PLATFORM"), thumbnailer,
                   QStringLiteral("-s"), QString::number(size), path, out});
        run.waitForFinished(-1);
    }
    return QImage(out);
}

// The problem with one preview, empty when it is right. The thumbnailer's own tests judge its
// pictures (their sizes, and a sample's picture rather than a placeholder); here the preview
// must be that picture unchanged.
QString problemOf(const QImage* got, const QImage& want) {
    if (got == nullptr) {
        return QStringLiteral("no preview");
    }
    // The worker hands pictures over premultiplied.
    const auto premultiplied = QImage::Format_ARGB32_Premultiplied;
    if (want.isNull() ||
        got->convertToFormat(premultiplied) != want.convertToFormat(premultiplied)) {
        return QStringLiteral("not the thumbnailer's picture");
    }
    return {};
}

// The enabled plug-in other than ours that names the file's type, if any. KIO takes a plug-in
// that names the type itself before one that names a type it inherits from.
QString otherPluginFor(const KFileItem& item, const QStringList& enabled) {
    for (const KPluginMetaData& plugin : KIO::PreviewJob::availableThumbnailerPlugins()) {
        if (plugin.pluginId() != kOurPlugin && enabled.contains(plugin.pluginId()) &&
            plugin.mimeTypes().contains(item.mimetype())) {
            return plugin.pluginId();
        }
    }
    return {};
}

// The names an option NAME=A,B,... gives, taken off the front of `arguments`.
QStringList takeList(QStringList& arguments, const QString& option) {
    const QString prefix = option + QLatin1Char('=');
    for (int i = 0; i < arguments.size(); ++i) {
        if (arguments[i].startsWith(prefix)) {
            return arguments.takeAt(i).mid(prefix.size()).split(QLatin1Char(','));
        }
    }
    return {};
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    QStringList sizes = arguments.mid(4);
    const QStringList without = takeList(sizes, QStringLiteral("--without"));
    const QStringList others = takeList(sizes, QStringLiteral("--others"));
    if (sizes.isEmpty()) {
        return 1; // no preview would be judged
    }
    const QString thumbnailer = arguments[1];
    const QDir samples(arguments[2]);
    const QDir references(arguments[3]);
    const QStringList plugins = KIO::PreviewJob::defaultPlugins();
    int problems = 0;
    if (!plugins.contains(kOurPlugin)) {
        std::fprintf(stderr, "%s is not among the default plug-ins: %s\n", qPrintable(kOurPlugin),
                     qPrintable(plugins.join(QLatin1Char(' '))));
        ++problems;
    }
    for (const QString& sizeText : sizes) {
        const int size = sizeText.toInt();
        KFileItemList items;
        for (const auto& sample : kSamples) {
            items.append(KFileItem(QUrl::fromLocalFile(samples.absoluteFilePath(sample))));
        }
        QHash<QString, QImage> previews;
        QHash<QString, qint64> milliseconds;
        QElapsedTimer clock;
        clock.start();
        // Ours to delete, so its temporary folder goes before the next size or the exit.
        std::unique_ptr<KIO::PreviewJob> job(KIO::filePreview(items, QSize(size, size), &plugins));
        job->setAutoDelete(false);
        QObject::connect(job.get(), &KIO::PreviewJob::gotPreview,
                         [&](const KFileItem& item, const QPixmap& pixmap) {
                             previews.insert(item.name(), pixmap.toImage());
                             milliseconds.insert(item.name(), clock.restart());
                         });
        QEventLoop loop;
        QObject::connect(job.get(), &KJob::result, &loop, &QEventLoop::quit);
        loop.exec();
        for (const auto& item : std::as_const(items)) {
            const QString sample = item.name();
            const QString path = samples.absoluteFilePath(sample);
            const auto found = previews.constFind(sample);
            const QImage* got = found == previews.constEnd() ? nullptr : &found.value();
            const QString other = otherPluginFor(item, plugins);
            // A note says why a preview is wrong, or whose it is when it is not ours.
            bool ok = false;
            QString note;
            if (without.contains(sample)) {
                ok = got == nullptr;
                note = ok ? QString() : QStringLiteral("a preview of a failure");
            } else if (others.contains(sample)) {
                ok = !other.isEmpty();
                note = ok ? QStringLiteral("served by ") + other
                          : QStringLiteral("no other plug-in claims its type");
            } else if (!other.isEmpty()) {
                note = QStringLiteral("its type is claimed by ") + other;
            } else {
                note = problemOf(got, reference(thumbnailer, references, path, size));
                ok = note.isEmpty();
            }
            std::printf("%-18s %4d  %-4s %6.2f s %s\n", qPrintable(sample), size,
                        ok ? "ok" : "FAIL", milliseconds.value(sample) / 1000.0, qPrintable(note));
            problems += ok ? 0 : 1;
        }
    }
    std::fflush(stdout);
    return problems == 0 ? 0 : 1;
}
