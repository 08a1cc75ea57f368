// Construct-to-saved-PNG time of a mesh thumbnail on the machine's OpenGL, split into its
// phases. Needs a display (run under xvfb-run).
//
//   xvfb-run -a build/bench/bench/render_bench

#include "bench_support.h"
#include "cache_recorder.h"
#include "db_mutex.h"
#include "file_render.h"
#include "in_process_application.h"
#include "mesh_writers.h"
#include "my_stl_reader.h"
#include "myfile.h"
#include "open_gl_helper.h"
#include "picture_store.h"

#include <QElapsedTimer>
#include <QMutexLocker>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QTemporaryDir>

namespace {

double millisecondsOf(const std::function<void()>& work) {
    QElapsedTimer timer;
    timer.start();
    work();
    return timer.nsecsElapsed() / 1e6;
}

// The read-back of a 400 x 400 framebuffer, measured on its own.
double readBackMilliseconds() {
    QOpenGLContext context;
    QOffscreenSurface surface;
    context.create();
    surface.create();
    context.makeCurrent(&surface);
    QOpenGLFramebufferObject fbo(400, 400, QOpenGLFramebufferObject::CombinedDepthStencil);
    fbo.bind();
    double total = 0;
    for (int i = 0; i < 20; ++i) {
        total += millisecondsOf([&] { benchmark::DoNotOptimize(fbo.toImage()); });
    }
    return total / 20;
}

void renderMesh(benchmark::State& state, int triangles, bool legacyPath) {
    openGLHelper::instance()->versionCap = legacyPath ? 0x21 : 0xFF;
    static QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("torus-%1.stl").arg(triangles));
    const int rings = triangles / 1000;
    writeBenchFile(path, binaryStl(torus(40, 15, rings, 500)));
    const double readBack = readBackMilliseconds();

    double read = 0;
    double construct = 0;
    double init = 0;
    double paint = 0;
    double png = 0;
    for (auto _ : state) {
        std::unique_ptr<fileRender> renderer;
        CacheRecorder recorder(folder.path(), path, OnLookupFailure::Skip);
        construct += millisecondsOf([&] { renderer = fileRender::forCache(path, recorder); });
        // Read as the renderer reads it (normals stored only without the geometry stage): a
        // binary STL is measured here, and its conversion overlaps the upload and draw.
        const bool hasGeometry = !renderer->mesh()->withNormals;
        read += millisecondsOf([&] { const mySTLReader reader(path, hasGeometry, true); });
        init += millisecondsOf([&] {
            renderer->initGL();
            renderer->resizeGL(400, 400);
        });
        paint += millisecondsOf([&] { renderer->paintGL(); });
        const QImage picture = renderer->picture();
        png += millisecondsOf([&] { savePicture(picture, folder.filePath("png-alone.png")); });
    }
    const double n = double(state.iterations());
    state.counters["read_ms"] = read / n;
    state.counters["context_probe_ms"] = (construct - read) / n;
    state.counters["shaders_ms"] = init / n;
    state.counters["upload_draw_ms"] = paint / n - readBack - png / n;
    state.counters["readback_ms"] = readBack;
    state.counters["png_ms"] = png / n;
    state.counters["total_ms"] = (construct + init + paint) / n;
}

} // namespace

int main(int argc, char** argv) {
    ensureInProcessApplication(argv[0]);
    // The rows go to a database of the benchmark's own.
    QTemporaryDir root;
    {
        QMutexLocker lock(&dbMutex);
        myFile(root.filePath("open.stl"), root.path());
    }
    benchmark::Initialize(&argc, argv);
    for (const bool legacy : {false, true}) {
        const std::string path = legacy ? "_legacy_path" : "_geometry_path";
        benchmark::RegisterBenchmark(("render/binary_stl_100k" + path).c_str(), renderMesh, 100000,
                                     legacy)
            ->Iterations(5)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("render/binary_stl_1m" + path).c_str(), renderMesh, 1000000,
                                     legacy)
            ->Iterations(3)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
