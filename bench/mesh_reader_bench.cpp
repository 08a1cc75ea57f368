// Throughput of the mesh readers next to a plain memory copy of the same number of bytes,
// and the peak memory of a binary STL read.
//
//   build/bench/bench/mesh_reader_bench

#include "bench_support.h"
#include "mesh_writers.h"
#include "my_stl_reader.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstring>

namespace {

struct BenchFiles {
    QTemporaryDir folder;
    QString binaryStl = folder.filePath("torus-1m.stl");
    QString asciiStl = folder.filePath("torus-200k-ascii.stl");
    QString obj = folder.filePath("torus-300k.obj");

    BenchFiles() {
        writeBenchFile(binaryStl, ::binaryStl(torus(40, 15, 1000, 500)));
        writeBenchFile(asciiStl, ::asciiStl(torus(40, 15, 400, 250)));
        writeBenchFile(obj, objFile(torus(40, 15, 600, 250)));
    }
};

BenchFiles& files() {
    static BenchFiles made;
    return made;
}

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void copyOf(benchmark::State& state, const QString& path) {
    const QByteArray source = contents(path);
    QByteArray target(source.size(), '\0');
    for (auto _ : state) {
        std::memcpy(target.data(), source.constData(), static_cast<std::size_t>(source.size()));
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * source.size());
}

void read(benchmark::State& state, const QString& path, bool withNormals) {
    const qint64 size = QFile(path).size();
    for (auto _ : state) {
        const mySTLReader reader(path, !withNormals);
        benchmark::DoNotOptimize(reader.chunks.data());
        if (!reader.renderable) {
            state.SkipWithError("model not read");
        }
    }
    state.SetBytesProcessed(state.iterations() * size);
}

void peakOfBinaryStl(benchmark::State& state) {
    const QString path = files().binaryStl;
    const qint64 facets = (QFile(path).size() - 84) / 50;
    long long peak = 0;
    for (auto _ : state) {
        peak = peakMemoryOf([&] { const mySTLReader reader(path, true); });
    }
    const double vertexData = 36.0 * facets;
    const double blockBuffer = 50.0 * qMin<qint64>(facets, 1456355);
    state.counters["peak_MB"] = peak / 1e6;
    state.counters["vertex_MB"] = vertexData / 1e6;
    state.counters["limit_MB"] = (1.5 * vertexData + blockBuffer) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    BenchFiles& made = files();
    RatioReporter reporter;
    const struct {
        const char* name;
        QString path;
        bool normals;
    } readers[] = {{"binary_stl", made.binaryStl, false},
                   {"binary_stl_with_normals", made.binaryStl, true},
                   {"ascii_stl", made.asciiStl, false},
                   {"obj", made.obj, false}};
    for (const auto& r : readers) {
        const std::string copy = std::string("copy/") + r.name;
        const std::string reading = std::string("read/") + r.name;
        benchmark::RegisterBenchmark(copy.c_str(), copyOf, r.path)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(reading.c_str(), read, r.path, r.normals)
            ->Unit(benchmark::kMillisecond);
        reporter.compare(reading, copy);
    }
    benchmark::RegisterBenchmark("peak_memory/binary_stl", peakOfBinaryStl)->Iterations(1);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
