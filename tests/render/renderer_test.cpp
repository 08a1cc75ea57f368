#include "current_file_path.h"
#include "db_mutex.h"
#include "file_render.h"
#include "files.h"
#include "in_process_application.h"
#include "memory_probes.h"
#include "mesh_writers.h"
#include "module_handle.h"
#include "open_gl_helper.h"
#include "placeholder_images.h"
#include "qt_printers.h"
#include "render_picture.h"
#include "renderer_lock.h"
#include "statements.h"
#include "thumbnail_job.h"
#include "thumbnail_table.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QMutexLocker>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QRect>

#include <gtest/gtest.h>

#include <sys/stat.h>

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

// The picture path: drawn at the size asked for, the whole model in view, the cache untouched.
TEST_F(Renderer, PictureOfAnySizeShowsTheWholeModelAndTouchesNoCache) {
    SlcFile band;
    for (int layer = 0; layer < 40; ++layer) {
        band.layers.append({layer * 0.05f, {squareBoundary(10, -3, 4)}});
    }
    const QString cube = writeSource("cube.stl", asciiStl(::cube(20.0f, {5, 5, 5})));
    const struct {
        QString path;
        int size;
        double leastSpan; // the model's wider side, as a share of the picture's
        double mostSpan;
    } cases[] = {
        // At the cache's camera the cube's near corner leaves the picture; framed, the box's
        // corners reach the 90 % margin.
        {cube, 128, 0.75, 0.9},
        {cube, 256, 0.75, 0.9},
        {cube, 1024, 0.75, 0.9},
        // One unit (the band's width) is half the side, as 200 pixels are of 400.
        {writeSource("band.slc", band.bytes()), 256, 0.49, 0.51},
    };
    for (const auto& c : cases) {
        const QString name =
            QStringLiteral("%1 at %2").arg(QFileInfo(c.path).fileName()).arg(c.size);
        RenderOutcome outcome = RenderOutcome::Refused;
        const QImage picture = renderPicture(c.path, c.size, &outcome);
        EXPECT_EQ(outcome, RenderOutcome::Rendered) << qPrintable(name);
        EXPECT_EQ(picture.size(), QSize(c.size, c.size)) << qPrintable(name);
        const Rendered r = inspect(picture);
        const int margin = c.size / 20;
        EXPECT_TRUE(QRect(margin - 1, margin - 1, c.size - 2 * margin + 2, c.size - 2 * margin + 2)
                        .contains(r.model))
            << qPrintable(name);
        const int span = std::max(r.model.width(), r.model.height());
        EXPECT_GE(span, c.leastSpan * c.size) << qPrintable(name);
        EXPECT_LE(span, c.mostSpan * c.size + 1) << qPrintable(name);
        EXPECT_GT(r.blue, r.opaque * 9 / 10) << qPrintable(name);
        if (::testing::Test::HasFailure()) {
            picture.save(
                QStringLiteral("failed-%1-%2.png").arg(QFileInfo(c.path).fileName()).arg(c.size));
        }
    }

    RenderOutcome outcome = RenderOutcome::Rendered;
    const QImage damaged = renderPicture(
        writeSource("point.stl", binaryStl({{{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}})), 96, &outcome);
    EXPECT_EQ(outcome, RenderOutcome::Placeholder);
    QImage placeholder;
    makeDamagedFileImage(placeholder);
    EXPECT_EQ(damaged, placeholder.scaled(96, 96, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));

    const QImage empty = renderPicture(
        writeSource("empty.stl", "solid none\nfacet normal 0 0 0\nendsolid\n"), 64, &outcome);
    EXPECT_EQ(outcome, RenderOutcome::Empty);
    EXPECT_EQ(empty.size(), QSize(64, 64));
    EXPECT_EQ(inspect(empty).opaque, 0);
    EXPECT_EQ(empty.pixel(32, 32), 0x00FFFFFFu);

    // Refused without being opened: a FIFO would block, a size of 0 is no picture.
    const QString fifo = QFileInfo(cube).path() + "/pipe.stl";
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const auto& [path, size] : {std::pair{fifo, 128}, std::pair{cube, 0}}) {
        outcome = RenderOutcome::Rendered;
        EXPECT_TRUE(renderPicture(path, size, &outcome).isNull()) << qPrintable(path);
        EXPECT_EQ(outcome, RenderOutcome::Refused) << qPrintable(path);
    }
    EXPECT_FALSE(QDir(testDataHome() + "/VOXALIS_Thumbnail").exists());
}

TEST_F(Renderer, ChunkLargerThanTheBufferIsDrawnInPieces) {
    const QString path = writeSource("sphere.obj", objFile(::sphere(3.0f, 16, 32)));
    const auto draw = [&](bool inPieces) {
        QMutexLocker lock(&rendererMutex);
        fileRender renderer(path, 128);
        EXPECT_TRUE(renderer.ready());
        if (inPieces) {
            // Not a whole number of triangles: pieces end at the last whole one.
            renderer.uploadLimitBytes = 1000;
        }
        renderer.initGL();
        renderer.resizeGL(128, 128);
        renderer.drawPicture();
        return renderer.image;
    };
    const QImage whole = draw(false);
    EXPECT_EQ(draw(true), whole);
    EXPECT_GT(inspect(whole).opaque, 128 * 128 / 8);
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
