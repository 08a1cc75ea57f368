#include "files.h"
#include "mesh_writers.h"

#include <QImage>
#include <QProcess>
#include <QRect>

#include <gtest/gtest.h>

#include <cstdlib>
#include <iterator>

namespace {

// How a host reaches OpenGL: no display at all; a DISPLAY whose server does not exist (a
// sandboxed thumbnailer inherits one); a real X server through xcb.
struct Setting {
    const char* name;
    const char* display; // null: no DISPLAY
    bool underXvfb;
};

constexpr Setting kSettings[] = {
    {"no-display", nullptr, false},
    {"stale-display", ":97", false},
    {"xvfb", nullptr, true},
};

// The host binary as a user runs it, with a data home of its own for each setting.
QImage renderInHost(const Setting& setting, const QString& model) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DISPLAY");
    environment.remove("WAYLAND_DISPLAY");
    environment.remove("QT_QPA_PLATFORM");
    if (setting.display != nullptr) {
        environment.insert("DISPLAY", setting.display);
    }
    const QString home = testDataHome() + "/" + setting.name;
    environment.insert("XDG_DATA_HOME", home);
    environment.insert("VOXALIS_REGISTRY", home + "/registry.reg");
    const QString out = home + "/model.png";
    QString program = VOXALIS_THUMB;
    QStringList arguments{"--module", VOXALIS_MODULE, "-o", out, model};
    if (setting.underXvfb) {
        // Forced, so that an xcb start that fails fails the test instead of falling back.
        environment.insert("QT_QPA_PLATFORM", "xcb");
        arguments = QStringList{"-a", "-s", "-screen 0 1280x1024x24 -noreset", program} + arguments;
        program = "xvfb-run";
    }
    QProcess host;
    host.setProcessEnvironment(environment);
    host.start(program, arguments);
    EXPECT_TRUE(host.waitForFinished(120000));
    EXPECT_EQ(host.exitCode(), 0) << host.readAllStandardOutput().constData()
                                  << host.readAllStandardError().constData();
    return QImage(out).convertToFormat(QImage::Format_ARGB32);
}

// Pixels whose channels differ by more than the rasteriser's rounding.
int differingPixels(const QImage& a, const QImage& b) {
    int count = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            count += std::abs(qRed(p) - qRed(q)) > 1 || std::abs(qGreen(p) - qGreen(q)) > 1 ||
                             std::abs(qBlue(p) - qBlue(q)) > 1 || qAlpha(p) != qAlpha(q)
                         ? 1
                         : 0;
        }
    }
    return count;
}

TEST(DisplayFree, MeshRendersWithoutADisplayAsOnTheXcbPath) {
    const QString model = writeSource("sphere.stl", binaryStl(sphere(7.0f, 48, 96, {30, -20, 5})));
    QImage pictures[std::size(kSettings)];
    for (std::size_t i = 0; i < std::size(kSettings); ++i) {
        const Setting& setting = kSettings[i];
        SCOPED_TRACE(setting.name);
        QImage& picture = pictures[i];
        picture = renderInHost(setting, model);
        ASSERT_EQ(picture.size(), QSize(400, 400));
        QRect bounds;
        int opaque = 0;
        int blue = 0;
        for (int y = 0; y < picture.height(); ++y) {
            for (int x = 0; x < picture.width(); ++x) {
                const QRgb p = picture.pixel(x, y);
                if (qAlpha(p) != 0) {
                    ++opaque;
                    bounds |= QRect(x, y, 1, 1);
                    blue += qBlue(p) > qGreen(p) && qGreen(p) > qRed(p) ? 1 : 0;
                }
            }
        }
        // The fitted sphere: 118 pixels of radius around the centre, lit in blue.
        EXPECT_NEAR(bounds.width(), 237, 4);
        EXPECT_NEAR(bounds.center().x(), 199.5, 2);
        EXPECT_NEAR(bounds.center().y(), 199.5, 2);
        EXPECT_GT(blue, opaque * 9 / 10);
        if (::testing::Test::HasFailure()) {
            picture.save(QStringLiteral("failed-qpa-%1.png").arg(setting.name));
        }
    }
    // The same desktop OpenGL on the same rasteriser draws the same picture.
    EXPECT_EQ(differingPixels(pictures[0], pictures[2]), 0);
    EXPECT_EQ(differingPixels(pictures[1], pictures[2]), 0);
}

} // namespace
