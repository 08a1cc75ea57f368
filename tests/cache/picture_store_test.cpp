#include "cache_fixture.h"
#include "files.h"
#include "picture_store.h"
#include "saved_picture_memo.h"

#include <QDir>
#include <QImage>

namespace {

class PictureStore : public CacheTest {
protected:
    void SetUp() override {
        CacheTest::SetUp();
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

TEST_F(PictureStore, EmptyFolderGetsBucketZeroAndAStrayFileIsNoBucket) {
    writeFile(imageDir + "/stray.png", "");
    EXPECT_EQ(chooseBucket(imageDir), imageDir + "/0");
    EXPECT_TRUE(QDir(imageDir + "/0").exists());
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
    EXPECT_TRUE(choosePicturePath(imageDir, "/models/part.lqx").isEmpty());
}

TEST_F(PictureStore, PictureNameIsBaseNameAndLastSuffix) {
    EXPECT_EQ(choosePicturePath(imageDir, "/models/ring.final.lqx"), imageDir + "/0/ring_lqx.png");
}

TEST_F(PictureStore, SameNamedSourcesInOtherFoldersNeverShareAPicture) {
    const QString first = source("a/part.lqx", "1");
    const QString second = source("b/part.lqx", "2");
    const QString firstPicture = choosePicturePath(imageDir, first);
    ASSERT_TRUE(savePicture(QImage(2, 2, QImage::Format_ARGB32), firstPicture));
    recordPicture(firstPicture, first, OnLookupFailure::Insert);

    // The source that owns the plain name keeps it.
    EXPECT_EQ(choosePicturePath(imageDir, first), firstPicture);
    const QString secondPicture = choosePicturePath(imageDir, second);
    EXPECT_NE(secondPicture, firstPicture);
    EXPECT_TRUE(QFileInfo(secondPicture).fileName().startsWith("part~"));
    EXPECT_TRUE(secondPicture.endsWith("_lqx.png"));
    // Stable: the same source gets the same name every time.
    EXPECT_EQ(choosePicturePath(imageDir, second), secondPicture);
    EXPECT_NE(choosePicturePath(imageDir, source("c/part.lqx", "3")), secondPicture);
}

TEST_F(PictureStore, PictureNobodyOwnsIsReused) {
    writeFile(imageDir + "/0/orphan_lqx.png", "left behind");
    EXPECT_EQ(choosePicturePath(imageDir, source("orphan.lqx", "1")),
              imageDir + "/0/orphan_lqx.png");
}

TEST_F(PictureStore, RecordCarriesThePictureAndSourceTimesAndSize) {
    const QString path = source("timed.lqx", QByteArray(1234, 'x'), 1600000000);
    const QString picture = choosePicturePath(imageDir, path);
    ASSERT_TRUE(savePicture(QImage(2, 2, QImage::Format_RGB32), picture));
    setModifiedTime(picture, 1700000000);
    recordPicture(picture, path, OnLookupFailure::Insert);
    const ThumbnailRow stored = row(path);
    EXPECT_EQ(stored.thumPath, picture);
    EXPECT_EQ(stored.thumTime, 1700000000u);
    EXPECT_EQ(stored.fileTime, 1600000000u);
    EXPECT_EQ(stored.fileSize, 1234u);
}

TEST_F(PictureStore, FailedSaveLeavesNoFileBehind) {
    QDir().mkpath(imageDir + "/0/blocked_lqx.png");
    EXPECT_FALSE(savePicture(QImage(2, 2, QImage::Format_RGB32), imageDir + "/0/blocked_lqx.png"));
    EXPECT_FALSE(savePicture(QImage(), imageDir + "/0/null_lqx.png"));
    EXPECT_FALSE(QFileInfo::exists(imageDir + "/0/null_lqx.png"));
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
    // Premultiplied colours come back from the PNG rounded; a huge picture is not worth
    // holding.
    ASSERT_TRUE(savePicture(colourful(50, 50, QImage::Format_ARGB32_Premultiplied), path));
    EXPECT_TRUE(takeSavedPicture(path).isNull());
    ASSERT_TRUE(savePicture(colourful(600, 600, QImage::Format_RGB888), path));
    EXPECT_TRUE(takeSavedPicture(path).isNull());
}

} // namespace
