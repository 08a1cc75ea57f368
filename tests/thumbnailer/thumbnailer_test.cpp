// The thumbnailer as a file manager runs it: one process per file, judged by its exit code,
// its output file and its stderr.

#include "files.h"
#include "mesh_writers.h"
#include "preview_picture.h"
#include "ring_picture.h"

#include <QDir>
#include <QProcess>
#include <QUrl>

#include <gtest/gtest.h>

#include <sys/stat.h>

// The output folder: private, as file managers make it, and /tmp in the sandbox.
static QString out() {
    const QString folder = testDataHome() + "/out";
    QDir().mkpath(folder);
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return folder;
}

// The exit code and stderr of a run without a home or a display and with the output folder for
// /tmp, as in the sandbox. The data home must stay untouched.
static std::pair<int, QByteArray> thumbnailer(const QStringList& arguments) {
    QProcess process;
    process.start("env", QStringList{"-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u",
                                     "XDG_RUNTIME_DIR", "HOME=/nonexistent",
                                     "XDG_DATA_HOME=" + testDataHome() + "/never-made",
                                     "TMPDIR=" + out(), VOXALIS_THUMBNAILER} +
                             arguments);
    EXPECT_TRUE(process.waitForFinished(60000));
    EXPECT_FALSE(QDir(testDataHome() + "/never-made").exists());
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardError()};
}

TEST(Thumbnailer, WritesTheJobsPictureOrNothingWithOneLineOrExitsWithTwoOnBadUsage) {
    const QString sources = testDataHome() + "/sources/", picture = out() + "/picture.png";
    const QString ring = writeSource("ring.LQX", ringLqx(300)), large = sources + "large.lqx";
    const auto written = [&](const QStringList& arguments) {
        EXPECT_EQ(thumbnailer(arguments + QStringList{picture}), std::make_pair(0, QByteArray()));
        // No temporary or runtime file beside the picture.
        EXPECT_EQ(QDir(out()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                  QStringList{"picture.png"});
        const QImage image(picture);
        QFile::remove(picture);
        return image.convertToFormat(QImage::Format_ARGB32);
    };
    // The job's picture unchanged, from a path or a file URI, at both ends of the sizes and at
    // the default, which is less than the preview's own.
    const std::pair<QStringList, int> previews[] = {
        {{"-s", "4096", ring}, 4096},
        {{"-s", "1", QUrl::fromLocalFile(ring).toString()}, 1},
        {{ring}, 256}};
    for (const auto& [arguments, size] : previews) {
        EXPECT_EQ(written(arguments),
                  previewPicture(ring, size).convertToFormat(QImage::Format_ARGB32))
            << size;
    }
    // A mesh renders without a display.
    const QImage mesh = written({"-s", "128", writeSource("cube.stl", binaryStl(cube(20)))});
    ASSERT_EQ(mesh.size(), QSize(128, 128));
    EXPECT_NE(mesh.pixel(64, 64), mesh.pixel(0, 0));

    // Sparse: one byte over the sliced-file limit without writing 500 MiB.
    ASSERT_TRUE(QFile::copy(ring, large) && QFile::resize(large, 524288001));
    ASSERT_EQ(mkfifo(QFile::encodeName(sources + "pipe.lqx"), 0600), 0);
    // The input, the output and the line on stderr, %1 standing for the input, %2 the output.
    const QString notAFile = "%1: information : makePicture : 1 not a regular file %1\n";
    const QString refused[][3] = {
        {sources + "pipe.lqx", picture, notAFile},
        {sources + "missing.lqx", picture, notAFile},
        {large, picture,
         "%1: information : myFileThumbnail::loadKvrdlpAndLqx : 41 the file is too large %1\n"},
        {ring, testDataHome() + "/no-such-folder/ring.png",
         "cannot write %2: No such file or directory\n"}};
    for (const auto& [input, output, error] : refused) {
        const auto [exitCode, standardError] = thumbnailer({input, output});
        EXPECT_EQ(exitCode, 1);
        EXPECT_EQ(QString(standardError),
                  "voxalis-thumbnailer: " +
                      QString(error).replace("%1", input).replace("%2", output));
        EXPECT_TRUE(QDir(out()).isEmpty()) << "an output or a temporary file was left behind";
    }
    const QStringList usage[] = {{},
                                 {ring},
                                 {ring, ""},
                                 {"-s", "0", ring, picture},
                                 {"-s", "4097", ring, picture},
                                 {"-s", "big", ring, picture},
                                 {"--bogus", ring, picture}};
    for (const QStringList& arguments : usage) {
        EXPECT_EQ(thumbnailer(arguments).first, 2) << qPrintable(arguments.join(' '));
    }
    EXPECT_EQ(thumbnailer({"--help"}).first, 0);
    EXPECT_EQ(thumbnailer({"--version"}).first, 0);
}
