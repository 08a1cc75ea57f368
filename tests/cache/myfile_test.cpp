#include "cache_fixture.h"

#include <QDir>

#include <functional>

namespace {

constexpr quint32 kPictureTime = 1700000000;

TEST_F(CacheTest, RowStaysFreshWhileItsPictureIsWholeAndItsSourceWasStampedInTime) {
    EXPECT_TRUE(needsThumbnail("/models/part.lqx"));
    EXPECT_TRUE(QDir(imageDir).exists() && log().isEmpty()); // made quietly by the first record
    const auto keep = [](const QString&) {};
    // A full disk leaves empty or truncated pictures; only the signature is looked at. The
    // source's time after its picture's is a signed difference.
    const std::tuple<qint64, std::function<void(const QString&)>, bool> cases[] = {
        {30, keep, false},
        {31, keep, true},
        {-1000, keep, false},
        {0, [](const QString& picture) { QFile::remove(picture); }, true},
        {0, [](const QString& picture) { writeFile(picture, ""); }, true},
        {0, [](const QString& picture) { writeFile(picture, readFile(picture).left(7)); }, true},
    };
    int number = 0;
    for (const auto& [stamped, damage, needs] : cases) {
        SCOPED_TRACE(++number);
        const QString path = writeSource(QStringLiteral("part%1.lqx").arg(number), "1234");
        damage(pictureWithRow(path, kPictureTime, kPictureTime + stamped));
        EXPECT_EQ(needsThumbnail(path), needs);
        EXPECT_EQ(needsThumbnail(path), needs); // the check leaves a sound row as it was
    }
}

TEST_F(CacheTest, SizeChangeMarksTheRowStaleForTheNextCheck) {
    // Quotes stay values; the marker "1" never matches a picture named 1 in the working folder;
    // a name in other letter case is another file.
    const QString path = writeSource("it's a 'part'.lqx", "1234");
    pictureWithRow(path, kPictureTime, kPictureTime);
    writeFile(testDataHome() + "/1", kPng);
    QDir::setCurrent(testDataHome());
    writeFile(path, "12345");
    EXPECT_FALSE(needsThumbnail(path));
    EXPECT_EQ(lookup(path).row.thumPath, "1");
    EXPECT_TRUE(needsThumbnail(path));
    EXPECT_TRUE(needsThumbnail(writeSource("IT'S A 'PART'.lqx", "1234")));
    EXPECT_FALSE(log().contains("busy")) << qPrintable(log());
}

TEST_F(CacheTest, DatabaseThatCannotOpenIsLoggedAndProducesNothing) {
    writeFile(root + "/db", "a file where the folder belongs");
    EXPECT_FALSE(needsThumbnail(writeSource("nodb.lqx", "1234")));
    EXPECT_TRUE(log().contains("   dir cannot create    :    " + root + "/db/thumbnailImage\r\n"));
    EXPECT_TRUE(log().contains("   information    :    "));
}

TEST_F(CacheTest, FileThatIsNotADatabaseIsMovedAsideForAFreshOne) {
    const QString database = root + "/db/thumbnail.db";
    writeFile(database, QByteArray(4096, 'z'));
    writeFile(database + ".damaged", "older"); // one generation is kept
    const QString path = writeSource("garbage.lqx", "1234");
    pictureWithRow(path, kPictureTime, kPictureTime);
    EXPECT_EQ(readFile(database + ".damaged"), QByteArray(4096, 'z'));
    const QString moved = "openCacheDatabase : 3 thumbnail database is damaged, moved aside\n";
    EXPECT_TRUE(log().contains(moved + database + ".damaged\r\n"));
    // The fresh database works; a connection to a file deleted since is not kept.
    EXPECT_FALSE(needsThumbnail(path));
    ASSERT_TRUE(QFile::remove(database));
    EXPECT_TRUE(needsThumbnail(path));
    EXPECT_TRUE(QFile::exists(database));
}

TEST_F(CacheTest, RowsAreBoundValuesUpdatedInPlaceStoredUnsignedAndErrorRowsNeverRetried) {
    needsThumbnail("/s/opens-the-database.lqx");
    const QString hostile = "/s/x'); drop table thumbnail; --.lqx";
    const QString wildcard = "/s/%1 %2 '%3'.lqx";
    writeThumbnailRow({"/p/a.png", 10, hostile, 20, 30}, OnLookupFailure::Insert);
    writeThumbnailRow({"/p/b.png", 0xFFFFFFFFu, hostile, 0x80000000u, 0xFFFFFFFEu},
                      OnLookupFailure::Insert);
    writeThumbnailRow({kErrorThumbPath, 1, wildcard, 2, 3}, OnLookupFailure::Insert);
    EXPECT_EQ(markStale(hostile), Written::Done);
    EXPECT_FALSE(needsThumbnail(wildcard)); // whatever its size now
    QSqlQuery raw(cacheDatabase());
    ASSERT_TRUE(raw.exec("select group_concat(thumPath || ' ' || thumTime || ' ' || fileTime || "
                         "' ' || fileSize, ', ') from (select * from thumbnail order by rowid)") &&
                raw.next());
    EXPECT_EQ(raw.value(0).toString(), "1 4294967295 2147483648 4294967294, error 1 2 3");

    // The renderer writes nothing when the look-up fails, here for want of a table.
    const ThumbnailRow rendered{"/p/r.png", 1, "/s/r.stl", 2, 3};
    ASSERT_TRUE(raw.exec("drop table thumbnail"));
    EXPECT_EQ(writeThumbnailRow(rendered, OnLookupFailure::Skip), Written::Failed);
    EXPECT_EQ(createThumbnailTable(), Written::Done);
    EXPECT_EQ(writeThumbnailRow(rendered, OnLookupFailure::Skip), Written::Done);
    EXPECT_EQ(lookup("/s/r.stl").row.thumPath, "/p/r.png");
}

} // namespace
