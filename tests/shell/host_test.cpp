#include "dlp_writer.h"
#include "files.h"
#include "mesh_writers.h"
#include "rle16_writer.h"

#include <QDir>
#include <QImage>
#include <QProcess>

#include <gtest/gtest.h>

namespace {

// The host binary as a user runs it, with a registry and a data folder of the test's own.
class Host : public ::testing::Test {
protected:
    void SetUp() override {
        environment = QProcessEnvironment::systemEnvironment();
        environment.insert("VOXALIS_REGISTRY", testDataHome() + "/registry.reg");
        out = testDataHome() + "/out";
    }

    int run(const QStringList& arguments) {
        QProcess host;
        host.setProcessEnvironment(environment);
        host.start(VOXALIS_THUMB, arguments);
        EXPECT_TRUE(host.waitForFinished(120000));
        output = QString::fromLocal8Bit(host.readAllStandardOutput());
        EXPECT_EQ(host.exitStatus(), QProcess::NormalExit)
            << host.readAllStandardError().constData();
        return host.exitCode();
    }

    QProcessEnvironment environment;
    QString out;
    QString output;
};

QByteArray lqx() {
    DlpFile file;
    file.width = 2;
    file.height = 2;
    file.picture = Rle16Writer().run(0, 2).run(0x8410, 2).bytes();
    return file.bytes();
}

TEST_F(Host, RegisteredModuleMakesThumbnailsOfAPreviewAndAMesh) {
    ASSERT_EQ(run({"--register"}), 0) << qPrintable(output);
    EXPECT_TRUE(output.contains("DllRegisterServer: 0x00000000")) << qPrintable(output);
    const QString part = writeSource("part.lqx", lqx());
    const QString model = writeSource("model.stl", binaryStl(sphere(5, 16, 32)));
    ASSERT_EQ(run({"-o", out, part, model}), 0) << qPrintable(output);
    EXPECT_TRUE(output.contains("DllCanUnloadNow: S_OK")) << qPrintable(output);

    const QImage preview(out + "/part.lqx.png");
    ASSERT_EQ(preview.size(), QSize(400, 400));
    EXPECT_EQ(preview.pixel(100, 300), 0xFFC1C1C1u);
    const QImage mesh(out + "/model.stl.png");
    ASSERT_EQ(mesh.size(), QSize(400, 400));
    EXPECT_EQ(qAlpha(mesh.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(mesh.pixel(200, 200)), 255);

    ASSERT_EQ(run({"-s", "64", "-o", out + "/small.png", part}), 0) << qPrintable(output);
    EXPECT_EQ(QImage(out + "/small.png").size(), QSize(64, 64));
}

TEST_F(Host, EachKindOfFailureHasItsOwnExitCode) {
    ASSERT_EQ(run({"--register"}), 0);
    EXPECT_EQ(run({"-o", out, testDataHome() + "/sources/nowhere.lqx"}), 2) << qPrintable(output);
    EXPECT_TRUE(output.contains("missing file"));
    EXPECT_EQ(run({"-o", out, writeSource("notes.txt", "x")}), 3) << qPrintable(output);
    EXPECT_TRUE(output.contains("no handler registered for .txt"));
    EXPECT_EQ(
        run({"--module", testDataHome() + "/none.so", "-o", out, writeSource("a.lqx", lqx())}), 4)
        << qPrintable(output);
    // An empty model gets no picture in this job.
    EXPECT_EQ(run({"-o", out, writeSource("empty.obj", "")}), 5) << qPrintable(output);
    EXPECT_EQ(run({"--bogus"}), 1);
}

TEST_F(Host, UnregisteredExtensionsHaveNoHandlerAnyMore) {
    ASSERT_EQ(run({"--register"}), 0);
    ASSERT_EQ(run({"--unregister"}), 0) << qPrintable(output);
    EXPECT_EQ(run({"-o", out, writeSource("part.lqx", lqx())}), 3) << qPrintable(output);
    // The module can still be named directly.
    EXPECT_EQ(run({"--module", VOXALIS_MODULE, "-o", out, writeSource("direct.lqx", lqx())}), 0)
        << qPrintable(output);
}

} // namespace
