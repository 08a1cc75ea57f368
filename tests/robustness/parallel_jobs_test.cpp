#include "db_mutex.h"
#include "dlp_writer.h"
#include "files.h"
#include "mesh_writers.h"
#include "module_handle.h"
#include "photons_writer.h"
#include "provider_client.h"
#include "qt_printers.h"
#include "rle16_writer.h"
#include "statements.h"
#include "thumbnail_table.h"

#include <QMutexLocker>
#include <QSet>

#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

struct Seen {
    QString file;
    QImage picture;
};

QImage thumbnailOf(const QString& file) {
    const ProviderAnswer answer = askProvider(file);
    if (answer.bitmap == nullptr) {
        return {};
    }
    const QImage image = pixelsOf(answer.bitmap);
    DeleteObject(answer.bitmap);
    return image;
}

// Sliced files whose previews differ (a bar at another height in each) and small meshes.
QStringList writeMix() {
    QStringList files;
    for (int i = 0; i < 6; ++i) {
        DlpFile file;
        file.width = 8;
        file.height = 8;
        file.picture = Rle16Writer().run(0, 8 * i).run(0x8410, 8).run(0, 64).bytes();
        const QString path = testDataHome() + QStringLiteral("/mix/%1/part.lqx").arg(i);
        writeFile(path, file.bytes());
        files.append(path);
    }
    PhotonsFile photons;
    photons.width = 4;
    photons.height = 4;
    photons.pixels = photonsPixel(200, 40, 40).repeated(16);
    files.append(testDataHome() + "/mix/red.photons");
    writeFile(files.last(), photons.bytes());
    files.append(testDataHome() + "/mix/ball.stl");
    writeFile(files.last(), binaryStl(sphere(3, 12, 24)));
    files.append(testDataHome() + "/mix/cube.obj");
    writeFile(files.last(), objFile(cube(2)));
    files.append(testDataHome() + "/mix/ring.stl");
    writeFile(files.last(), asciiStl(torus(4, 1, 16, 8)));
    return files;
}

TEST(ParallelJobs, EightThreadsEachGetTheirOwnFilesPicture) {
    moduleHandle = GetModuleHandleW(nullptr);
    const QStringList files = writeMix();
    std::mutex seenMutex;
    std::vector<Seen> seen;
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 3; ++round) {
                for (int i = 0; i < files.size(); ++i) {
                    const QString& file = files[(i + t) % files.size()];
                    const QImage picture = thumbnailOf(file);
                    const std::lock_guard<std::mutex> lock(seenMutex);
                    seen.push_back({file, picture});
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    ASSERT_EQ(seen.size(), std::size_t(8 * 3 * files.size()));

    // One row per file, each naming its own picture; every bitmap a thread got is its file's.
    QMutexLocker lock(&dbMutex);
    QStringList pictures;
    for (const QString& file : files) {
        const Lookup found = lookupThumbnail(file, statements::kLookup);
        ASSERT_EQ(found.status, LookupStatus::Found) << qPrintable(file);
        pictures.append(found.row.thumPath);
    }
    lock.unlock();
    EXPECT_EQ(QSet<QString>(pictures.begin(), pictures.end()).size(), files.size());
    int shown = 0;
    for (const Seen& s : seen) {
        const QImage expected =
            QImage(pictures[files.indexOf(s.file)]).convertToFormat(QImage::Format_ARGB32);
        if (!s.picture.isNull()) {
            ++shown;
            ASSERT_EQ(s.picture, expected) << qPrintable(s.file);
        }
    }
    // A thread may ask while another has marked the file's row; never more than the first round.
    EXPECT_GT(shown, int(seen.size()) * 9 / 10);
}

} // namespace
