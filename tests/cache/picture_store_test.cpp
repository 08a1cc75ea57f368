#include "cache_database.h"
#include "cache_fixture.h"
#include "files.h"
#include "picture_store.h"
#include "saved_picture_memo.h"
#include "windows_api.h"

#include <QDir>
#include <QImage>
#include <QSqlQuery>

#include <csignal>

#include <sys/resource.h>

namespace {

class PictureStore : public CacheTest {
protected:
    void SetUp() override {
        CacheTest::SetUp();
        // Before the database opens: a test that holds the cache must not wait for seconds.
        setCacheWaitMilliseconds(50);
        imageDir = root + "/db/thumbnailImage";
        needsThumbnail(source("opens-the-database.lqx", "x"));
    }

    void fillBucket(int bucket, int pictures) {
        for (int i = 0; i < pictures; ++i) {
            writeFile(QStringLiteral("%1/%2/p%3.png").arg(imageDir).arg(bucket).arg(i), "");
        }
    }

    QString imageDir;
};

TEST_F(PictureStore, EmptyFolderGetsBucketZeroAndStrayEntriesAreNoBuckets) {
    writeFile(imageDir + "/stray.png", "");
    for (const char* folder : {"backup", "01", "-1"}) {
        ASSERT_TRUE(QDir().mkpath(imageDir + "/" + folder));
    }
    for (int picture = 0; picture < 2; ++picture) {
        EXPECT_EQ(chooseBucket(imageDir), imageDir + "/0") << picture;
    }
    EXPECT_FALSE(QDir(imageDir + "/1").exists());
}

TEST_F(PictureStore, BucketRollsOverAtFiveHundredPictures) {
    fillBucket(0, 499);
    EXPECT_EQ(chooseBucket(imageDir), imageDir + "/0");
    fillBucket(0, 500);
    EXPECT_EQ(chooseBucket(imageDir), imageDir + "/1");
    EXPECT_TRUE(QDir(imageDir + "/1").exists());
}

TEST_F(PictureStore, OnlyTheLastBucketIsFilled) {
    for (int bucket = 0; bucket < 3; ++bucket) {
        fillBucket(bucket, 500);
    }
    fillBucket(3, 499);
    EXPECT_EQ(chooseBucket(imageDir), imageDir + "/3");
    fillBucket(3, 500);
    EXPECT_EQ(chooseBucket(imageDir), imageDir + "/4");
}

TEST_F(PictureStore, BucketThatCannotBeMadeStopsTheSave) {
    QDir(imageDir).removeRecursively();
    writeFile(imageDir, "a file where the folder belongs");
    EXPECT_TRUE(chooseBucket(imageDir).isEmpty());
    QString picture = "unchanged";
    EXPECT_EQ(
        savePictureFor(QImage(2, 2, QImage::Format_RGB32), imageDir, "/models/part.lqx", picture),
        PictureSave::NoBucket);
    EXPECT_TRUE(picture.isEmpty());
}

TEST_F(PictureStore, PictureNameIsBaseNameAndLastSuffixCutToTheFileNameLimit) {
    const QString bucket = imageDir + "/0";
    EXPECT_EQ(picturePathIn(bucket, "/models/ring.final.lqx", {}), bucket + "/ring_lqx.png");
    const QString smile = QString::fromUtf8("\xF0\x9F\x98\x80"); // four bytes, two UTF-16 units
    const struct {
        QString base;
        QString kept; // how much of the base the name keeps
    } cases[] = {
        {QString(247, 'a'), QString(247, 'a')}, // 247 + "_lqx.png" = 255 bytes
        {QString(248, 'a'), QString(247, 'a')},
        {QString(200, QChar(0xE9)), QString(123, QChar(0xE9))}, // two bytes each
        {"a" + smile.repeated(70), "a" + smile.repeated(61)},
    };
    for (const auto& c : cases) {
        const QString name =
            QFileInfo(picturePathIn(bucket, "/m/" + c.base + ".lqx", {})).fileName();
        EXPECT_EQ(name, c.kept + "_lqx.png") << c.base.size();
        EXPECT_LE(name.toUtf8().size(), 255) << c.base.size();
    }
}

TEST_F(PictureStore, SourcesNeverShareAPictureEvenWhenTheirNamesAreCut) {
    const QImage image(2, 2, QImage::Format_ARGB32);
    const QString longName = QString(250, 'p');
    const QString sources[] = {source("a/part.lqx", "1"), source("b/part.lqx", "2"),
                               source(longName + "1.lqx", "3"), source(longName + "2.lqx", "4")};
    QStringList pictures;
    for (const QString& path : sources) {
        QString picture;
        ASSERT_EQ(savePictureFor(image, imageDir, path, picture), PictureSave::Saved)
            << qPrintable(path);
        ASSERT_TRUE(recordPicture(picture, path, OnLookupFailure::Insert));
        EXPECT_FALSE(pictures.contains(picture)) << qPrintable(picture);
        pictures << picture;
    }
    EXPECT_TRUE(QFileInfo(pictures[1]).fileName().startsWith("part~"));
    EXPECT_TRUE(pictures[1].endsWith("_lqx.png"));
    // Stable: a source keeps its name, plain or hashed.
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(picturePathIn(imageDir + "/0", sources[i], row(sources[i]).thumPath),
                  pictures[i]);
    }
}

TEST_F(PictureStore, PictureTheSourcesRowDoesNotNameIsNotTaken) {
    // Another host's picture whose row is not written yet looks just like a stray file.
    writeFile(imageDir + "/0/orphan_lqx.png", "left behind");
    const QString path = source("orphan.lqx", "1");
    EXPECT_NE(picturePathIn(imageDir + "/0", path, {}), imageDir + "/0/orphan_lqx.png");
    EXPECT_EQ(picturePathIn(imageDir + "/0", path, imageDir + "/0/orphan_lqx.png"),
              imageDir + "/0/orphan_lqx.png");
}

TEST_F(PictureStore, RecordCarriesThePictureAndSourceTimesAndSize) {
    const QString path = source("timed.lqx", QByteArray(1234, 'x'), 1600000000);
    QString picture;
    ASSERT_EQ(savePictureFor(QImage(2, 2, QImage::Format_RGB32), imageDir, path, picture),
              PictureSave::Saved);
    setModifiedTime(picture, 1700000000);
    recordPicture(picture, path, OnLookupFailure::Insert);
    const ThumbnailRow stored = row(path);
    EXPECT_EQ(stored.thumPath, picture);
    EXPECT_EQ(stored.thumTime, 1700000000u);
    EXPECT_EQ(stored.fileTime, 1600000000u);
    EXPECT_EQ(stored.fileSize, 1234u);
}

TEST_F(PictureStore, HostThatWaitedPastTheLimitLeavesNoPictureAndNoRow) {
    const QString path = source("waiting.lqx", "1234");
    const QImage image(2, 2, QImage::Format_RGB32);
    QString picture;

    const std::intptr_t folder =
        lockFileExclusively(QFile::encodeName(imageDir + "/.lock").constData(), 0);
    ASSERT_GE(folder, 0);
    EXPECT_EQ(savePictureFor(image, imageDir, path, picture), PictureSave::GaveUp);
    unlockFile(folder);
    EXPECT_TRUE(picture.isEmpty());

    // Another connection holds a write transaction: the picture is made, the row cannot be.
    {
        QSqlDatabase holder = QSqlDatabase::addDatabase("QSQLITE", "holder");
        holder.setDatabaseName(root + "/db/thumbnail.db");
        ASSERT_TRUE(holder.open());
        ASSERT_TRUE(QSqlQuery(holder).exec("begin immediate"));
        ASSERT_EQ(savePictureFor(image, imageDir, path, picture), PictureSave::Saved);
        EXPECT_FALSE(recordPicture(picture, path, OnLookupFailure::Insert));
        QSqlQuery(holder).exec("rollback");
        holder.close();
    }
    QSqlDatabase::removeDatabase("holder");
    EXPECT_FALSE(QFileInfo::exists(picture));
    EXPECT_EQ(rowCount(), 0);
    const QString log = QString::fromLocal8Bit(readFile(root + "/VOXALIS_Thumbnail.log"));
    for (const char* reason : {"thumbnail folder is locked\n", "thumbnail database is busy\n"}) {
        EXPECT_EQ(log.count(reason + path + "\r\n"), 1) << qPrintable(log);
    }
}

TEST_F(PictureStore, FailedSaveLeavesNoFileBehind) {
    QDir().mkpath(imageDir + "/0/blocked_lqx.png");
    EXPECT_FALSE(savePicture(QImage(2, 2, QImage::Format_RGB32), imageDir + "/0/blocked_lqx.png"));
    EXPECT_FALSE(savePicture(QImage(), imageDir + "/0/null_lqx.png"));
    EXPECT_FALSE(QFileInfo::exists(imageDir + "/0/null_lqx.png"));

    // A disk that fills up after the first bytes: a file-size limit fails the writes the same
    // way, for any user. The picture fits in the file's write buffer, so the failure shows
    // only when the buffer is written out.
    const QString full = imageDir + "/0/full_lqx.png";
    rlimit normal{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &normal), 0);
    rlimit tight = normal;
    tight.rlim_cur = 16;
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
    const bool saved = savePicture(QImage(40, 40, QImage::Format_RGB32), full);
    setrlimit(RLIMIT_FSIZE, &normal);
    std::signal(SIGXFSZ, previous);
    EXPECT_FALSE(saved);
    EXPECT_FALSE(QFileInfo::exists(full));
}

} // namespace

namespace {

QImage colourful(int width, int height, QImage::Format format) {
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.setPixel(x, y, qRgba(x * 7, y * 5, x ^ y, 40 + (x + y) % 200));
        }
    }
    return image.convertToFormat(format);
}

TEST_F(PictureStore, TheLastSavedPictureServesOnlyItsOwnUnchangedFileAndOnlyOnce) {
    const QString first = imageDir + "/0/first_lqx.png";
    const QString second = imageDir + "/0/second_lqx.png";
    QDir().mkpath(imageDir + "/0");
    const QImage picture = colourful(40, 30, QImage::Format_RGB888);
    ASSERT_TRUE(savePicture(picture, first));
    EXPECT_TRUE(takeSavedPicture(second).isNull());
    // The miss forgot it too.
    EXPECT_TRUE(takeSavedPicture(first).isNull());

    ASSERT_TRUE(savePicture(picture, first));
    EXPECT_EQ(takeSavedPicture(first), picture);
    EXPECT_TRUE(takeSavedPicture(first).isNull());

    // Rewritten by someone else after the save: the file is the truth.
    ASSERT_TRUE(savePicture(picture, first));
    writeFile(first, "another picture");
    EXPECT_TRUE(takeSavedPicture(first).isNull());
}

TEST_F(PictureStore, OnlyPicturesThatThePngGivesBackExactlyAreKept) {
    QDir().mkpath(imageDir + "/0");
    const QString path = imageDir + "/0/kept_lqx.png";
    for (const QImage::Format format :
         {QImage::Format_RGB888, QImage::Format_RGB32, QImage::Format_ARGB32}) {
        const QImage picture = colourful(50, 50, format);
        ASSERT_TRUE(savePicture(picture, path));
        const QImage kept = takeSavedPicture(path);
        // What the bitmap request would otherwise decode, in the same colours and alpha.
        const QImage decoded(path);
        ASSERT_FALSE(kept.isNull()) << format;
        EXPECT_EQ(kept.convertToFormat(QImage::Format_ARGB32),
                  decoded.convertToFormat(QImage::Format_ARGB32))
            << format;
    }
    // Premultiplied colours come back from the PNG rounded; a large picture is held only in
    // a format the bitmap takes without a converted copy.
    ASSERT_TRUE(savePicture(colourful(50, 50, QImage::Format_ARGB32_Premultiplied), path));
    EXPECT_TRUE(takeSavedPicture(path).isNull());
    ASSERT_TRUE(savePicture(colourful(600, 600, QImage::Format_RGB888), path));
    EXPECT_TRUE(takeSavedPicture(path).isNull());
    ASSERT_TRUE(savePicture(colourful(600, 600, QImage::Format_RGB32), path));
    EXPECT_FALSE(takeSavedPicture(path).isNull());
    // A job that starts before the bitmap request lets the last picture go.
    ASSERT_TRUE(savePicture(colourful(600, 600, QImage::Format_RGB32), path));
    forgetSavedPicture();
    EXPECT_TRUE(takeSavedPicture(path).isNull());
}

} // namespace
