#include "cache_fixture.h"

#include <QDir>

#include <functional>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qint64 kTime = 1700000000;

// Copying changes the source after its stamp is taken and before the picture or error is
// recorded, as a copy still under way does; every other change comes after the record.
enum Change { None, Later, Earlier, Longer, NoPicture, CutPicture, Copying, SameSecond, OldRow };

TEST_F(CacheTest, RowIsStaleOnceItsSourceTimeOrSizeDiffersOrItsPictureIsNoWholePng) {
    EXPECT_TRUE(needsThumbnail("/models/part.lqx"));
    EXPECT_TRUE(QDir(imageDir).exists() && log().isEmpty()); // made quietly by the first record
    // Source time when recorded, error row, change, needs. A full disk leaves empty or cut
    // pictures, both too short for the signature, which is all that is looked at. Times outside the
    // stored range read back as the number they are compared with; those before 1970 are all held
    // at 0, and only the change time tells them apart. An edit of the same size within the same
    // second (or one whose old time is put back, as cp -p does) changes nothing but that; a row
    // without change times, from an older version, goes by time and size. Quotes in the names
    // stay values.
    const std::tuple<qint64, bool, Change, bool> cases[] = {
        {kTime, false, None, false},      {kTime, false, Later, true},
        {kTime, false, Earlier, true},    {kTime, false, Longer, true},
        {kTime, false, NoPicture, true},  {kTime, false, CutPicture, true},
        {-1, false, Earlier, true},       {0x100000000 + 1000, false, None, false},
        {kTime, true, None, false},       {kTime, true, Later, true},
        {kTime, false, Copying, true},    {kTime, true, Copying, true},
        {kTime, false, SameSecond, true}, {kTime, true, SameSecond, true},
        {kTime, false, OldRow, false},
    };
    int number = 0;
    for (const auto& [time, error, change, needs] : cases) {
        SCOPED_TRACE(++number);
        const QString path = writeSource(QStringLiteral("it's 'part' %1.lqx").arg(number), "1234");
        setModifiedTime(path, time);
        needsThumbnail(path);
        if (change == Copying) {
            writeFile(path, "12345");
        }
        QString picture;
        ASSERT_EQ(error ? recordErrorFor(imageDir, path)
                        : savePictureFor(image, imageDir, path, OnLookupFailure::Insert, picture),
                  PictureSave::Saved);
        EXPECT_EQ(lookup(path).row.fileSize, 4u); // the stamp from before the read
        EXPECT_EQ(needsThumbnail(path), change == Copying);
        if (change == Later || change == Earlier) {
            setModifiedTime(path, time + (change == Later ? 1 : -1));
        } else if (change == Longer) {
            writeFile(path, "12345");
            setModifiedTime(path, time);
        } else if (change == NoPicture) {
            QFile::remove(picture);
        } else if (change == CutPicture) {
            writeFile(picture, readFile(picture).left(7));
        } else if (change == SameSecond) {
            writeFile(path, "4321");
            setModifiedTime(path, time);
        } else if (change == OldRow) {
            QMutexLocker lock(&dbMutex);
            QSqlQuery(cacheDatabase()).exec("delete from sourceChange");
            lock.unlock();
            writeFile(path, "4321");
            setModifiedTime(path, time);
        }
        EXPECT_EQ(needsThumbnail(path), needs);
        EXPECT_EQ(needsThumbnail(path), needs); // the check leaves the row as it was
    }
    EXPECT_FALSE(log().contains("busy")) << qPrintable(log());
}

// Something that is no file where the database belongs is moved aside like a damaged file,
// never opened: a FIFO would block the host, and a link to itself would fail every time.
TEST_F(CacheTest, DatabaseThatIsNoFileIsMovedAsideForAFreshOne) {
    const QString database = root + "/db/thumbnail.db", aside = database + ".damaged";
    const QByteArray name = QFile::encodeName(database);
    const std::function<bool()> makers[] = {
        [&] { return mkfifo(name.constData(), 0600) == 0; },
        [&] { return symlink(name.constData(), name.constData()) == 0; },
        [&] { return symlink((name + "-nowhere").constData(), name.constData()) == 0; },
        [&] { return QDir().mkpath(database); },
    };
    int number = 0;
    for (const auto& make : makers) {
        SCOPED_TRACE(++number);
        needsThumbnail("/models/opens-the-folders.lqx");
        QFile::remove(database);
        QFile::remove(aside);
        QDir(aside).removeRecursively();
        ASSERT_TRUE(make());
        const QString path = writeSource(QStringLiteral("no-file-%1.lqx").arg(number), "1234");
        record(path);
        EXPECT_TRUE(QFileInfo(database).isFile());
        EXPECT_FALSE(needsThumbnail(path));
        EXPECT_TRUE(QFileInfo(aside).isSymLink() || QFileInfo::exists(aside));
    }
}

TEST_F(CacheTest, DatabaseThatCannotOpenIsLoggedAndProducesNothing) {
    writeFile(root + "/db", "a file where the folder belongs");
    EXPECT_FALSE(needsThumbnail(writeSource("nodb.lqx", "1234")));
    EXPECT_TRUE(log().contains("   dir cannot create    :    " + root + "/db/thumbnailImage\r\n"));
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
    EXPECT_EQ(lookup(hostile.toUpper()).status, LookupStatus::Missing); // another file

    // The renderer writes nothing when the look-up fails, here for want of a table.
    const ThumbnailRow rendered{"/p/r.png", 1, "/s/r.stl", 2, 3};
    ASSERT_TRUE(raw.exec("drop table thumbnail"));
    EXPECT_EQ(writeThumbnailRow(rendered, OnLookupFailure::Skip), Written::Failed);
    EXPECT_EQ(createThumbnailTable(), Written::Done);
    EXPECT_EQ(writeThumbnailRow(rendered, OnLookupFailure::Skip), Written::Done);
    EXPECT_EQ(lookup("/s/r.stl").row.thumPath, "/p/r.png");
}

} // namespace
