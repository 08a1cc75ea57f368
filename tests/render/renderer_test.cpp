#include "db_mutex.h"
#include "draw_view.h"
#include "file_render.h"
#include "files.h"
#include "in_process_application.h"
#include "kept_pictures.h"
#include "log.h"
#include "memory_probes.h"
#include "mesh_writers.h"
#include "module_handle.h"
#include "open_gl_helper.h"
#include "placeholder_images.h"
#include "ply_writer.h"
#include "render_picture.h"
#include "renderer_lock.h"
#include "statements.h"
#include "thumbnail_job.h"
#include "thumbnail_table.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <memory>

namespace {

// A side x side picture of the model within the box `most` (in pixels, centred) and at least
// `least` in size (both {} for no model), nearly all in the blue shading (b > g > r); everything
// else still the cleared white with alpha 0.
::testing::AssertionResult drawn(const QImage& picture, int side, QSize least, QSize most) {
    keepForFailure(picture, QStringLiteral("drawn"));
    const QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    QRect model; // the opaque pixels' bounds
    int cleared = 0, blue = 0;
    for (int i = 0; i < image.width() * image.height(); ++i) {
        const QPoint at(i % image.width(), i / image.width());
        const QRgb p = image.pixel(at);
        model |= qAlpha(p) != 0 ? QRect(at, at) : QRect();
        cleared += p == 0x00FFFFFFu ? 1 : 0;
        blue += qAlpha(p) == 255 && qBlue(p) > qGreen(p) && qGreen(p) > qRed(p) ? 1 : 0;
    }
    const QRect box(QPoint(side - most.width(), side - most.height()) / 2, most);
    const bool fits =
        (model.isNull() || box.contains(model)) && least.boundedTo(model.size()) == least;
    return (image.size() == QSize(side, side) && fits && blue * 10 >= (side * side - cleared) * 9
                ? ::testing::AssertionSuccess()
                : ::testing::AssertionFailure())
           << model.width() << "x" << model.height() << " at " << model.x() << "," << model.y()
           << ", " << blue << " blue of " << side * side - cleared;
}

// A model that cannot be drawn, and one without triangles.
const QByteArray kPoint = binaryStl({{{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}});
const QByteArray kNoTriangles = "solid none\nfacet normal 0 0 0\nendsolid\n";

class Renderer : public ::testing::Test {
protected:
    void SetUp() override {
        moduleHandle = GetModuleHandleW(nullptr);
        // The application the job would start; OpenGL needs one.
        ensureInProcessApplication("render_tests");
    }

    // Runs the job on `path`, expecting `result`; the picture it recorded, if any.
    QString job(const QString& path, HRESULT result = S_OK) {
        EXPECT_EQ(runThumbnailJob(path.toStdWString().c_str()), result) << qPrintable(path);
        QMutexLocker lock(&dbMutex);
        const Lookup found = lookupThumbnail(path, statements::kLookup);
        return found.status == LookupStatus::Found ? found.row.thumPath : QString();
    }

    QString log() { return readFile(testDataHome() + "/VOXALIS_Thumbnail/VOXALIS_Thumbnail.log"); }
};

// Mesa reads the override when the first display opens, so in a process of its own (as under
// CTest) this gets an OpenGL 3.0 context, and with it the path without a geometry stage.
class OldContext : public Renderer {
    void SetUp() override {
        ASSERT_TRUE(QCoreApplication::startingUp()) << "needs a process of its own";
        qputenv("MESA_GL_VERSION_OVERRIDE", "3.0");
        Renderer::SetUp();
    }
};

// Two square faces around the file's origin, from where the light at (-500, 0, 700) lies along
// `light`. The geometry stage passes on the file's normal; the plain vertex shader turns it with
// the camera (-60 degrees about x after 41.5 about z) and leaves the light as it is. So each path
// sees one face head on, and the other at n . l = 0.855. The fragment shader gives 0.3 ambient and
// 0.7 diffuse of the blue (40, 164, 230), then a white highlight of 0.2 x (reflect(-l, n) . l)^10,
// where reflect(-l, n) . l = 2 (n . l)^2 - 1: (91, 215, 255) head on, with the full highlight, and
// (36, 147, 207) with next to none. A PLY whose corners are all (200, 60, 120) gets the same
// light on its own colour: (251, 111, 171) and (180, 54, 108). The probe's choice, `version` and
// `glsl130`, decides the path: the geometry stage from OpenGL 3.3 on.
void expectLitFaces(qint32 version, bool glsl130) {
    const QQuaternion turn =
        QQuaternion::fromAxisAndAngle(1, 0, 0, -60) * QQuaternion::fromAxisAndAngle(0, 0, 1, 41.5f);
    const QVector3D light = QVector3D(-500, 0, 700).normalized();
    const bool geometry = version >= 0x33;
    const auto rgba = [](QRgb p) { return QVector4D(qRed(p), qGreen(p), qBlue(p), qAlpha(p)); };
    const auto colouredPly = [](const QVector<Triangle>& triangles) {
        PlyTable vertices = plyVertices(triangles);
        vertices.columns += {{"uchar", "red"}, {"uchar", "green"}, {"uchar", "blue"}};
        for (QVector<double>& row : vertices.rows) {
            row += {200, 60, 120};
        }
        return plyFile(PlyForm::LittleEndian, {vertices, plyFaces(triangles.size())});
    };
    for (const bool coloured : {false, true}) {
        const QRgb headOn = coloured ? qRgb(251, 111, 171) : qRgb(91, 215, 255);
        const QRgb aslant = coloured ? qRgb(180, 54, 108) : qRgb(36, 147, 207);
        for (const auto& [n, want] :
             {std::pair(light, geometry ? headOn : aslant),
              std::pair(turn.inverted().rotatedVector(light), geometry ? aslant : headOn)}) {
            const QVector3D u = QVector3D::crossProduct(n, {0, 1, 0}).normalized();
            const QVector3D v = QVector3D::crossProduct(n, u); // u x v = n: counter-clockwise
            const QVector<Triangle> square = {{-u - v, u - v, u + v}, {-u - v, u + v, v - u}};
            const QString face = coloured ? writeSource("face.ply", colouredPly(square))
                                          : writeSource("face.obj", objFile(square));
            const QRgb got = renderPicture(face, 32).pixel(16, 16);
            EXPECT_LE((rgba(got) - rgba(want)).length(), 2)
                << std::hex << got << " instead of " << want << (coloured ? " in colour" : "");
        }
    }
    const openGLHelper* probe = openGLHelper::instance();
    EXPECT_EQ(std::pair(probe->glVersion, probe->bSupport_GLSL130), std::pair(version, glsl130));
}

// Capped at 3.3, the first version with the geometry stage.
TEST_F(Renderer, FacesAreLitAsTheGeometryStageSays) {
    openGLHelper::instance()->versionCap = 0x33;
    expectLitFaces(0x33, true);
}

TEST_F(OldContext, FacesAreLitAsThePlainVertexShaderSays) {
    expectLitFaces(0x30, true);
}

// Capped at 2.1 the probe takes the legacy row, GLSL 1.20 with the extension, and says so.
TEST_F(Renderer, FacesAreLitAsTheLegacyShadersSay) {
    openGLHelper::instance()->versionCap = 0x21;
    expectLitFaces(0x21, false);
    EXPECT_EQ(log().count("   information    :    bSupport_GL_EXT is true\r\n"), 4);
}

// At the cache's camera a sphere of diameter 1 after the fit, 2.1 units away under a 45-degree
// field of view, has tan(asin(0.5 / 2.1)) / tan(22.5 degrees) * 200 = 118 pixels of radius
// whatever its turn.
TEST_F(Renderer, JobRecordsTheFittedModelOrWhatItCannotDraw) {
    const QString sphere = writeSource("sphere.stl", binaryStl(::sphere(7, 48, 96, {30, -20, 5})));
    EXPECT_TRUE(drawn(QImage(job(sphere)), 400, {233, 233}, {241, 241}));
    EXPECT_TRUE(drawn(QImage(job(writeSource("empty.stl", kNoTriangles))), 400, {}, {}));
    EXPECT_EQ(log(), "");

    const QString point = writeSource("point.stl", kPoint);
    QImage damaged;
    makeDamagedFileImage(damaged);
    EXPECT_EQ(QImage(job(point, S_FALSE)).convertToFormat(QImage::Format_ARGB32), damaged);

    // Refused for memory: nothing recorded, so the next request tries again.
    const QString big = writeSource("big.obj", objFile(cube(1.0f)));
    setMemoryStatusSource([](LPMEMORYSTATUSEX status) -> BOOL {
        status->ullAvailPhys = 16;
        return TRUE;
    });
    EXPECT_TRUE(job(big, S_FALSE).isEmpty());
    setMemoryStatusSource(nullptr);
    EXPECT_TRUE(log().endsWith("   information    :    file is too large\n" + big + "\r\n"));
    EXPECT_FALSE(job(big).isEmpty());
}

// Draws `path` into a side x side picture as the job does, framed and limited as given; the
// caller holds rendererMutex.
std::unique_ptr<fileRender> drawWith(const QString& path, int side, Framing framing,
                                     const DrawLimits& limits) {
    auto renderer = fileRender::forPicture(path, side, framing, limits);
    renderer->initGL();
    renderer->resizeGL(side, side);
    renderer->drawPicture();
    return renderer;
}

// A 200 : 1 rod along x, a unit thick, around (x, 0, 0).
QVector<Triangle> rod(float x) {
    QVector<Triangle> triangles = cube(1, {-0.5f, -0.5f, -0.5f});
    for (Triangle& t : triangles) {
        for (QVector3D* p : {&t.a, &t.b, &t.c}) {
            p->setX(p->x() * 200 + x);
        }
    }
    return triangles;
}

// A picture's opaque pixels fill it: their bounds' longer side spans 88 to 92 % of the picture's
// side (the projected vertices span 90 %, the rasteriser rounds), centred within two pixels, and
// at least 3 % away from every edge.
::testing::AssertionResult fills(const QImage& picture) {
    const int side = picture.width();
    QRect model;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < side; ++x) {
            model |= qAlpha(picture.pixel(x, y)) != 0 ? QRect(x, y, 1, 1) : QRect();
        }
    }
    const double fill = double(std::max(model.width(), model.height())) / side;
    const int margin =
        std::min({model.left(), model.top(), side - 1 - model.right(), side - 1 - model.bottom()});
    const bool centred = std::abs(model.left() - (side - 1 - model.right())) <= 2 &&
                         std::abs(model.top() - (side - 1 - model.bottom())) <= 2;
    return (fill >= 0.88 && fill <= 0.92 && margin >= 0.03 * side && centred
                ? ::testing::AssertionSuccess()
                : ::testing::AssertionFailure())
           << model.width() << "x" << model.height() << " at " << model.x() << "," << model.y()
           << " of " << side;
}

// Every model fills its picture alike, whatever its shape, its size in the file, the reader or
// the path through the renderer: a streamed binary STL, chunks from OBJ, slices.
TEST_F(Renderer, PictureIsFilledByTheModelAndKeepsAMargin) {
    SlcFile band; // a 10 x 10 square band, 2 high
    for (int layer = 0; layer < 40; ++layer) {
        band.layers.append({layer * 0.05f, {squareBoundary(10, -3, 4)}});
    }
    const struct {
        const char* name;
        QByteArray bytes;
        int side;
    } models[] = {
        {"sphere.stl", binaryStl(sphere(7, 24, 48, {30, -20, 5})), 128},
        {"rod.obj", objFile(rod(90)), 128},
        {"band.slc", band.bytes(), 256},
    };
    for (const auto& m : models) {
        EXPECT_TRUE(fills(renderPicture(writeSource(m.name, m.bytes), m.side))) << m.name;
    }
}

// Drawn at the size asked for, the cache untouched.
TEST_F(Renderer, PictureOfAnySizeShowsTheWholeModelAndTouchesNoCache) {
    const auto picture = [](const QString& path, int side, RenderOutcome want) {
        RenderOutcome outcome = RenderOutcome(-1);
        const QImage image = renderPicture(path, side, &outcome);
        EXPECT_EQ(outcome, want) << qPrintable(path) << " at " << side;
        return image;
    };
    const QString cube = writeSource("cube.stl", asciiStl(::cube(20, {5, 5, 5})));
    EXPECT_TRUE(drawn(picture(cube, 128, RenderOutcome::Rendered), 128, {112, 112}, {118, 118}));
    // One pixel is still a picture.
    EXPECT_TRUE(
        drawn(picture(writeSource("empty.stl", kNoTriangles), 1, RenderOutcome::Empty), 1, {}, {}));
    QImage placeholder;
    makeDamagedFileImage(placeholder);
    EXPECT_EQ(picture(writeSource("point.stl", kPoint), 96, RenderOutcome::Placeholder),
              placeholder.scaled(96, 96, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    // Refused without being opened: a FIFO would block, a size of 0 is no picture.
    const QString fifo = testDataHome() + "/sources/pipe.stl";
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_TRUE(picture(fifo, 128, RenderOutcome::Refused).isNull());
    EXPECT_TRUE(picture(cube, 0, RenderOutcome::Refused).isNull());
    EXPECT_FALSE(QFile::exists(testDataHome() + "/VOXALIS_Thumbnail"));

    // A chunk larger than the buffer is drawn in pieces, which end at the last whole triangle.
    const QImage whole = renderPicture(cube, 128);
    QMutexLocker lock(&rendererMutex);
    EXPECT_EQ(drawWith(cube, 128, Framing::FillPicture, {100})->picture(), whole);
}

// The same sphere as binary STL (streamed, its back faces left out before drawing) and as
// ASCII STL (every facet drawn): the same picture, far from the file's origin too, and on
// every run whatever the threads do. Facets of a few pixels, as here, were culled by mistake
// when the vertex stage's float rounding was not allowed for.
TEST_F(Renderer, FarFromTheOriginBinaryAndTextGiveTheSamePicture) {
    const QVector<Triangle> facets = sphere(1, 150, 300, {1e5f, 7e4f, -4e4f});
    const QString binary = writeSource("far.stl", binaryStl(facets));
    const QImage allFacets = renderPicture(writeSource("far-text.stl", asciiStl(facets)), 400);
    ASSERT_TRUE(drawn(allFacets, 400, {200, 200}, {362, 362}));
    for (int run = 0; run < 3; ++run) {
        EXPECT_EQ(renderPicture(binary, 400), allFacets) << "run " << run;
    }
}

// Stacked facets, each nearer to the eye than the one before, with a budget that holds the
// first three and half of the fourth: the picture is that of the first three alone (the
// others kept in the file as lines, so the fit stays), and the log says the drawing was cut.
TEST_F(Renderer, FillBudgetKeepsTheFacetsBeforeTheFirstThatDoesNotFit) {
    QVector<Triangle> stack;
    for (int i = 0; i < 8; ++i) {
        const float z = float(i);
        stack.append({{float(-i), 0, z}, {10, float(i), z}, {0, 10, z}});
    }
    QVector<Triangle> firstThree = stack;
    for (int i = 3; i < stack.size(); ++i) {
        firstThree[i].c = firstThree[i].b;
    }
    const int side = 64;
    const QString cut = kInfoLabel + "fill budget exceeded\n";
    const struct {
        const char* name;
        QByteArray (*write)(const QVector<Triangle>&);
    } forms[] = {{"stack.stl", [](const QVector<Triangle>& t) { return binaryStl(t); }},
                 {"stack.obj", objFile}};
    // The budget cuts the same facets whatever the framing; the cache's camera keeps the
    // three facets where the whole stack puts them.
    QMutexLocker lock(&rendererMutex);
    const auto drawn = [&](const QString& path, double budget) {
        return drawWith(path, side, Framing::CacheCamera, {DrawLimits().uploadBytes, budget});
    };
    const QImage three =
        drawn(writeSource("three.obj", objFile(firstThree)), kFillBudgetPixels)->picture();
    for (const auto& form : forms) {
        const QString path = writeSource(form.name, form.write(stack));
        auto whole = drawn(path, kFillBudgetPixels);
        ASSERT_NE(whole->picture(), three) << form.name;
        EXPECT_FALSE(log().contains(cut + path)) << form.name;
        const DrawView view = *whole->drawnView();
        double budget = 0;
        for (int i = 0; i < 4; ++i) {
            const Triangle& t = stack[i];
            const float corners[9] = {t.a.x(), t.a.y(), t.a.z(), t.b.x(), t.b.y(),
                                      t.b.z(), t.c.x(), t.c.y(), t.c.z()};
            double x[3];
            double y[3];
            ASSERT_TRUE(view.corners(corners, 3, x, y));
            budget += view.frontPixels(x, y) / (i == 3 ? 2 : 1);
        }
        whole.reset(); // one renderer at a time
        EXPECT_EQ(drawn(path, budget)->picture(), three) << form.name;
        EXPECT_TRUE(log().contains(cut + path)) << form.name;
    }
}

} // namespace
