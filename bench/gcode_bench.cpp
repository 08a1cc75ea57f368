// The cost of a G-code's picture against the file's size: time, bytes read and peak memory for
// text and binary G-code of about 1 MB and 500 MB with the same previews, of 500 MB without
// any, and for hostile previews (a length or block size beyond the file, a PNG header of
// 50,000 x 50,000 pixels, a QOI that claims more pixels than it holds). Each outcome is the
// cache's: the picture at 400 or a placeholder, decoded but not saved.
//
//   build/bench/bench/gcode_bench

#include "bgcode_writer.h"
#include "gcode_writer.h"
#include "my_file_thumbnail.h"
#include "picture_files.h"
#include "ring_picture.h"
#include "threemf_writer.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr qint64 kSmallSize = 1000000;
constexpr qint64 kHugeSize = 500000000;

// Bytes this process has read through system calls so far.
long long bytesRead() {
    std::ifstream io("/proc/self/io");
    std::string field;
    long long value = 0;
    while (io >> field >> value) {
        if (field == "rchar:") {
            return value;
        }
    }
    return -1;
}

QImage ring(QSize size) {
    return ringOnClear(size, qRgb(0x40, 0xA0, 0xE0));
}

// The previews of PrusaSlicer's defaults for a printer with a screen: four sizes, QOI and PNG.
QVector<GcodePreview> textPreviews() {
    return {{"thumbnail", {16, 16}, pngFile(ring({16, 16})), {}, {}, 78, true},
            {"thumbnail_QOI", {313, 173}, qoiFile(ring({313, 173})), {}, {}, 78, true},
            {"thumbnail_QOI", {440, 240}, qoiFile(ring({440, 240})), {}, {}, 78, true},
            {"thumbnail", {480, 240}, pngFile(ring({480, 240})), {}, {}, 78, true}};
}

QVector<BgcodeBlock> binaryThumbnails() {
    QVector<BgcodeBlock> blocks;
    for (const GcodePreview& preview : textPreviews()) {
        blocks.append(
            bgcodeThumbnail(preview.keyword == "thumbnail" ? 0 : 2, preview.size, preview.picture));
    }
    return blocks;
}

// `head`, then `piece` repeated until the file holds at least `size` bytes.
void writeGrown(const QString& path, const QByteArray& head, const QByteArray& piece, qint64 size) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(head) != head.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
    while (file.size() < size) {
        if (file.write(piece) != piece.size()) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            std::exit(1);
        }
    }
}

struct BenchFiles {
    QTemporaryDir folder;
    std::vector<std::pair<std::string, QString>> paths;

    void add(const char* name, const QString& path) { paths.emplace_back(name, path); }
    QString path(const char* name) const { return folder.filePath(QLatin1String(name)); }

    BenchFiles() {
        qputenv("XDG_DATA_HOME", QFile::encodeName(folder.path()));
        GcodeFile sliced;
        sliced.previews = textPreviews();
        sliced.moves = {};
        const QByteArray moves = GcodeFile::gcodeMoves(3500); // about 100 kB
        writeGrown(path("small.gcode"), sliced.bytes(), moves, kSmallSize);
        writeGrown(path("huge.gcode"), sliced.bytes(), moves, kHugeSize);
        // Without previews the whole head and the tail are read: the most a text G-code costs.
        writeGrown(path("bare.gcode"), GcodeFile{}.bytes(), moves, kHugeSize);
        add("text_1MB", path("small.gcode"));
        add("text_500MB", path("huge.gcode"));
        add("text_500MB_without_previews", path("bare.gcode"));

        // Uncompressed G-code blocks of moves with their checksums: what follows the thumbnails.
        BgcodeBlock gcode;
        gcode.type = kBgcodeGcode;
        gcode.data = moves;
        const QByteArray gcodeBlock = BgcodeFile{"GCDE", 1, 1, {gcode}}.bytes().mid(10);
        const QByteArray head = BgcodeFile::sliced(binaryThumbnails(), 0).bytes();
        writeGrown(path("small.bgcode"), head, gcodeBlock, kSmallSize);
        writeGrown(path("huge.bgcode"), head, gcodeBlock, kHugeSize);
        writeGrown(path("bare.bgcode"), BgcodeFile::sliced({}, 0).bytes(), gcodeBlock, kHugeSize);
        add("binary_1MB", path("small.bgcode"));
        add("binary_500MB", path("huge.bgcode"));
        add("binary_500MB_without_thumbnails", path("bare.bgcode"));

        const QImage small = ring({16, 16});
        const auto hostileText = [&](const char* name, GcodePreview preview) {
            GcodeFile text;
            text.previews = {preview};
            const QString file = path((std::string(name) + ".gcode").c_str());
            writeGrown(file, text.bytes(), moves, kSmallSize);
            add(name, file);
        };
        GcodePreview beyond{"thumbnail", {16, 16}, pngFile(small), 1000000000000, {}, 78, true};
        hostileText("text_length_beyond_file", beyond);
        hostileText("text_png_50000",
                    {"thumbnail", {16, 16}, pngDeclaring(50000, 50000), {}, {}, 78, true});
        hostileText("text_qoi_claims_2048", {"thumbnail_QOI",
                                             {2048, 2048},
                                             qoiFile(small, 4, QSize(2048, 2048)),
                                             {},
                                             {},
                                             78,
                                             true});
        const auto hostileBinary = [&](const char* name, BgcodeBlock thumbnail) {
            const QString file = path((std::string(name) + ".bgcode").c_str());
            writeGrown(file, BgcodeFile::sliced({thumbnail}, 0).bytes(), gcodeBlock, kSmallSize);
            add(name, file);
        };
        BgcodeBlock oversized = bgcodeThumbnail(0, {16, 16}, pngFile(small));
        oversized.declaredSize = 0xFFFFFFF0;
        hostileBinary("binary_block_beyond_file", oversized);
        hostileBinary("binary_png_50000", bgcodeThumbnail(0, {16, 16}, pngDeclaring(50000, 50000)));
        hostileBinary("binary_qoi_claims_2048",
                      bgcodeThumbnail(2, {2048, 2048}, qoiFile(small, 4, QSize(2048, 2048))));
    }
};

BenchFiles& files() {
    static BenchFiles made;
    return made;
}

void picture(benchmark::State& state, const QString& path) {
    const long long before = bytesRead();
    for (auto _ : state) {
        const myFileThumbnail::Delivered delivered =
            myFileThumbnail::pictureOf(path, PreviewTarget::cache());
        benchmark::DoNotOptimize(delivered.picture.constBits());
        state.counters["placeholder"] = delivered.placeholder ? 1 : 0;
        state.counters["width"] = delivered.picture.width();
    }
    state.counters["read_kB"] = double(bytesRead() - before) / 1e3 / double(state.iterations());
    state.counters["file_MB"] = double(QFile(path).size()) / 1e6;
}

// VmRSS or VmHWM of this process, in bytes.
long long statusBytes(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string name;
    long long kib = 0;
    while (status >> name) {
        if (name == field && status >> kib) {
            return kib * 1024;
        }
    }
    return -1;
}

// Peak memory in a process of its own: a forked copy would inherit Qt's thread pool without its
// threads and wait for them forever once an image conversion asks for it.
constexpr char kPeakOption[] = "--peak-of";

int printPeakOf(const char* path) {
    const long long before = statusBytes("VmRSS:");
    myFileThumbnail::pictureOf(QFile::decodeName(path), PreviewTarget::cache());
    std::printf("%lld\n", statusBytes("VmHWM:") - before);
    return 0;
}

void peak(benchmark::State& state, const QString& path) {
    long long bytes = 0;
    for (auto _ : state) {
        QProcess child;
        child.start(QStringLiteral("/proc/self/exe"), {QLatin1String(kPeakOption), path});
        child.waitForFinished(-1);
        bytes = child.readAllStandardOutput().trimmed().toLongLong();
    }
    state.counters["peak_MB"] = double(bytes) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == kPeakOption) {
        return printPeakOf(argv[2]);
    }
    benchmark::Initialize(&argc, argv);
    for (const auto& [name, path] : files().paths) {
        benchmark::RegisterBenchmark(("picture/" + name).c_str(), picture, path)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("peak_memory/" + name).c_str(), peak, path)->Iterations(1);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
