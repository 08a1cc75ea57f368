#pragma once

#include <benchmark/benchmark.h>

#include <QString>

#include <functional>
#include <map>
#include <string>

// Prints, after the usual table, each benchmark's throughput next to that of the benchmark
// named as its baseline (the plain copy of the same number of bytes).
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override;
    void Finalize() override;

    // `name` is compared with `baseline` in the summary.
    void compare(const std::string& name, const std::string& baseline);

private:
    std::map<std::string, double> rates_;
    std::vector<std::pair<std::string, std::string>> pairs_;
};

// Runs `work` in a forked child and returns how far its resident set rose above where it
// started, in bytes: the peak memory of that work alone.
long long peakMemoryOf(const std::function<void()>& work);

// Writes bytes to a file (the benchmarks' inputs, made by our own writers).
void writeBenchFile(const QString& path, const QByteArray& bytes);
