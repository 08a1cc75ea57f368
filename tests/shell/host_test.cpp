#include "bgcode_writer.h"
#include "dlp_writer.h"
#include "file_names.h"
#include "files.h"
#include "gcode_writer.h"
#include "picture_files.h"
#include "ring_picture.h"
#include "rle16_writer.h"
#include "threemf_writer.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QProcess>

#include <gtest/gtest.h>

// The host binary as a user runs it, with a registry and a data folder of the test's own.
TEST(Host, RegisteredModuleMakesThumbnailsAndEachFailureHasItsOwnExitCode) {
    const QString home = testDataHome(), out = home + "/out";
    DlpFile lqx; // black above grey: a picture upside down shows
    lqx.width = lqx.height = 2;
    lqx.picture = Rle16Writer().run(0, 2).run(0x8410, 2).bytes();
    const QString part = writeSource("part.lqx", lqx.bytes());
    keepFileNamesWhole();
    const QString badName =
        QFile::decodeName(QFile::encodeName(home + "/sources/") + "bad\xFF.lqx");
    writeFile(badName, lqx.bytes());
    // A 3MF shows its first plate's picture, in its own shape and alpha, or else its model: the
    // COM path's own routing of the suffix, which no desktop client reaches.
    ThreeMfPackage plate;
    plate.model = threeMfModel({ThreeMfObject{1, cube(20), {}, {}}}, {ThreeMfReference{}});
    const QString model = writeSource("model.3mf", plate.bytes());
    QImage platePicture(80, 40, QImage::Format_ARGB32);
    platePicture.fill(0u);
    for (int y = 0; y < 40; ++y) {
        for (int x = 40; x < 80; ++x) {
            platePicture.setPixel(x, y, 0xFFCC2200u);
        }
    }
    QByteArray platePng;
    QBuffer png(&platePng);
    ASSERT_TRUE(png.open(QIODevice::WriteOnly) && platePicture.save(&png, "PNG"));
    plate.extraParts = {{"Metadata/plate_1.png", platePng, false, {}, {}}};
    const QString pictured = writeSource("pictured.3mf", plate.bytes());
    // G-code previews keep their shape and their clear background, in the cache's 400.
    const QImage ring = ringOnClear({480, 240}, qRgb(0x40, 0xA0, 0xE0));
    GcodeFile text;
    text.previews = {{"thumbnail", ring.size(), pngFile(ring), {}, {}, 78, true}};
    const QString gcode = writeSource("print.gcode", text.bytes());
    const QString bgcode =
        writeSource("print.bgcode",
                    BgcodeFile::sliced({bgcodeThumbnail(2, ring.size(), qoiFile(ring))}).bytes());
    // Copies of the module where the shell's 260 characters do not hold its path, and in a
    // folder whose name the file system encodes in more bytes than characters.
    const QString moduleName = QFileInfo(VOXALIS_MODULE).fileName();
    const QString deep = home + QString("/" + QString(90, 'x')).repeated(3) + "/" + moduleName;
    const QString accented = home + QString::fromUtf8("/d\xc3\xa9/") + moduleName;
    for (const QString& copy : {deep, accented}) {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(copy).path()) && QFile::copy(VOXALIS_MODULE, copy));
    }
    const std::tuple<QStringList, int, QString> runs[] = {
        {{"--register"}, 0, "DllRegisterServer: 0x00000000"},
        {{"-o", out, part}, 0, "DllCanUnloadNow: S_OK"},
        {{"-o", out, model, pictured}, 0, "400x400"},
        {{"-o", out, gcode, bgcode}, 0, "400x200"},
        {{"-o", out, home + "/sources/nowhere.lqx"}, 2, "missing file"},
        {{"-o", out, writeSource("notes.txt", "x")}, 3, "no handler registered for .txt"},
        {{"--module", home + "/none.so", "-o", out, part}, 4, "module does not load"},
        // An empty model gets no picture in this job.
        {{"-o", out, writeSource("empty.obj", "")}, 5, "no bitmap (Initialize 0x00000001)"},
        {{"--bogus"}, 1, ""},
        {{"-s", "4097", "-o", out, part}, 1, "usage"},
        {{"--unregister"}, 0, "DllUnregisterServer: 0x00000000"},
        // The module can still be named directly.
        {{"--module", VOXALIS_MODULE, "-s", "64", "-o", out + "/small.png", part}, 0, "64x64"},
        // A path the registration cannot hold whole is refused before anything is written.
        {{"--register", "--module", deep}, 6, "DllRegisterServer: 0x8007007a"},
        {{"-o", out, part}, 3, "no handler registered for .lqx"},
        // Loaded by its name in characters, registered under that name, loaded from it again.
        {{"--register", "--module", accented}, 0, "DllRegisterServer: 0x00000000"},
        {{"-o", out + "/accented.png", part}, 0, "400x400"},
        // A name that is no UTF-8 gets its picture, saved under a name of the same bytes.
        {{"-o", out, badName}, 0, "400x400"},
    };
    for (const auto& [arguments, exitCode, says] : runs) {
        QProcess host;
        host.start("env", QStringList{"VOXALIS_REGISTRY=" + home + "/registry.reg", VOXALIS_THUMB} +
                              arguments);
        EXPECT_TRUE(host.waitForFinished(120000));
        const QString output = host.readAllStandardOutput() + host.readAllStandardError();
        EXPECT_EQ(std::tuple(host.exitStatus(), host.exitCode(), output.contains(says)),
                  std::tuple(QProcess::NormalExit, exitCode, true))
            << qPrintable(arguments.join(' ') + "\n" + output);
    }
    EXPECT_EQ(QImage(out + "/" + QFileInfo(badName).fileName() + ".png").size(), QSize(400, 400));
    const QImage preview(out + "/part.lqx.png"), small(out + "/small.png");
    EXPECT_EQ(std::tuple(preview.size(), preview.pixel(100, 300), small.size()),
              std::tuple(QSize(400, 400), 0xFFC1C1C1u, QSize(64, 64)));
    const QImage rendered(out + "/model.3mf.png"), shown(out + "/pictured.3mf.png");
    EXPECT_NE(rendered.pixel(200, 200), rendered.pixel(0, 0));
    EXPECT_EQ(std::tuple(shown.size(), shown.pixel(100, 100), shown.pixel(300, 100)),
              std::tuple(QSize(400, 200), 0u, 0xFFCC2200u));
    for (const char* name : {"/print.gcode.png", "/print.bgcode.png"}) {
        const QImage print(out + name);
        EXPECT_EQ(std::tuple(print.size(), print.pixel(0, 0), print.pixel(200, 20)),
                  std::tuple(QSize(400, 200), 0u, 0xFF40A0E0u))
            << name;
    }
}
