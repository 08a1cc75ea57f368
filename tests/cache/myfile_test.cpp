#include "cache_fixture.h"
#include "source_stamp.h"

#include <QDir>

#include <functional>

namespace {

constexpr qint64 kTime = 1700000000;

using Change = std::function<void(const QString& source, const QString& picture)>;

Change stamped(qint64 seconds) {
    return [seconds](const QString& source, const QString&) { setModifiedTime(source, seconds); };
}

TEST_F(CacheTest, RowIsStaleOnceItsSourceTimeOrSizeDiffersOrItsPictureIsNoWholePng) {
    EXPECT_TRUE(needsThumbnail("/models/part.lqx"));
    EXPECT_TRUE(QDir(imageDir).exists() && log().isEmpty()); // made quietly by the first record
    const Change none = [](const QString&, const QString&) {};
    // A full disk leaves empty or truncated pictures; only the signature is looked at. Times
    // outside the stored range come back as the number they are compared with.
    const std::tuple<qint64, bool, Change, bool> cases[] = {
        {kTime, false, none, false},
        {kTime, false, stamped(kTime + 1), true}, // edited at the same size
        {kTime, false, stamped(kTime - 1), true}, // replaced by an older copy
        {kTime, false,
         [](const QString& source, const QString&) {
             writeFile(source, "12345");
             setModifiedTime(source, kTime);
         },
         true},
        {kTime, false, [](const QString&, const QString& picture) { QFile::remove(picture); },
         true},
        {kTime, false, [](const QString&, const QString& picture) { writeFile(picture, ""); },
         true},
        {kTime, false,
         [](const QString&, const QString& picture) {
             writeFile(picture, readFile(picture).left(7));
         },
         true},
        {-86400 * 365, false, none, false},       // 1969
        {-1, false, stamped(-2), false},          // both held at 0
        {0x100000000 + 1000, false, none, false}, // 2106
        {kTime, true, none, false},               // an error row is not tried again
        {kTime, true, stamped(kTime + 60), true}, // until its file changes
        {0x100000000 + 1000, true, none, false},
    };
    int number = 0;
    for (const auto& [time, error, change, needs] : cases) {
        SCOPED_TRACE(++number);
        const QString path = writeSource(QStringLiteral("part%1.lqx").arg(number), "1234");
        setModifiedTime(path, time);
        QString picture;
        if (error) {
            needsThumbnail(path);
            ASSERT_EQ(recordErrorFor(imageDir, path), PictureSave::Saved);
        } else {
            picture = record(path);
        }
        EXPECT_FALSE(needsThumbnail(path));
        change(path, picture);
        EXPECT_EQ(needsThumbnail(path), needs);
        EXPECT_EQ(needsThumbnail(path), needs); // the check leaves the row as it was
    }
}

// The stamp is taken before the file is read: a copy still under way when its picture or its
// error is made gets a new one at the next request.
TEST_F(CacheTest, RowRecordsTheStampFromBeforeTheReadSoAFileChangedMeanwhileIsMadeAgain) {
    const std::function<void(const QString&)> records[] = {
        [this](const QString& path) {
            QString picture;
            EXPECT_EQ(savePictureFor(image, imageDir, path, OnLookupFailure::Insert, picture),
                      PictureSave::Saved);
        },
        [this](const QString& path) {
            EXPECT_EQ(recordErrorFor(imageDir, path), PictureSave::Saved);
        },
    };
    int number = 0;
    for (const auto& write : records) {
        const QString path = writeSource(QStringLiteral("copying%1.lqx").arg(++number), "12");
        setModifiedTime(path, kTime);
        EXPECT_TRUE(needsThumbnail(path));
        writeFile(path, "1234");
        setModifiedTime(path, kTime + 5);
        write(path);
        EXPECT_EQ(lookup(path).row.fileSize, 2u);
        EXPECT_EQ(lookup(path).row.fileTime, kTime);
        EXPECT_TRUE(needsThumbnail(path));
    }
}

TEST_F(CacheTest, QuotedPathsAndOtherLetterCaseAreRowsOfTheirOwn) {
    // Quotes stay values; the stale marker "1" of older versions never matches a picture named
    // 1 in the working folder; a name in other letter case is another file.
    const QString path = writeSource("it's a 'part'.lqx", "1234");
    record(path);
    EXPECT_FALSE(needsThumbnail(path));
    EXPECT_TRUE(needsThumbnail(writeSource("IT'S A 'PART'.lqx", "1234")));
    writeFile(testDataHome() + "/1", kPng);
    QDir::setCurrent(testDataHome());
    const SourceStamp stamp = stampOf(path);
    {
        QMutexLocker lock(&dbMutex);
        writeThumbnailRow({"1", 0, path, stamp.time, stamp.size}, OnLookupFailure::Insert);
    }
    EXPECT_TRUE(needsThumbnail(path));
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
    record(path);
    EXPECT_EQ(readFile(database + ".damaged"), QByteArray(4096, 'z'));
    const QString moved = "openCacheDatabase : 3 thumbnail database is damaged, moved aside\n";
    EXPECT_TRUE(log().contains(moved + database + ".damaged\r\n"));
    // The fresh database works; a connection to a file deleted since is not kept.
    EXPECT_FALSE(needsThumbnail(path));
    ASSERT_TRUE(QFile::remove(database));
    EXPECT_TRUE(needsThumbnail(path));
    EXPECT_TRUE(QFile::exists(database));
}

TEST_F(CacheTest, RowsAreBoundValuesUpdatedInPlaceAndStoredUnsigned) {
    needsThumbnail("/s/opens-the-database.lqx");
    const QString hostile = "/s/x'); drop table thumbnail; --.lqx";
    const QString wildcard = "/s/%1 %2 '%3'.lqx";
    writeThumbnailRow({"/p/a.png", 10, hostile, 20, 30}, OnLookupFailure::Insert);
    writeThumbnailRow({"/p/b.png", 0xFFFFFFFFu, hostile, 0x80000000u, 0xFFFFFFFEu},
                      OnLookupFailure::Insert);
    writeThumbnailRow({kErrorThumbPath, 1, wildcard, 2, 3}, OnLookupFailure::Insert);
    QSqlQuery raw(cacheDatabase());
    ASSERT_TRUE(raw.exec("select group_concat(thumPath || ' ' || thumTime || ' ' || fileTime || "
                         "' ' || fileSize, ', ') from (select * from thumbnail order by rowid)") &&
                raw.next());
    EXPECT_EQ(raw.value(0).toString(), "/p/b.png 4294967295 2147483648 4294967294, error 1 2 3");

    // The renderer writes nothing when the look-up fails, here for want of a table.
    const ThumbnailRow rendered{"/p/r.png", 1, "/s/r.stl", 2, 3};
    ASSERT_TRUE(raw.exec("drop table thumbnail"));
    EXPECT_EQ(writeThumbnailRow(rendered, OnLookupFailure::Skip), Written::Failed);
    EXPECT_EQ(createThumbnailTable(), Written::Done);
    EXPECT_EQ(writeThumbnailRow(rendered, OnLookupFailure::Skip), Written::Done);
    EXPECT_EQ(lookup("/s/r.stl").row.thumPath, "/p/r.png");
}

} // namespace
