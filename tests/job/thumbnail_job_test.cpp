#include "current_file_path.h"
#include "db_mutex.h"
#include "files.h"
#include "module_handle.h"
#include "statements.h"
#include "thumbnail_job.h"
#include "thumbnail_table.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QMutexLocker>
#include <QProcess>

#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

struct ProducerCall {
    QString producer;
    QString source;
    QString folder;
    QString currentFilePathDuring;
};

// Stands in for both producers: records how it was called and, when asked, saves a picture
// and writes the row the way a real producer does.
class RecordingProducers final : public ThumbnailProducers {
public:
    void extractPreview(const QString& source, const QString& root) override {
        calls.push_back({"preview", source, root, currentFilePath});
        if (recordPictures) {
            record(source, root + "/db/thumbnailImage");
        }
    }

    bool renderMesh(const QString& source, const QString& imageDir) override {
        calls.push_back({"renderer", source, imageDir, currentFilePath});
        if (recordPictures) {
            record(source, imageDir);
        }
        return rendererReady;
    }

    std::vector<ProducerCall> calls;
    bool rendererReady = true;
    bool recordPictures = false;

private:
    static void record(const QString& source, const QString& imageDir) {
        const QString picture = imageDir + "/0/" + QFileInfo(source).fileName() + ".png";
        QDir().mkpath(imageDir + "/0");
        QImage(4, 4, QImage::Format_ARGB32).save(picture);
        const auto seconds = [](const QString& path) {
            return static_cast<quint32>(QFileInfo(path).lastModified().toSecsSinceEpoch());
        };
        QMutexLocker lock(&dbMutex);
        writeThumbnailRow({picture, seconds(picture), source, seconds(source),
                           static_cast<quint32>(QFileInfo(source).size())},
                          OnLookupFailure::Insert);
    }
};

HRESULT runJob(const QString& path, ThumbnailProducers& producers) {
    return runThumbnailJob(path.toStdWString().c_str(), producers);
}

class ThumbnailJob : public ::testing::Test {
protected:
    void SetUp() override { moduleHandle = GetModuleHandleW(nullptr); }

    QString source(const QString& name) {
        const QString path = testDataHome() + "/sources/" + name;
        writeFile(path, "content");
        return path;
    }

    RecordingProducers producers;
};

TEST_F(ThumbnailJob, SlicedSuffixesGoToTheExtractorWhateverTheirCase) {
    for (const char* name : {"a.LQX", "b.Photon", "c.kvrdlp", "d.FDG", "e.gf", "f.svgx",
                             "g.voxalis", "model.photons", "model.photon"}) {
        producers.calls.clear();
        const QString path = source(name);
        EXPECT_EQ(runJob(path, producers), S_OK) << name;
        ASSERT_EQ(producers.calls.size(), 1u) << name;
        EXPECT_EQ(producers.calls[0].producer, "preview") << name;
        EXPECT_EQ(producers.calls[0].folder, dataRoot());
        EXPECT_EQ(currentFilePath, path);
    }
}

TEST_F(ThumbnailJob, EverythingElseGoesToTheRendererWithThePictureFolder) {
    for (const char* name :
         {"part.backup.stl", "x.OBJ", "y.slc", "z.photonsx", "w.lqx.zip", "no_suffix"}) {
        producers.calls.clear();
        const QString path = source(name);
        EXPECT_EQ(runJob(path, producers), S_OK) << name;
        ASSERT_EQ(producers.calls.size(), 1u) << name;
        EXPECT_EQ(producers.calls[0].producer, "renderer") << name;
        EXPECT_EQ(producers.calls[0].source, path);
        EXPECT_EQ(producers.calls[0].folder, dataRoot() + "/db/thumbnailImage");
        // While the renderer runs, the picture folder stands in for the file; afterwards the
        // file is what GetThumbnail looks up.
        EXPECT_EQ(producers.calls[0].currentFilePathDuring, producers.calls[0].folder);
        EXPECT_EQ(currentFilePath, path);
    }
}

TEST_F(ThumbnailJob, RendererNotReadyLeavesNoFileToLookUp) {
    producers.rendererReady = false;
    EXPECT_EQ(runJob(source("broken.stl"), producers), S_FALSE);
    EXPECT_TRUE(currentFilePath.isEmpty());
}

TEST_F(ThumbnailJob, UpToDatePictureRunsNoProducerAgain) {
    producers.recordPictures = true;
    const QString lqx = source("cached.lqx");
    const QString stl = source("cached.stl");
    ASSERT_EQ(runJob(lqx, producers), S_OK);
    ASSERT_EQ(runJob(stl, producers), S_OK);
    ASSERT_EQ(producers.calls.size(), 2u);

    EXPECT_EQ(runJob(lqx, producers), S_OK);
    EXPECT_EQ(currentFilePath, lqx);
    EXPECT_EQ(runJob(stl, producers), S_OK);
    EXPECT_EQ(currentFilePath, stl);
    EXPECT_EQ(producers.calls.size(), 2u);

    // A deleted picture is made again.
    QMutexLocker lock(&dbMutex);
    const Lookup row = lookupThumbnail(lqx, statements::kLookup);
    lock.unlock();
    ASSERT_EQ(row.status, LookupStatus::Found);
    ASSERT_TRUE(QFile::remove(row.row.thumPath));
    EXPECT_EQ(runJob(lqx, producers), S_OK);
    EXPECT_EQ(producers.calls.size(), 3u);
}

TEST_F(ThumbnailJob, ModuleNeverAttachedDoesNothing) {
    const QString earlier = source("earlier.lqx");
    ASSERT_EQ(runJob(earlier, producers), S_OK);
    moduleHandle = nullptr;
    EXPECT_EQ(runJob(source("later.lqx"), producers), S_FALSE);
    EXPECT_EQ(producers.calls.size(), 1u);
    EXPECT_EQ(currentFilePath, earlier);
}

// Qt searches the program's own folder anyway; a module elsewhere shows whether the job adds
// the module's folder.
QString qtCoreFolder() {
    char path[4096] = {};
    GetModuleFileNameA(GetModuleHandleW(L"libQt5Core.so.5"), path, sizeof(path));
    return QFileInfo(QString::fromLocal8Bit(path)).canonicalPath();
}

TEST_F(ThumbnailJob, StartsOneApplicationAndSearchesTheModuleFolderForPlugins) {
    ASSERT_EQ(QCoreApplication::instance(), nullptr);
    moduleHandle = GetModuleHandleW(L"libQt5Core.so.5");
    runJob(source("one.lqx"), producers);
    QCoreApplication* const first = QCoreApplication::instance();
    ASSERT_NE(qobject_cast<QApplication*>(first), nullptr);
    runJob(source("two.lqx"), producers);
    EXPECT_EQ(QCoreApplication::instance(), first);
    EXPECT_EQ(QCoreApplication::arguments().size(), 1);
    EXPECT_TRUE(QCoreApplication::libraryPaths().contains(qtCoreFolder()));
}

TEST_F(ThumbnailJob, EachThreadReadsBackItsOwnFile) {
    const QString mine = source("mine.lqx");
    const QString theirs = source("theirs.lqx");
    ASSERT_EQ(runJob(mine, producers), S_OK);
    QString seenByOtherThread;
    std::thread other([&] {
        RecordingProducers own;
        runJob(theirs, own);
        seenByOtherThread = currentFilePath;
    });
    other.join();
    EXPECT_EQ(seenByOtherThread, theirs);
    EXPECT_EQ(currentFilePath, mine);
}

// The host finds our display-free platform plug-in through QT_PLUGIN_PATH (the build's bin
// folder) unless `withPlugin` is false, as on a machine where it is missing.
QString runHeadlessHost(const QStringList& arguments, const QString& display = QString(),
                        bool withPlugin = true) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DISPLAY");
    if (!display.isEmpty()) {
        environment.insert("DISPLAY", display);
    }
    environment.remove("WAYLAND_DISPLAY");
    environment.remove("QT_QPA_PLATFORM");
    if (!withPlugin) {
        environment.remove("QT_PLUGIN_PATH");
    }
    QProcess host;
    host.setProcessEnvironment(environment);
    host.start(HEADLESS_HOST, arguments);
    EXPECT_TRUE(host.waitForFinished(60000));
    EXPECT_EQ(host.exitStatus(), QProcess::NormalExit) << host.readAllStandardError().constData();
    EXPECT_EQ(host.exitCode(), 0);
    return QString::fromLocal8Bit(host.readAllStandardOutput());
}

TEST(HeadlessHost, WithoutADisplayTheJobRendersThroughEglOrFallsBackToOffscreen) {
    struct Case {
        const char* name;
        QString display;
        bool withPlugin;
        const char* platform;
        bool openGl;
    };
    const Case cases[] = {
        {"no display", QString(), true, "voxalis-egl", true},
        {"unreachable display", QStringLiteral(":987"), true, "voxalis-egl", true},
        {"no display, no plug-in", QString(), false, "offscreen", false},
        {"unreachable display, no plug-in", QStringLiteral(":987"), false, "offscreen", false},
    };
    int n = 0;
    qsizetype notValidLines = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString lqx = testDataHome() + QStringLiteral("/sources/headless%1.lqx").arg(n);
        const QString stl = testDataHome() + QStringLiteral("/sources/headless%1.stl").arg(n++);
        writeFile(lqx, "x");
        writeFile(stl, "x");
        const QString output = runHeadlessHost({lqx, stl}, c.display, c.withPlugin);
        EXPECT_TRUE(output.contains(QStringLiteral("platform=") + c.platform))
            << qPrintable(output);
        // The sliced file is handled either way; only a usable OpenGL lets the model's job on.
        EXPECT_TRUE(output.contains(c.openGl ? "hr=0\nhr=0\n" : "hr=0\nhr=1\n"))
            << qPrintable(output);
        // The cases share one log; each case without OpenGL adds its one line.
        const qsizetype before = notValidLines;
        notValidLines = readFile(testDataHome() + "/VOXALIS_Thumbnail/VOXALIS_Thumbnail.log")
                            .count("   information    :    opengl version is not valid\r\n");
        EXPECT_EQ(notValidLines - before, c.openGl ? 0 : 1);
    }
}

TEST(HeadlessHost, HostWithItsOwnApplicationKeepsItAndStillGetsTheModuleFolder) {
    const QString lqx = testDataHome() + "/sources/own-app.lqx";
    writeFile(lqx, "x");
    const QString output = runHeadlessHost({"--own-app", lqx});
    EXPECT_TRUE(output.contains("hr=0\n")) << qPrintable(output);
    EXPECT_TRUE(output.contains("app=QCoreApplication platform=none")) << qPrintable(output);
    EXPECT_TRUE(output.contains(qtCoreFolder() + ";")) << qPrintable(output);
}

} // namespace
