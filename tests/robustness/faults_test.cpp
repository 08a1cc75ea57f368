#include "cache_database.h"
#include "current_file_path.h"
#include "db_mutex.h"
#include "dlp_writer.h"
#include "files.h"
#include "memory_probes.h"
#include "mesh_writers.h"
#include "module_handle.h"
#include "provider_client.h"
#include "qt_printers.h"
#include "rle16_writer.h"
#include "statements.h"
#include "thumbnail_job.h"
#include "thumbnail_table.h"
#include "voxalis_writer.h"

#include <QDir>
#include <QFile>
#include <QMutexLocker>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <gtest/gtest.h>

namespace {

ProviderAnswer ask(const QString& file) {
    const ProviderAnswer answer = askProvider(file, 64);
    EXPECT_EQ(answer.answered, S_OK);
    EXPECT_EQ(answer.alpha, WTSAT_ARGB);
    return answer;
}

QByteArray lqx() {
    DlpFile file;
    file.width = 2;
    file.height = 2;
    file.picture = Rle16Writer().run(0, 2).run(0x8410, 2).bytes();
    return file.bytes();
}

class Faults : public ::testing::Test {
protected:
    void SetUp() override { moduleHandle = GetModuleHandleW(nullptr); }

    QString root() const { return testDataHome() + "/VOXALIS_Thumbnail"; }
    QString log() const { return QString::fromUtf8(readFile(root() + "/VOXALIS_Thumbnail.log")); }
};

TEST_F(Faults, DataRootThatCannotBeWrittenGivesNoBitmap) {
    const QString file = writeSource("part.lqx", lqx());
    // /proc refuses new folders even to root.
    qputenv("XDG_DATA_HOME", "/proc/self");
    const ProviderAnswer answer = ask(file);
    EXPECT_EQ(answer.initialized, S_OK);
    EXPECT_EQ(answer.bitmap, nullptr);
}

TEST_F(Faults, CacheFileThatIsNoDatabaseIsMovedAsideAndWorkGoesOn) {
    const QByteArray garbage(8192, 'g');
    writeFile(root() + "/db/thumbnail.db", garbage);
    const ProviderAnswer answer = ask(writeSource("part.lqx", lqx()));
    EXPECT_EQ(answer.initialized, S_OK);
    EXPECT_NE(answer.bitmap, nullptr);
    DeleteObject(answer.bitmap);
    EXPECT_EQ(readFile(root() + "/db/thumbnail.db.damaged"), garbage);
}

TEST_F(Faults, HostHeldPastTheWaitGivesUpWithOneLineAndLeavesNothing) {
    setCacheWaitMilliseconds(50);
    const ProviderAnswer first = ask(writeSource("first.lqx", lqx()));
    ASSERT_NE(first.bitmap, nullptr);
    DeleteObject(first.bitmap);
    const QString imageDir = root() + "/db/thumbnailImage";
    const QString preview = writeSource("locked.lqx", lqx());
    const QString mesh = writeSource("locked.stl", binaryStl(cube(1)));
    const QString busy = writeSource("busy.lqx", lqx());

    const std::intptr_t folder =
        lockFileExclusively(QFile::encodeName(imageDir + "/.lock").constData(), 0);
    ASSERT_GE(folder, 0);
    const ProviderAnswer lockedPreview = ask(preview);
    const ProviderAnswer lockedMesh = ask(mesh);
    unlockFile(folder);
    ProviderAnswer busyPreview;
    {
        QSqlDatabase holder = QSqlDatabase::addDatabase("QSQLITE", "holder");
        holder.setDatabaseName(root() + "/db/thumbnail.db");
        ASSERT_TRUE(holder.open());
        ASSERT_TRUE(QSqlQuery(holder).exec("begin immediate"));
        busyPreview = ask(busy);
        QSqlQuery(holder).exec("rollback");
        holder.close();
    }
    QSqlDatabase::removeDatabase("holder");

    for (const ProviderAnswer& answer : {lockedPreview, lockedMesh, busyPreview}) {
        EXPECT_EQ(answer.bitmap, nullptr);
    }
    EXPECT_EQ(log().count("thumbnail folder is locked\n" + preview + "\r\n"), 1)
        << qPrintable(log());
    EXPECT_EQ(log().count("thumbnail folder is locked\n" + mesh + "\r\n"), 1) << qPrintable(log());
    EXPECT_EQ(log().count("thumbnail database is busy\n" + busy + "\r\n"), 1) << qPrintable(log());
    EXPECT_FALSE(log().contains("cannot save")) << qPrintable(log());
    // Only the first job's picture, and no row for the others.
    EXPECT_EQ(QDir(imageDir + "/0").entryList(QDir::Files).size(), 1);
    QMutexLocker lock(&dbMutex);
    for (const QString& source : {preview, mesh, busy}) {
        EXPECT_EQ(lookupThumbnail(source, statements::kLookup).status, LookupStatus::Missing)
            << qPrintable(source);
    }
}

TEST_F(Faults, PictureFolderDeletedBetweenJobsIsMadeAgain) {
    const QString first = writeSource("first.lqx", lqx());
    const ProviderAnswer before = ask(first);
    ASSERT_NE(before.bitmap, nullptr);
    DeleteObject(before.bitmap);
    ASSERT_TRUE(QDir(root() + "/db/thumbnailImage").removeRecursively());
    const ProviderAnswer other = ask(writeSource("second.lqx", lqx()));
    ASSERT_NE(other.bitmap, nullptr);
    DeleteObject(other.bitmap);
    const ProviderAnswer again = ask(first);
    ASSERT_NE(again.bitmap, nullptr);
    DeleteObject(again.bitmap);
}

// Producers that lose the source after the freshness check, then do their real work.
class VanishingSource final : public ThumbnailProducers {
public:
    explicit VanishingSource(bool truncate) : truncate_(truncate) {}
    void extractPreview(const QString& source, const QString& dataRoot) override {
        vanish(source);
        defaultProducers().extractPreview(source, dataRoot);
    }
    bool renderMesh(const QString& source, const QString& imageDir) override {
        vanish(source);
        return defaultProducers().renderMesh(source, imageDir);
    }

private:
    void vanish(const QString& source) const {
        if (truncate_) {
            QFile(source).resize(7);
        } else {
            QFile::remove(source);
        }
    }
    bool truncate_;
};

TEST_F(Faults, SourceThatVanishesBeforeTheReadGetsADefinedOutcome) {
    VanishingSource deleting(false);
    VanishingSource truncating(true);
    const QString deletedPreview = writeSource("deleted.lqx", lqx());
    const QString truncatedPreview = writeSource("truncated.lqx", lqx());
    const QString deletedMesh = writeSource("deleted.stl", binaryStl(cube(1)));
    const QString truncatedMesh = writeSource("truncated.stl", binaryStl(cube(1)));

    EXPECT_EQ(runThumbnailJob(deletedPreview.toStdWString().c_str(), deleting), S_OK);
    EXPECT_EQ(runThumbnailJob(truncatedPreview.toStdWString().c_str(), truncating), S_OK);
    // A mesh that is gone reads as an empty file: the placeholder, and no bitmap this time.
    // One cut inside its header is a binary file without facets: an empty picture.
    EXPECT_EQ(runThumbnailJob(deletedMesh.toStdWString().c_str(), deleting), S_FALSE);
    EXPECT_EQ(runThumbnailJob(truncatedMesh.toStdWString().c_str(), truncating), S_OK);

    QMutexLocker lock(&dbMutex);
    EXPECT_EQ(lookupThumbnail(deletedPreview, statements::kLookup).status, LookupStatus::Missing);
    EXPECT_EQ(lookupThumbnail(truncatedPreview, statements::kLookup).status, LookupStatus::Missing);
    EXPECT_EQ(lookupThumbnail(deletedMesh, statements::kLookup).status, LookupStatus::Found);
    EXPECT_EQ(lookupThumbnail(truncatedMesh, statements::kLookup).status, LookupStatus::Found);
    lock.unlock();
    EXPECT_TRUE(log().contains("DlpHead_t read less\n" + truncatedPreview)) << qPrintable(log());
}

TEST_F(Faults, LogThatCannotBeWrittenCostsOnlyTheLine) {
    ASSERT_TRUE(QDir().mkpath(root() + "/VOXALIS_Thumbnail.log"));
    DlpFile damaged = DlpFile();
    damaged.guardOffset = 1 << 20;
    const ProviderAnswer answer = ask(writeSource("damaged.lqx", damaged.bytes()));
    EXPECT_EQ(answer.initialized, S_OK);
    EXPECT_NE(answer.bitmap, nullptr); // the placeholder, recorded as usual
    DeleteObject(answer.bitmap);
}

BOOL ninetyFivePercent(LPMEMORYSTATUSEX status) {
    status->dwMemoryLoad = 95;
    status->ullAvailPhys = 8ull << 30;
    return TRUE;
}

TEST_F(Faults, MemoryGuardStopsTheMeshWithoutARow) {
    const QString file = writeSource("guarded.obj", objFile(cube(1)));
    setMemoryStatusSource(&ninetyFivePercent);
    const ProviderAnswer answer = ask(file);
    setMemoryStatusSource(nullptr);
    EXPECT_EQ(answer.initialized, S_FALSE);
    EXPECT_EQ(answer.bitmap, nullptr);
    EXPECT_TRUE(log().contains(QStringLiteral("内存已经超过百分之90     ") + file))
        << qPrintable(log());
    QMutexLocker lock(&dbMutex);
    EXPECT_EQ(lookupThumbnail(file, statements::kLookup).status, LookupStatus::Missing);
}

TEST(OutOfMemory, CanvasThatCannotBeAllocatedEndsTheJobWithoutARow) {
#if !defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "allocation failures are made by AddressSanitizer's allocator limit";
#endif
    // A 10,000 x 10,000 project preview needs a 300 MB canvas; the host's allocator here
    // refuses anything above 64 MB, as a machine out of memory would.
    VoxalisFile huge;
    huge.width = 10000;
    huge.height = 10000;
    huge.picture = Rle16Writer().pixel(1).pixel(2).bytes();
    const QString big = testDataHome() + "/sources/huge.voxalis";
    const QString small = testDataHome() + "/sources/small.lqx";
    writeFile(big, huge.bytes());
    writeFile(small, lqx());

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("VOXALIS_REGISTRY", testDataHome() + "/registry.reg");
    environment.insert("ASAN_OPTIONS",
                       "allocator_may_return_null=1:max_allocation_size_mb=64:detect_leaks=0");
    QProcess host;
    host.setProcessEnvironment(environment);
    host.start(VOXALIS_THUMB, {"--register"});
    ASSERT_TRUE(host.waitForFinished(60000));
    host.start(VOXALIS_THUMB, {"-o", testDataHome() + "/out", big, small});
    ASSERT_TRUE(host.waitForFinished(60000));
    const QString output = QString::fromLocal8Bit(host.readAllStandardOutput());
    EXPECT_EQ(host.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(host.exitCode(), 5) << qPrintable(output);
    EXPECT_TRUE(output.contains(QRegularExpression("FAILED .*huge.voxalis  no bitmap")))
        << qPrintable(output);
    EXPECT_TRUE(output.contains(QRegularExpression("ok .*small.lqx"))) << qPrintable(output);
}

} // namespace
