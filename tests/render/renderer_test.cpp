#include "current_file_path.h"
#include "db_mutex.h"
#include "files.h"
#include "in_process_application.h"
#include "memory_probes.h"
#include "mesh_writers.h"
#include "module_handle.h"
#include "open_gl_helper.h"
#include "placeholder_images.h"
#include "qt_printers.h"
#include "statements.h"
#include "thumbnail_job.h"
#include "thumbnail_table.h"

#include <QFileInfo>
#include <QImage>
#include <QMutexLocker>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QRect>

#include <gtest/gtest.h>

namespace {

// The parts of a rendered picture that a person would check.
struct Rendered {
    QImage image;
    QRect model; // the opaque pixels' bounds
    int opaque = 0;
    int blue = 0; // opaque pixels in the blue shading: b > g > r
};

Rendered inspect(const QImage& picture) {
    Rendered r;
    r.image = picture.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < r.image.height(); ++y) {
        for (int x = 0; x < r.image.width(); ++x) {
            const QRgb p = r.image.pixel(x, y);
            if (qAlpha(p) == 0) {
                continue;
            }
            ++r.opaque;
            r.model |= QRect(x, y, 1, 1);
            r.blue += qBlue(p) > qGreen(p) && qGreen(p) > qRed(p) ? 1 : 0;
        }
    }
    return r;
}

class Renderer : public ::testing::Test {
protected:
    void SetUp() override {
        moduleHandle = GetModuleHandleW(nullptr);
        // The application the job would start; OpenGL needs one.
        ensureInProcessApplication("render_tests");
        openGLHelper::instance()->versionCap = 0xFF;
    }

    HRESULT run(const QString& path) { return runThumbnailJob(path.toStdWString().c_str()); }

    QString thumbPath(const QString& path) {
        QMutexLocker lock(&dbMutex);
        const Lookup found = lookupThumbnail(path, statements::kLookup);
        return found.status == LookupStatus::Found ? found.row.thumPath : QString();
    }

    Rendered render(const QString& path) {
        EXPECT_EQ(run(path), S_OK) << qPrintable(path);
        const QImage picture(thumbPath(path));
        EXPECT_EQ(picture.size(), QSize(400, 400));
        const Rendered result = inspect(picture);
        if (::testing::Test::HasFailure()) {
            // Left next to the build so a person can look at it.
            picture.save(QString("failed-%1.png").arg(QFileInfo(path).fileName()));
        }
        return result;
    }

    QString log() {
        return QString::fromUtf8(
            readFile(testDataHome() + "/VOXALIS_Thumbnail/VOXALIS_Thumbnail.log"));
    }
};

// A sphere of diameter 1 after the fit, 2.1 units from the camera under a 45-degree field of
// view: tan(asin(0.5 / 2.1)) / tan(22.5 degrees) * 200 = 118 pixels of radius, whatever the
// model's turn, centred in the picture.
void expectFittedSphere(const Rendered& sphere) {
    EXPECT_NEAR(sphere.model.width(), 237, 4);
    EXPECT_NEAR(sphere.model.height(), 237, 4);
    EXPECT_NEAR(sphere.model.center().x(), 199.5, 2);
    EXPECT_NEAR(sphere.model.center().y(), 199.5, 2);
    EXPECT_GT(sphere.blue, sphere.opaque * 9 / 10);
}

TEST_F(Renderer, ProbeFindsTheDriversGlslOnTheRealContext) {
    QOpenGLContext context;
    ASSERT_TRUE(context.create());
    QOffscreenSurface surface;
    surface.create();
    ASSERT_TRUE(context.makeCurrent(&surface));
    openGLHelper* probe = openGLHelper::instance();
    probe->init();
    const QSurfaceFormat format = context.format();
    EXPECT_LE(probe->glVersion, format.majorVersion() * 16 + format.minorVersion());
    EXPECT_FALSE(probe->glslVersion.isEmpty());
    std::cout << "context " << format.majorVersion() << "." << format.minorVersion() << ", GLSL "
              << probe->glslVersion.toStdString() << "\n";
    // Capped at 2.1, the probe takes the legacy row.
    probe->versionCap = 0x21;
    probe->init();
    EXPECT_EQ(probe->glslVersion, "120");
    EXPECT_EQ(probe->glVersion, 0x21);
    EXPECT_FALSE(probe->bSupport_GLSL130);
}

TEST_F(Renderer, SphereIsLitBlueCentredAndFittedOnTransparency) {
    const Rendered sphere =
        render(writeSource("sphere.stl", binaryStl(::sphere(7.0f, 48, 96, {30, -20, 5}))));
    expectFittedSphere(sphere);
    // The cleared background is white with alpha 0, kept as it is.
    EXPECT_EQ(sphere.image.pixel(0, 0), 0x00FFFFFFu);
    EXPECT_EQ(sphere.image.pixel(399, 399), 0x00FFFFFFu);
    EXPECT_EQ(qAlpha(sphere.image.pixel(200, 200)), 255);
    EXPECT_TRUE(log().isEmpty()) << qPrintable(log());
}

TEST_F(Renderer, LegacyShaderPathDrawsTheSameModel) {
    openGLHelper::instance()->versionCap = 0x21;
    const Rendered sphere = render(writeSource("legacy.obj", objFile(::sphere(2.0f, 32, 64))));
    expectFittedSphere(sphere);
    EXPECT_FALSE(log().contains("error")) << qPrintable(log());
}

TEST_F(Renderer, CubeFillsTheMiddleOfThePicture) {
    const Rendered cube = render(writeSource("cube.stl", asciiStl(::cube(20.0f, {5, 5, 5}))));
    EXPECT_NEAR(cube.model.center().x(), 200, 25);
    EXPECT_NEAR(cube.model.center().y(), 200, 25);
    EXPECT_GT(cube.model.width(), 200);
    EXPECT_LT(cube.model.width(), 400);
    EXPECT_GT(cube.blue, cube.opaque * 9 / 10);
}

TEST_F(Renderer, SlcModelIsDrawnFlatOnWithOneUnitTo200Pixels) {
    // A 10 x 10 square band, 2 high: after the fit its width is one unit.
    SlcFile file;
    for (int layer = 0; layer < 40; ++layer) {
        file.layers.append({layer * 0.05f, {squareBoundary(10, -3, 4)}});
    }
    const Rendered band = render(writeSource("band.slc", file.bytes()));
    EXPECT_NEAR(band.model.width(), 200, 3);
    EXPECT_NEAR(band.model.height(), 40, 3);
    EXPECT_NEAR(band.model.center().x(), 199.5, 2);
    EXPECT_NEAR(band.model.center().y(), 199.5, 2);
}

TEST_F(Renderer, ModelWithoutTrianglesGivesTheClearedBackground) {
    const Rendered empty =
        render(writeSource("empty.stl", "solid none\nfacet normal 0 0 0\nendsolid\n"));
    EXPECT_EQ(empty.opaque, 0);
    EXPECT_EQ(empty.image.pixel(200, 200), 0x00FFFFFFu);
}

TEST_F(Renderer, ModelThatCannotBeDrawnGetsThePlaceholderAndNoBitmapThisTime) {
    const QString path = writeSource("point.stl", binaryStl({{{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}}));
    EXPECT_EQ(run(path), S_FALSE);
    EXPECT_TRUE(currentFilePath.isEmpty());
    QImage damaged;
    makeDamagedFileImage(damaged);
    EXPECT_EQ(QImage(thumbPath(path)).convertToFormat(QImage::Format_ARGB32), damaged);
    // The next request finds the placeholder's row.
    EXPECT_EQ(run(path), S_OK);
    EXPECT_EQ(currentFilePath, path);
}

BOOL almostNoMemory(LPMEMORYSTATUSEX status) {
    status->dwMemoryLoad = 50;
    status->ullAvailPhys = 16;
    return TRUE;
}

TEST_F(Renderer, ModelRefusedForMemoryIsNotReadyAndRecordsNothing) {
    const QString path = writeSource("big.obj", objFile(::cube(1.0f)));
    setMemoryStatusSource(&almostNoMemory);
    EXPECT_EQ(run(path), S_FALSE);
    setMemoryStatusSource(nullptr);
    EXPECT_TRUE(thumbPath(path).isEmpty());
    EXPECT_TRUE(log().contains("information    :    file is too large\n" + path))
        << qPrintable(log());
    // Nothing recorded, so the next request tries again.
    EXPECT_EQ(run(path), S_OK);
    EXPECT_FALSE(thumbPath(path).isEmpty());
}

} // namespace
