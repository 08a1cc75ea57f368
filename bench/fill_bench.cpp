// Whole-process time and peak memory of meshes that cost the rasteriser far more than their
// size (bench: up to 3 s and 500 MB for a file of 10 MB at any side up to 1024, 20 s for any
// file), next to an ordinary mesh, on both hosts: the desktop thumbnailer and the shell's host
// (the COM path, 400 x 400). Each row's counters give its ratio to those limits.
//
//   build/bench/bench/fill_bench                 (needs voxalis-thumb and voxalis-thumbnailer)
//   build/bench/bench/fill_bench --write OUTDIR  (only writes the meshes)

#include "bench_support.h"
#include "mesh_writers.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr double kSecondsUpTo10MB = 3;
constexpr double kSecondsAnySize = 20;
constexpr double kMegabytesUpTo10MB = 500;
constexpr qint64 kTenMB = 10000000;

struct Mesh {
    const char* name;
    QByteArray (*write)(qint64 bytes);
    qint64 bytes;
};

QByteArray ordinaryTorus(qint64) {
    return binaryStl(torus(40, 15, 1000, 100));
}

const Mesh kMeshes[] = {
    {"torus-200k.stl", ordinaryTorus, 0},
    {"fan-10mb.obj", denseFanObj, kTenMB},
    {"walls-10mb.slc", tallWallsSlc, kTenMB},
    {"overlapping-10mb.stl", overlappingFacetsStl, kTenMB},
    {"fan-120mb.obj", denseFanObj, 12 * kTenMB},
};

void writeMeshes(const QDir& out) {
    QDir().mkpath(out.path());
    for (const Mesh& mesh : kMeshes) {
        writeBenchFile(out.filePath(QLatin1String(mesh.name)), mesh.write(mesh.bytes));
    }
}

struct Usage {
    double seconds = 0;
    double megabytes = 0;
};

// Runs a program to its end, its output discarded, with `environment` added.
Usage run(const std::vector<QByteArray>& arguments,
          const std::vector<std::pair<const char*, QByteArray>>& environment = {}) {
    QElapsedTimer timer;
    timer.start();
    const pid_t child = fork();
    if (child == 0) {
        for (const auto& [name, value] : environment) {
            setenv(name, value.constData(), 1);
        }
        std::vector<char*> argv;
        for (const QByteArray& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.constData()));
        }
        argv.push_back(nullptr);
        if (freopen("/dev/null", "w", stdout) == nullptr ||
            freopen("/dev/null", "w", stderr) == nullptr) {
            _exit(127);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    return {timer.nsecsElapsed() / 1e9, usage.ru_maxrss / 1024.0};
}

struct Hosts {
    QByteArray folder;
    QByteArray thumbnailer;
    QByteArray shellHost;
    QTemporaryDir work;
    QByteArray registry = QFile::encodeName(work.filePath("registry.reg"));
};

Hosts& hosts() {
    static Hosts made;
    return made;
}

void host(benchmark::State& state, const Mesh& mesh, int side) {
    Hosts& h = hosts();
    const QByteArray path = QFile::encodeName(h.work.filePath(QLatin1String(mesh.name)));
    Usage worst;
    for (auto _ : state) {
        QTemporaryDir data(h.work.filePath("data-XXXXXX"));
        const Usage usage =
            side > 0 ? run({h.thumbnailer, "-s", QByteArray::number(side), path,
                            QFile::encodeName(data.filePath("out.png"))})
                     : run({h.shellHost, "-o", QFile::encodeName(data.filePath("out.png")), path},
                           {{"VOXALIS_REGISTRY", h.registry},
                            {"XDG_DATA_HOME", QFile::encodeName(data.path())}});
        worst.seconds = std::max(worst.seconds, usage.seconds);
        worst.megabytes = std::max(worst.megabytes, usage.megabytes);
    }
    const bool large = mesh.bytes > kTenMB;
    state.counters["seconds"] = worst.seconds;
    state.counters["peak_MB"] = worst.megabytes;
    state.counters["time_of_limit"] = worst.seconds / (large ? kSecondsAnySize : kSecondsUpTo10MB);
    if (!large) {
        state.counters["memory_of_limit"] = worst.megabytes / kMegabytesUpTo10MB;
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--write") == 0) {
        writeMeshes(QDir(QString::fromLocal8Bit(argv[2])));
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    Hosts& h = hosts();
    // The hosts are built beside the benchmarks, in the build's bin folder.
    h.folder =
        QFile::encodeName(QFileInfo(QString::fromLocal8Bit(argv[0])).absolutePath()) + "/../bin/";
    h.thumbnailer = h.folder + "voxalis-thumbnailer";
    h.shellHost = h.folder + "voxalis-thumb";
    writeMeshes(QDir(h.work.path()));
    run({h.shellHost, "--register"}, {{"VOXALIS_REGISTRY", h.registry}});
    // No display: both hosts render through the display-free platform plug-in.
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    for (const Mesh& mesh : kMeshes) {
        for (const int side : {256, 1024, 0}) {
            const std::string name = std::string(side > 0 ? "thumbnailer_" : "shell_host_") +
                                     (side > 0 ? std::to_string(side) : "400") + "/" + mesh.name;
            benchmark::RegisterBenchmark(name.c_str(), host, mesh, side)
                ->Iterations(mesh.bytes > kTenMB ? 1 : 3)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
        }
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
