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

#include "placeholder_images.h"

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
#include <cstdlib>

namespace {

// Every sample, and whether its picture is a rendered mesh (always the size asked for) or a
// preview (fitted into it, never enlarged).
const QList<QPair<QString, bool>> kSamples = {
    {"sample.kvrdlp", false}, {"sample.lqx", false},      {"sample.photon", false},
    {"sample.fdg", false},    {"sample.gf", false},       {"sample.photons", false},
    {"sample.svgx", false},   {"sample.voxalis", false},  {"sample.slc", true},
    {"sample.stl", true},     {"sample-ascii.stl", true}, {"sample.obj", true},
    {"sample.3mf", false},    {"sample-mesh.3mf", true},
};
const QString kOurPlugin = QStringLiteral("voxalisthumbnail");

// The mean difference of two pictures of one size over all channels, premultiplied.
double meanDifference(const QImage& a, const QImage& b) {
    const QImage x = a.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int column = 0; column < x.width(); ++column) {
            sum += std::abs(qRed(p[column]) - qRed(q[column])) +
                   std::abs(qGreen(p[column]) - qGreen(q[column])) +
                   std::abs(qBlue(p[column]) - qBlue(q[column])) +
                   std::abs(qAlpha(p[column]) - qAlpha(q[column]));
        }
    }
    return sum / (4.0 * x.width() * x.height());
}

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

// The problem with one preview, empty when it is right.
QString problemOf(const QImage* got, const QImage& want, bool mesh, int size) {
    if (got == nullptr) {
        return QStringLiteral("no preview");
    }
    const QImage& image = *got;
    if (image.isNull()) {
        return QStringLiteral("a null preview");
    }
    const auto sizeOf = [](const QImage& i) {
        return QStringLiteral("%1x%2").arg(i.width()).arg(i.height());
    };
    if (std::max(image.width(), image.height()) > size ||
        (mesh && image.size() != QSize(size, size))) {
        return sizeOf(image) + QStringLiteral(" for size %1").arg(size);
    }
    if (want.isNull() || image.size() != want.size()) {
        return sizeOf(image) + QStringLiteral(", the thumbnailer's picture ") + sizeOf(want);
    }
    // The worker hands pictures over premultiplied.
    const auto premultiplied = QImage::Format_ARGB32_Premultiplied;
    if (image.convertToFormat(premultiplied) != want.convertToFormat(premultiplied)) {
        return QStringLiteral("not the thumbnailer's picture (mean difference %1)")
            .arg(meanDifference(image, want));
    }
    QImage damaged;
    QImage oldVersion;
    makeDamagedFileImage(damaged);
    makeOldVersionImage(oldVersion);
    for (const QImage& placeholder : {damaged, oldVersion}) {
        const QImage fitted =
            placeholder.scaled(image.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        if (meanDifference(image, fitted) < 8) {
            return QStringLiteral("a placeholder");
        }
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
        std::fprintf(stderr, "usage: preview_job_client THUMBNAILER SAMPLES REFERENCES "
                             "[--without=NAME,...] SIZE...\n");
        return 1;
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
            items.append(KFileItem(QUrl::fromLocalFile(samples.absoluteFilePath(sample.first))));
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
            const QString path = samples.absoluteFilePath(sample.first);
            const auto found = previews.constFind(sample.first);
            const QImage* got = found == previews.constEnd() ? nullptr : &found.value();
            const bool wanted = !without.contains(sample.first);
            const QString problem =
                !wanted ? (got == nullptr ? QString() : QStringLiteral("a preview of a failure"))
                        : problemOf(got, reference(thumbnailer, references, path, size),
                                    sample.second, size);
            std::printf("%-18s %4d  %-4s %s\n", qPrintable(sample.first), size,
                        problem.isEmpty() ? "ok" : "FAIL", qPrintable(problem));
            problems += problem.isEmpty() ? 0 : 1;
        }
    }
    std::fflush(stdout);
    return problems == 0 ? 0 : 1;
}
