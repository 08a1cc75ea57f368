// Sliced files and the cache, in process: a folder of lqx files next to the floor the format
// sets (encoding the picture as PNG at the toolkit's default quality), and the second request
// for an unchanged file (Initialize + GetThumbnail).
//
//   build/bench/bench/cache_bench

#include "bench_support.h"
#include "module_handle.h"
#include "provider_client.h"
#include "ring_picture.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImageWriter>
#include <QTemporaryDir>

namespace {

QTemporaryDir& home() {
    static QTemporaryDir folder;
    return folder;
}

// Initialize's answer when a picture came back, as the shell asks for one.
HRESULT thumbnail(const QString& path) {
    const ProviderAnswer answer = askProvider(path);
    if (answer.bitmap == nullptr) {
        return E_FAIL;
    }
    DeleteObject(answer.bitmap);
    return answer.initialized;
}

void pngFloor(benchmark::State& state) {
    const QString path = home().filePath("floor.lqx");
    writeBenchFile(path, ringLqx(160));
    thumbnail(path);
    const QImage picture(home().filePath("VOXALIS_Thumbnail/db/thumbnailImage/0/floor_lqx.png"));
    for (auto _ : state) {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QImageWriter(&buffer, "png").write(picture);
        benchmark::DoNotOptimize(buffer.data().size());
    }
    state.SetItemsProcessed(state.iterations());
}

void lqxFolder(benchmark::State& state) {
    const QByteArray bytes = ringLqx(160);
    int folder = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QStringList files;
        for (int i = 0; i < 1000; ++i) {
            files.append(home().filePath(QStringLiteral("folder%1/part%2.lqx").arg(folder).arg(i)));
            QDir().mkpath(QFileInfo(files.last()).path());
            writeBenchFile(files.last(), bytes);
        }
        ++folder;
        state.ResumeTiming();
        for (const QString& file : files) {
            thumbnail(file);
        }
    }
    state.SetItemsProcessed(state.iterations() * 1000);
}

void cachedRequest(benchmark::State& state) {
    const QString path = home().filePath("cached.lqx");
    writeBenchFile(path, ringLqx(160));
    thumbnail(path);
    for (auto _ : state) {
        if (thumbnail(path) != S_OK) {
            state.SkipWithError("no bitmap");
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    qputenv("XDG_DATA_HOME", home().path().toLocal8Bit());
    moduleHandle = GetModuleHandleW(nullptr);
    benchmark::Initialize(&argc, argv);
    benchmark::RegisterBenchmark("png_floor/400x400", pngFloor)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("lqx_folder/1000_files", lqxFolder)
        ->Iterations(2)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("cached_request/in_process", cachedRequest)
        ->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
