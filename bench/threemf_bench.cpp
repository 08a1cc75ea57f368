// The cost per triangle of a 3MF model next to the same mesh as binary STL: read time (wall
// clock: the STL reader converts on worker threads) and peak memory of the mesh reader, with the
// ratios of one run printed at the end.
//
//   build/bench/bench/threemf_bench

#include "bench_support.h"
#include "my_stl_reader.h"
#include "threemf_writer.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <map>

namespace {

// The torus of the STL benchmark: 1000 x 500 quads, a million triangles.
struct BenchFiles {
    QTemporaryDir folder;
    QString stl = folder.filePath("torus-1m.stl");
    QString threeMf = folder.filePath("torus-1m.3mf");
    qint64 triangles = 0;

    BenchFiles() {
        const QVector<Triangle> mesh = torus(40, 15, 1000, 500);
        triangles = mesh.size();
        writeBenchFile(stl, binaryStl(mesh));
        ThreeMfPackage package;
        package.model = threeMfModel({{1, mesh, {}, {}}}, {{1, {}, {}}});
        writeBenchFile(threeMf, package.bytes());
    }
};

BenchFiles& files() {
    static BenchFiles made;
    return made;
}

void read(benchmark::State& state, const QString& path) {
    for (auto _ : state) {
        const mySTLReader reader(path, true);
        benchmark::DoNotOptimize(reader.chunks.data());
        if (!reader.renderable) {
            state.SkipWithError("model not read");
        }
    }
    state.SetItemsProcessed(state.iterations() * files().triangles);
    state.counters["ns_per_triangle"] = benchmark::Counter(
        double(files().triangles) * 1e-9,
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void peak(benchmark::State& state, const QString& path) {
    long long bytes = 0;
    for (auto _ : state) {
        bytes = peakMemoryOf([&] { const mySTLReader reader(path, true); });
    }
    state.counters["peak_MB"] = double(bytes) / 1e6;
    state.counters["file_MB"] = double(QFile(path).size()) / 1e6;
}

// Keeps each run's counters and prints 3MF against STL once all have run.
class CostReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            for (const auto& [name, counter] : run.counters) {
                values_[run.run_name.function_name + " " + name] = counter.value;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        const auto ratio = [this](const char* what, const char* counter) {
            const double stl = values_[std::string(what) + "/binary_stl " + counter];
            const double threeMf = values_[std::string(what) + "/3mf " + counter];
            std::printf("%-28s binary STL %10.2f   3MF %10.2f   3MF / STL %7.2f\n", counter, stl,
                        threeMf, stl > 0 ? threeMf / stl : 0.0);
        };
        std::printf("\n1M triangles\n");
        ratio("read", "ns_per_triangle");
        ratio("peak_memory", "peak_MB");
        ratio("peak_memory", "file_MB");
    }

private:
    std::map<std::string, double> values_;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const BenchFiles& made = files();
    for (const auto& [name, path] : {std::pair{"binary_stl", made.stl}, {"3mf", made.threeMf}}) {
        benchmark::RegisterBenchmark((std::string("read/") + name).c_str(), read, path)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark((std::string("peak_memory/") + name).c_str(), peak, path)
            ->Iterations(1);
    }
    CostReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
