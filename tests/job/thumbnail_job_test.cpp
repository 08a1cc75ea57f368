#include "current_file_path.h"
#include "file_names.h"
#include "files.h"
#include "input_path.h"
#include "module_handle.h"
#include "threemf_writer.h"
#include "thumbnail_job.h"

#include <QDir>
#include <QFile>
#include <QLibraryInfo>
#include <QProcess>

#include <thread>

#include <gtest/gtest.h>

// Stands in for both producers, recording each call: producer, source, folder, and the file
// GetThumbnail would look up meanwhile.
class RecordingProducers final : public ThumbnailProducers {
public:
    bool extractPreview(const QString& source, const QString& imageDir) override {
        calls.append({"preview", source, imageDir, currentFilePath});
        return previewShown;
    }
    bool renderMesh(const QString& source, const QString& imageDir) override {
        calls.append({"renderer", source, imageDir, currentFilePath});
        return rendererReady;
    }

    HRESULT run(const QString& path) { return runThumbnailJob(path.toStdWString().c_str(), *this); }

    QList<QStringList> calls;
    bool previewShown = true;
    bool rendererReady = true;
};

TEST(ThumbnailJob, RoutesBySuffixAndRemembersEachThreadsFile) {
    moduleHandle = GetModuleHandleW(nullptr);
    RecordingProducers producers;
    const QString root = settledDataRoot(), imageDir = root + "/db/thumbnailImage";
    const char* preview = "a.LQX"; // the reader tests route a file of every preview suffix
    QString path;
    // A 3MF takes the preview way only when its package names a thumbnail; this one is none.
    for (const QString name :
         {preview, "part.backup.stl", "z.photonsx", "w.lqx.zip", "no_suffix", "plate.3MF"}) {
        path = writeSource(name, "content");
        producers.calls.clear();
        EXPECT_EQ(producers.run(path), S_OK) << qPrintable(name);
        // While the renderer runs, the picture folder stands in for the file.
        EXPECT_EQ(producers.calls,
                  (QList<QStringList>{name == preview
                                          ? QStringList{"preview", path, imageDir, path}
                                          : QStringList{"renderer", path, imageDir, imageDir}}));
        EXPECT_EQ(currentFilePath, path);
    }
    QString theirs; // as the other thread reads it back after its own job
    std::thread([&] {
        RecordingProducers own;
        own.run(writeSource("theirs.lqx", "content"));
        theirs = currentFilePath;
    }).join();
    EXPECT_EQ(theirs, testDataHome() + "/sources/theirs.lqx");
    EXPECT_EQ(currentFilePath, path);

    // A package whose own picture cannot be used goes on to the renderer.
    ThreeMfPackage plate;
    plate.model = threeMfModel({{1, cube(1), {}, {}}}, {{1, {}, {}}});
    plate.thumbnail = "not a picture";
    path = writeSource("plate.3mf", plate.bytes());
    producers.calls.clear();
    producers.previewShown = false;
    EXPECT_EQ(producers.run(path), S_OK);
    EXPECT_EQ(producers.calls, (QList<QStringList>{{"preview", path, imageDir, path},
                                                   {"renderer", path, imageDir, imageDir}}));
    EXPECT_EQ(currentFilePath, path);

    producers.rendererReady = false; // leaves no file to look up
    EXPECT_EQ(producers.run(writeSource("broken.stl", "content")), S_FALSE);
    EXPECT_TRUE(currentFilePath.isEmpty());
    moduleHandle = nullptr; // never attached: nothing happens
    EXPECT_EQ(producers.run(writeSource("later.lqx", "content")), S_FALSE);
    EXPECT_TRUE(currentFilePath.isEmpty());
}

// The thumbnailer's INPUT: a file URI of this host, in any letter case, gives its path byte for
// byte, a name that is no UTF-8 included; another host's gives nothing.
TEST(InputPath, LocalFileUrisGiveTheirPathsByteForByte) {
    keepFileNamesWhole();
    const std::pair<QString, QByteArray> inputs[] = {
        {"file://LocalHost/tmp/a%20b.stl", "/tmp/a b.stl"},
        {"file:///tmp/bad%FF%FE.stl", "/tmp/bad\xFF\xFE.stl"},
        {"file://server/share/x.stl", ""},
    };
    for (const auto& [input, bytes] : inputs) {
        EXPECT_EQ(QFile::encodeName(inputFilePath(input)), bytes) << qPrintable(input);
    }
}

// A host without a display, whose application the job starts unless the host has one. Our
// display-free plug-in is found through QT_PLUGIN_PATH (the build's bin folder); without it
// Qt falls back to offscreen: the sliced file is handled, the model gets no OpenGL and the log
// says so. A module installed with the plug-in's folder beside it finds it there, however long
// its folder's path and whatever bytes name it.
TEST(HeadlessHost, FallsBackToOffscreenWithoutOurPluginAndKeepsTheHostsApplication) {
    const QString lqx = writeSource("a.lqx", "x"), stl = writeSource("a.stl", "x"),
                  own = writeSource("own.lqx", "x");
    keepFileNamesWhole();
    const QString installed = testDataHome() + QFile::decodeName("/" + QByteArray(100, 'x') +
                                                                 "\xFF/" + QByteArray(200, 'y'));
    ASSERT_TRUE(QDir().mkpath(installed) && QFile::copy(VOXALIS_MODULE, installed + "/module.so") &&
                QFile::link(EGL_PLUGIN_FOLDER, installed + "/platforms"));
    // Qt searches the program's own folder anyway: a module elsewhere, Qt Core in Qt's library
    // folder, shows that the job puts the module's folder first in the search.
    const QString qt = QLibraryInfo::location(QLibraryInfo::LibrariesPath);
    const std::tuple<QStringList, QString, QString> runs[] = {
        {{"-u", "QT_PLUGIN_PATH", HEADLESS_HOST, lqx, stl},
         "hr=0\nhr=1\napp=QApplication args=1 platform=offscreen\n",
         qt},
        {{HEADLESS_HOST, "--own-app", own}, "hr=0\napp=QCoreApplication args=3 platform=\n", qt},
        {{"-u", "QT_PLUGIN_PATH", HEADLESS_HOST, "--module", installed + "/module.so", own},
         "hr=0\napp=QApplication args=1 platform=voxalis-egl\n",
         installed},
    };
    for (const auto& [command, printed, folder] : runs) {
        QProcess host;
        host.start("env", QString("-u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM").split(' ') +
                              command);
        EXPECT_TRUE(host.waitForFinished(60000));
        EXPECT_EQ(std::pair(host.exitStatus(), host.exitCode()), std::pair(QProcess::NormalExit, 0))
            << host.readAllStandardError().data();
        const QString output = QFile::decodeName(host.readAllStandardOutput());
        EXPECT_TRUE(output.startsWith(printed + "paths=" + folder + ";")) << qPrintable(output);
    }
    EXPECT_EQ(readFile(testDataHome() + "/VOXALIS_Thumbnail/VOXALIS_Thumbnail.log")
                  .count("   information    :    opengl version is not valid\r\n"),
              1);
}
