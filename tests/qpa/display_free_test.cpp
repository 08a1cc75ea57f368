#include "files.h"
#include "mesh_writers.h"

#include <QDir>
#include <QImage>
#include <QProcess>

#include <gtest/gtest.h>

// How a host reaches OpenGL: through our own plug-in whether or not a display answers, and
// through a real X server under Xvfb where the plug-in cannot start (no EGL driver at all),
// behind a DISPLAY whose server does not exist, as a sandboxed thumbnailer inherits. Which
// platforms the host asks Qt for is the display choice's test. The host binary runs as a user
// runs it, on a model of its own each time.
TEST(DisplayFree, MeshRendersWithoutADisplayAsOnTheXcbPath) {
    const QByteArray stl = binaryStl(sphere(7.0f, 48, 96, {30, -20, 5}));
    const QStringList unset{"-u", "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM"};
    const QStringList thumb{VOXALIS_THUMB, "--module", VOXALIS_MODULE, "-o"};
    const auto draw = [&](const QString& name, const QStringList& setting) {
        const QString model = writeSource(name + ".stl", stl);
        EXPECT_EQ(
            QProcess::execute("env", unset + setting + thumb + QStringList{model + ".png", model}),
            0);
        return QImage(model + ".png").convertToFormat(QImage::Format_ARGB32);
    };
    // The loader's records of a run under Xvfb, one per process (the host restarts itself
    // once): whether the xcb path loaded its GLX integration to draw.
    const auto underXvfb = [&](const QString& name, const QStringList& setting) {
        for (const QString& record : QDir(testDataHome()).entryList({"loads.*"})) {
            QFile::remove(testDataHome() + "/" + record);
        }
        const QImage image = draw(
            name, QStringList{"xvfb-run", "-a", "-s", "-screen 0 1280x1024x24 -noreset", "env",
                              "LD_DEBUG=files", "LD_DEBUG_OUTPUT=" + testDataHome() + "/loads"} +
                      setting);
        bool glx = false;
        for (const QString& record : QDir(testDataHome()).entryList({"loads.*"})) {
            glx |= readFile(testDataHome() + "/" + record).contains("libqxcb-glx-integration");
        }
        return std::pair(image, glx);
    };
    // glvnd finds no EGL driver in a file that does not exist.
    const auto [xcb, glx] = underXvfb("xcb", {"__EGL_VENDOR_LIBRARY_FILENAMES=/nonexistent"});
    EXPECT_TRUE(glx);
    const auto [besideDisplay, glxBesideDisplay] = underXvfb("ours", {});
    EXPECT_FALSE(glxBesideDisplay);
    EXPECT_EQ(besideDisplay, xcb);
    const QImage picture = draw("none", {"DISPLAY=:97"});
    ASSERT_EQ(std::pair(xcb.size(), picture.size()), std::pair(QSize(400, 400), QSize(400, 400)));
    // The same desktop OpenGL on the same rasteriser draws the same picture, but for the
    // rounding of a channel; what the picture must show is the renderer's test.
    int differing = 0;
    for (int i = 0; i < 400 * 400; ++i) {
        const QRgb p = picture.pixel(i % 400, i / 400), q = xcb.pixel(i % 400, i / 400);
        differing += qAbs(qRed(p) - qRed(q)) > 1 || qAbs(qGreen(p) - qGreen(q)) > 1 ||
                     qAbs(qBlue(p) - qBlue(q)) > 1 || qAlpha(p) != qAlpha(q);
    }
    EXPECT_EQ(differing, 0);
}
