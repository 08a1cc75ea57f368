#include "cache_fixture.h"
#include "db_mutex.h"
#include "files.h"
#include "myfile.h"

#include <QDir>
#include <QFile>
#include <QMutexLocker>

#include <functional>

namespace {

constexpr quint32 kPictureTime = 1700000000;

TEST_F(CacheTest, FirstRequestCreatesTheFoldersAndAnEmptyTable) {
    const QString path = source("first.lqx", "data");
    EXPECT_TRUE(needsThumbnail(path));
    EXPECT_TRUE(QDir(root + "/db/thumbnailImage").exists());
    EXPECT_TRUE(QFile::exists(root + "/db/thumbnail.db"));
    EXPECT_EQ(rowCount(), 0);
}

TEST_F(CacheTest, RecordNamesThePictureFromBaseNameAndLastSuffix) {
    QMutexLocker lock(&dbMutex);
    const myFile record("/models/ring.final.lqx", root);
    EXPECT_EQ(record.imageName, "ring_lqx.png");
    EXPECT_EQ(record.imageDir, root + "/db/thumbnailImage");
}

TEST_F(CacheTest, SourceStampedUpToThirtySecondsAfterItsPictureStaysFresh) {
    const QString fresh = source("fresh.stl", "1234");
    const QString stale = source("stale.stl", "1234");
    pictureWithRow(fresh, kPictureTime, kPictureTime + 30, 4);
    pictureWithRow(stale, kPictureTime, kPictureTime + 31, 4);
    EXPECT_FALSE(needsThumbnail(fresh));
    EXPECT_TRUE(needsThumbnail(stale));
    // A source older than its picture is the ordinary case; the difference is signed.
    const QString older = source("older.stl", "1234");
    pictureWithRow(older, kPictureTime, kPictureTime - 1000, 4);
    EXPECT_FALSE(needsThumbnail(older));
}

TEST_F(CacheTest, SizeChangeMarksTheRowStaleAndTheNextRequestProduces) {
    const QString path = source("grown.lqx", "12345678");
    pictureWithRow(path, kPictureTime, kPictureTime, 4);
    EXPECT_FALSE(needsThumbnail(path));
    EXPECT_EQ(row(path).thumPath, "1");
    EXPECT_EQ(row(path).fileSize, 4u);
    EXPECT_TRUE(needsThumbnail(path));
    EXPECT_EQ(rowCount(), 1);
}

TEST_F(CacheTest, StaleMarkerNeverMatchesAFileNamedOneInTheWorkingFolder) {
    const QString path = source("marker.lqx", "1234");
    pictureWithRow(path, kPictureTime, kPictureTime, 4);
    writeFile(testDataHome() + "/1", "not a picture");
    QDir::setCurrent(testDataHome());
    writeFile(path, "12345");
    EXPECT_FALSE(needsThumbnail(path));
    EXPECT_TRUE(needsThumbnail(path));
}

TEST_F(CacheTest, ErrorRowIsNeverRetriedEvenForAReplacedFile) {
    const QString path = source("broken.fdg", "1234");
    writeRow({kErrorThumbPath, 0, path, 0, 4});
    EXPECT_FALSE(needsThumbnail(path));
    writeFile(path, QByteArray(100, 'g'));
    EXPECT_FALSE(needsThumbnail(path));
    EXPECT_EQ(row(path).thumPath, "error");
}

TEST_F(CacheTest, PictureDeletedOrCutShortIsProducedAgain) {
    // A full disk leaves empty or truncated pictures; only the signature is looked at.
    const std::function<void(const QString&)> damages[] = {
        [](const QString& picture) { QFile::remove(picture); },
        [](const QString& picture) { writeFile(picture, ""); },
        [](const QString& picture) { writeFile(picture, readFile(picture).mid(1)); },
    };
    int number = 0;
    for (const auto& damage : damages) {
        const QString path = source(QStringLiteral("gone%1.lqx").arg(++number), "1234");
        const QString picture = pictureWithRow(path, kPictureTime, kPictureTime, 4);
        EXPECT_FALSE(needsThumbnail(path)) << number;
        damage(picture);
        EXPECT_TRUE(needsThumbnail(path)) << number;
    }
}

TEST_F(CacheTest, PathsDifferingInLetterCaseAreSeparateFiles) {
    const QString lower = source("case.lqx", "1234");
    const QString upper = source("CASE.lqx", "1234");
    pictureWithRow(lower, kPictureTime, kPictureTime, 4);
    EXPECT_FALSE(needsThumbnail(lower));
    EXPECT_TRUE(needsThumbnail(upper));
    pictureWithRow(upper, kPictureTime, kPictureTime, 4);
    EXPECT_EQ(rowCount(), 2);
}

TEST_F(CacheTest, PathWithQuotesIsLookedUpAndKeptLikeAnyOther) {
    const QString path = source("it's a 'part'.lqx", "1234");
    EXPECT_TRUE(needsThumbnail(path));
    pictureWithRow(path, kPictureTime, kPictureTime, 4);
    EXPECT_FALSE(needsThumbnail(path));
    EXPECT_EQ(row(path).filePath, path);
    writeFile(path, "123456");
    EXPECT_FALSE(needsThumbnail(path));
    EXPECT_EQ(row(path).thumPath, "1");
    EXPECT_TRUE(needsThumbnail(path));
    EXPECT_EQ(rowCount(), 1);
}

TEST_F(CacheTest, DatabaseThatCannotOpenIsLoggedAndProducesNothing) {
    // A plain file where the db folder belongs: no folder, no database.
    writeFile(root + "/db", "not a folder");
    const QString path = source("nodb.lqx", "1234");
    EXPECT_FALSE(needsThumbnail(path));
    const QByteArray log = readFile(root + "/VOXALIS_Thumbnail.log");
    EXPECT_TRUE(log.contains(
        "   dir cannot create    :    " + (root + "/db/thumbnailImage").toLocal8Bit() + "\r\n"))
        << log.constData();
    EXPECT_TRUE(log.contains("   information    :    ")) << log.constData();
}

TEST_F(CacheTest, FileThatIsNotADatabaseIsMovedAsideForAFreshOne) {
    const QString database = root + "/db/thumbnail.db";
    const QByteArray garbage(4096, 'z');
    writeFile(database, garbage);
    // One generation is kept: an older damaged file gives way.
    writeFile(database + ".damaged", "older");
    EXPECT_TRUE(needsThumbnail(source("garbage.lqx", "1234")));
    EXPECT_EQ(readFile(database + ".damaged"), garbage);
    EXPECT_EQ(rowCount(), 0);
    const QByteArray log = readFile(root + "/VOXALIS_Thumbnail.log");
    EXPECT_TRUE(log.contains("thumbnail database is damaged, moved aside\n" +
                             (database + ".damaged").toLocal8Bit() + "\r\n"))
        << log.constData();
}

} // namespace
