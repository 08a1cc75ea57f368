#include "bench_support.h"

#include <QFile>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

void RatioReporter::ReportRuns(const std::vector<Run>& runs) {
    for (const Run& run : runs) {
        const auto rate = run.counters.find("bytes_per_second");
        if (rate != run.counters.end() && run.run_type == Run::RT_Iteration) {
            rates_[run.benchmark_name()] = rate->second;
        }
    }
    ConsoleReporter::ReportRuns(runs);
}

void RatioReporter::Finalize() {
    ConsoleReporter::Finalize();
    std::printf("\n%-44s %12s %12s %8s\n", "reader", "MB/s", "copy MB/s", "ratio");
    for (const auto& [name, baseline] : pairs_) {
        const auto it = rates_.find(name);
        const auto base = rates_.find(baseline);
        if (it == rates_.end() || base == rates_.end()) {
            continue;
        }
        std::printf("%-44s %12.0f %12.0f %8.3f\n", name.c_str(), it->second / 1e6,
                    base->second / 1e6, it->second / base->second);
    }
}

void RatioReporter::compare(const std::string& name, const std::string& baseline) {
    pairs_.emplace_back(name, baseline);
}

namespace {

long long statusField(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0) {
            std::istringstream value(line.substr(std::string(field).size()));
            long long kib = 0;
            value >> kib;
            return kib * 1024;
        }
    }
    return -1;
}

} // namespace

long long peakMemoryOf(const std::function<void()>& work) {
    int channel[2];
    if (pipe(channel) != 0) {
        return -1;
    }
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        const long long before = statusField("VmRSS:");
        work();
        const long long rise = statusField("VmHWM:") - before;
        const ssize_t written = write(channel[1], &rise, sizeof(rise));
        _exit(written == sizeof(rise) ? 0 : 1);
    }
    close(channel[1]);
    long long rise = -1;
    if (read(channel[0], &rise, sizeof(rise)) != sizeof(rise)) {
        rise = -1;
    }
    close(channel[0]);
    waitpid(child, nullptr, 0);
    return rise;
}

void writeBenchFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
}
