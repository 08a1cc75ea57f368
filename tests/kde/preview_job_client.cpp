// Dolphin's road to a preview, as a test: KIO::PreviewJob with Dolphin's set of plug-ins
// (PreviewJob::defaultPlugins) over every sample, each preview compared with the picture the
// installed thumbnailer writes for the same file and size with no Qt platform named. One line
// per file and size:
//
//   preview_job_client THUMBNAILER SAMPLES REFERENCES [--without=NAME,...] SIZE...
//
// REFERENCES keeps the thumbnailer's pictures, made on first need, so runs in other
// environments compare with the same ones. The samples named by --without must get no preview,
// and all others theirs.
// Exit 0 when every preview arrived and is right, 1 otherwise.

#include <KFileItem>
#include <KIO/PreviewJob>

#include <QDir>
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

namespace {

const QStringList kSamples = {
    "sample.kvrdlp",    "sample.lqx",     "sample.photon", "sample.fdg",
    "sample.gf",        "sample.photons", "sample.svgx",   "sample.voxalis",
    "sample.gcode",     "sample.bgcode",  "sample.slc",    "sample.stl",
    "sample-ascii.stl", "sample.obj",     "sample.3mf",    "sample-mesh.3mf",
};
const QString kOurPlugin = QStringLiteral("voxalisthumbnail");

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

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    QStringList sizes = arguments.mid(4);
    const QString withoutOption = QStringLiteral("--without=");
    QStringList without;
    if (!sizes.isEmpty() && sizes.first().startsWith(withoutOption)) {
        without = sizes.takeFirst().mid(withoutOption.size()).split(QLatin1Char(','));
    }
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
        auto* job = KIO::filePreview(items, QSize(size, size), &plugins);
        QObject::connect(job, &KIO::PreviewJob::gotPreview,
                         [&](const KFileItem& item, const QPixmap& pixmap) {
                             previews.insert(item.name(), pixmap.toImage());
                         });
        QEventLoop loop;
        QObject::connect(job, &KJob::result, &loop, &QEventLoop::quit);
        loop.exec();
        for (const auto& sample : kSamples) {
            const QString path = samples.absoluteFilePath(sample);
            const auto found = previews.constFind(sample);
            const QImage* got = found == previews.constEnd() ? nullptr : &found.value();
            const bool wanted = !without.contains(sample);
            const QString problem =
                !wanted ? (got == nullptr ? QString() : QStringLiteral("a preview of a failure"))
                        : problemOf(got, reference(thumbnailer, references, path, size));
            std::printf("%-18s %4d  %-4s %s\n", qPrintable(sample), size,
                        problem.isEmpty() ? "ok" : "FAIL", qPrintable(problem));
            problems += problem.isEmpty() ? 0 : 1;
        }
    }
    std::fflush(stdout);
    return problems == 0 ? 0 : 1;
}
