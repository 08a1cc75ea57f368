// The thumbnailer as a file manager runs it: one process per file, judged by its exit code,
// its output file and its stderr.

#include "dlp_writer.h"
#include "files.h"
#include "mesh_writers.h"
#include "preview_picture.h"
#include "ring_picture.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QUrl>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

constexpr int kSize = 128;

struct Finished {
    int exitCode = -1;
    QByteArray standardError;
    QString output;
};

// Without a home or a display and with the output's folder for /tmp, as in the sandbox; the
// data home must stay untouched.
Finished runThumbnailer(const QStringList& arguments, const QString& output) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", "/nonexistent");
    environment.insert("XDG_DATA_HOME", testDataHome() + "/never-made");
    environment.remove("DISPLAY");
    environment.remove("WAYLAND_DISPLAY");
    environment.remove("XDG_RUNTIME_DIR");
    environment.insert("TMPDIR", QFileInfo(output).path());
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(VOXALIS_THUMBNAILER, arguments);
    EXPECT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_FALSE(QFileInfo::exists(testDataHome() + "/never-made"));
    return {process.exitCode(), process.readAllStandardError(), output};
}

QString outputPath(const QString& name) {
    return testDataHome() + "/out/" + name + ".png";
}

Finished thumbnail(const QString& input, const QString& name) {
    QDir().mkpath(testDataHome() + "/out");
    return runThumbnailer({"-s", QString::number(kSize), input, outputPath(name)},
                          outputPath(name));
}

// What the job layer makes of the file, which the program must have written unchanged.
void expectPictureOf(const Finished& run, const QString& source, PreviewOutcome expected) {
    EXPECT_EQ(run.exitCode, 0) << run.standardError.constData();
    PreviewOutcome outcome = PreviewOutcome::Refused;
    const QImage wanted = previewPicture(source, kSize, &outcome);
    EXPECT_EQ(outcome, expected);
    const QImage written(run.output);
    ASSERT_FALSE(written.isNull()) << qPrintable(run.output);
    EXPECT_EQ(written.convertToFormat(QImage::Format_ARGB32),
              wanted.convertToFormat(QImage::Format_ARGB32));
}

void expectNoThumbnail(const Finished& run) {
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_FALSE(QFileInfo::exists(run.output));
    EXPECT_TRUE(QDir(QFileInfo(run.output).path()).entryList(QDir::Files).isEmpty())
        << "a temporary file was left behind";
    EXPECT_EQ(run.standardError.count('\n'), 1) << run.standardError.constData();
    EXPECT_TRUE(run.standardError.endsWith('\n')) << run.standardError.constData();
}

TEST(Thumbnailer, WritesThePreviewForAPathAndAFileUri) {
    const QString lqx = writeSource("ring.LQX", ringLqx(160));
    expectPictureOf(thumbnail(lqx, "path"), lqx, PreviewOutcome::Preview);
    expectPictureOf(thumbnail(QUrl::fromLocalFile(lqx).toString(), "uri"), lqx,
                    PreviewOutcome::Preview);
}

TEST(Thumbnailer, WritesThePlaceholderForADamagedFile) {
    DlpFile damaged;
    damaged.width = 160;
    damaged.height = 160;
    damaged.picture = ringLqx(160).mid(200);
    damaged.dataOffset = 1 << 30;
    const QString lqx = writeSource("damaged.lqx", damaged.bytes());
    expectPictureOf(thumbnail(lqx, "damaged"), lqx, PreviewOutcome::Placeholder);
}

TEST(Thumbnailer, MeshesRenderWithoutADisplay) {
    const struct {
        const char* name;
        QByteArray bytes;
        bool drawn;
    } cases[] = {
        {"cube.stl", binaryStl(cube(20)), true},
        {"empty.stl", binaryStl({}), false},
    };
    // A private output folder, as file managers make it, must hold nothing but the picture.
    const QString folder = testDataHome() + "/private";
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ExeOwner));
    for (const auto& c : cases) {
        const QString output = folder + "/" + c.name + ".png";
        const Finished run = runThumbnailer(
            {"-s", QString::number(kSize), writeSource(c.name, c.bytes), output}, output);
        EXPECT_EQ(run.exitCode, 0) << c.name << run.standardError.constData();
        const QImage picture(output);
        EXPECT_EQ(picture.size(), QSize(kSize, kSize)) << c.name;
        const QRgb corner = picture.pixel(0, 0);
        EXPECT_EQ(picture.pixel(kSize / 2, kSize / 2) != corner, c.drawn) << c.name;
        EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                  QStringList{QString(c.name) + ".png"})
            << c.name;
        QFile::remove(output);
    }
}

TEST(Thumbnailer, RefusedFilesLeaveNoOutputAndOneLine) {
    const QString fifo = testDataHome() + "/sources/pipe.lqx";
    QDir().mkpath(QFileInfo(fifo).path());
    ASSERT_EQ(mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    const QString folder = testDataHome() + "/sources/folder.stl";
    QDir().mkpath(folder);
    // Sparse: one byte over the sliced-file limit without writing 500 MiB.
    const QString large = writeSource("large.lqx", ringLqx(16));
    ASSERT_TRUE(QFile::resize(large, 524288001));
    const struct {
        const char* name;
        QString input;
    } cases[] = {
        {"fifo", fifo},
        {"directory", folder},
        {"too-large", large},
        {"missing", testDataHome() + "/sources/missing.lqx"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        expectNoThumbnail(thumbnail(c.input, c.name));
    }
}

TEST(Thumbnailer, AnOutputThatCannotBeWrittenIsAFailure) {
    const QString lqx = writeSource("ring.lqx", ringLqx(16));
    const QString output = testDataHome() + "/no-such-folder/ring.png";
    expectNoThumbnail(runThumbnailer({"-s", "64", lqx, output}, output));
}

TEST(Thumbnailer, BadUsageExitsWithTwo) {
    const QString lqx = writeSource("ring.lqx", ringLqx(16));
    const QString out = outputPath("usage");
    const QStringList cases[] = {
        {},
        {lqx},
        {lqx, out, "extra"},
        {"-s", "0", lqx, out},
        {"-s", "4097", lqx, out},
        {"-s", "big", lqx, out},
        {"--bogus", lqx, out},
    };
    for (const QStringList& arguments : cases) {
        const Finished run = runThumbnailer(arguments, out);
        EXPECT_EQ(run.exitCode, 2) << qPrintable(arguments.join(' '));
        EXPECT_FALSE(QFileInfo::exists(out));
    }
    EXPECT_EQ(runThumbnailer({"--help"}, out).exitCode, 0);
    EXPECT_EQ(runThumbnailer({"--version"}, out).exitCode, 0);
}

} // namespace
