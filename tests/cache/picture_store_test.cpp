#include "cache_fixture.h"
#include "picture_store.h"
#include "platform_services.h"
#include "saved_picture_memo.h"

#include <QDateTime>
#include <QDir>
#include <QRegularExpression>

#include <atomic>
#include <chrono>
#include <csignal>
#include <functional>
#include <thread>

#include <sys/resource.h>

namespace {

using PictureStore = CacheTest;

TEST_F(PictureStore, BucketsAreTheNumberedFoldersFilledInTurnUpToFiveHundredPictures) {
    writeFile(imageDir + "/stray.png", "");
    ASSERT_TRUE(QDir(imageDir).mkpath("backup") && QDir(imageDir).mkpath("01") &&
                QDir(imageDir).mkpath("-1"));
    // Bucket, pictures it holds, the bucket then chosen.
    const std::tuple<int, int, const char*> steps[] = {
        {0, 0, "/0"}, {0, 499, "/0"}, {0, 500, "/1"}, {1, 499, "/1"}, {1, 500, "/2"}};
    for (const auto& [bucket, pictures, chosen] : steps) {
        for (int i = 0; i < pictures; ++i) {
            writeFile(QStringLiteral("%1/%2/p%3.png").arg(imageDir).arg(bucket).arg(i), "");
        }
        EXPECT_EQ(chooseBucket(imageDir), imageDir + chosen) << pictures;
    }

    QDir(imageDir).removeRecursively();
    writeFile(imageDir, "a file where the folder belongs");
    QString picture = "unchanged";
    EXPECT_EQ(savePictureFor(image, imageDir, "/models/part.lqx", OnLookupFailure::Insert, picture),
              PictureSave::NoBucket);
    EXPECT_TRUE(picture.isEmpty());
}

TEST_F(PictureStore, PictureNameIsBaseNameAndSuffixCutToTheLimitAndHashedWhenTaken) {
    const QString smile = QString::fromUtf8("\xF0\x9F\x98\x80"); // four bytes, two UTF-16 units
    // Base name, what the picture's name keeps of it: 240 + "_lqx.png" = 248 bytes, which leave
    // room for the temporary name ".XXXXXX" that replacing a picture takes; U+0080 is the first
    // of two bytes, U+0800 of three; a pair is never split.
    const std::pair<QString, QString> cases[] = {
        {"ring.final", "ring"},
        {QString(240, 'a'), QString(240, 'a')},
        {QString(241, 'a'), QString(240, 'a')},
        {QString(200, QChar(0x80)), QString(120, QChar(0x80))},
        {QString(100, QChar(0x800)), QString(80, QChar(0x800))},
        {"a" + smile.repeated(70), "a" + smile.repeated(59)},
        {QString(236, 'a') + smile, QString(236, 'a') + smile},
    };
    for (const auto& [base, kept] : cases) {
        EXPECT_EQ(picturePathIn(imageDir + "/0", "/m/" + base + ".lqx"),
                  imageDir + "/0/" + kept + "_lqx.png");
    }
    needsThumbnail("/models/opens-the-database.lqx");
    const QString longName = QString(250, 'p');
    const QString sources[] = {writeSource("a/part.lqx", QByteArray(1234, 'x')),
                               writeSource("b/part.lqx", "2"), writeSource(longName + "1.lqx", "3"),
                               writeSource(longName + "2.lqx", "4")};
    setModifiedTime(sources[0], 1600000000);
    QStringList pictures;
    for (const QString& path : sources) {
        QString picture, again;
        ASSERT_EQ(savePictureFor(image, imageDir, path, OnLookupFailure::Insert, picture),
                  PictureSave::Saved);
        EXPECT_FALSE(pictures.contains(picture)) << qPrintable(picture);
        pictures << picture;
        // Stable: a source saved again replaces its picture under its name, plain or hashed.
        EXPECT_EQ(savePictureFor(image, imageDir, path, OnLookupFailure::Insert, again),
                  PictureSave::Saved);
        EXPECT_EQ(again, picture);
    }
    EXPECT_EQ(pictures[0], imageDir + "/0/part_lqx.png");
    EXPECT_TRUE(QRegularExpression("/part~[0-9a-f]{10}_lqx.png$").match(pictures[1]).hasMatch());
    EXPECT_EQ(QFileInfo(pictures[3]).fileName().size(), 248); // cut before the hash
    const ThumbnailRow first = lookup(sources[0]).row;
    EXPECT_EQ(first.thumTime, QFileInfo(pictures[0]).lastModified().toSecsSinceEpoch());
    EXPECT_EQ(first.fileTime, 1600000000u);
    EXPECT_EQ(first.fileSize, 1234u);
}

// A picture whose name leaves no room for the temporary file that replaces it (as older
// versions named them) gives way to one that does, and goes.
TEST_F(PictureStore, APictureNamedTooLongToReplaceGivesWayToANewName) {
    const QString source = writeSource(QString(250, 'q') + ".lqx", "1");
    needsThumbnail(source);
    const QString legacy = imageDir + "/0/" + QString(245, 'q') + "_lqx.png";
    ASSERT_TRUE(QDir().mkpath(imageDir + "/0") && image.save(legacy, "png"));
    {
        QMutexLocker lock(&dbMutex);
        ASSERT_EQ(writeThumbnailRow({legacy, 0, source, 0, 0}, OnLookupFailure::Insert),
                  Written::Done);
    }
    QString picture;
    ASSERT_EQ(savePictureFor(image, imageDir, source, OnLookupFailure::Insert, picture),
              PictureSave::Saved);
    EXPECT_EQ(picture, imageDir + "/0/" + QString(240, 'q') + "_lqx.png");
    EXPECT_EQ(lookup(source).row.thumPath, picture);
    EXPECT_FALSE(QFileInfo::exists(legacy));
}

// Every picture in the buckets has a row: a source made again replaces its own picture where it
// lies, even with its bucket full; an error row takes the place of the picture.
TEST_F(PictureStore, EveryPictureKeepsItsRowWhenRemadeOrTurnedToAnError) {
    const QString path = writeSource("part.lqx", "1234");
    const QString picture = record(path);
    for (int i = 1; i < kBucketSize; ++i) {
        writeFile(QStringLiteral("%1/0/p%2.png").arg(imageDir).arg(i), "");
    }
    writeFile(path, "12345");
    EXPECT_TRUE(needsThumbnail(path));
    EXPECT_EQ(record(path), picture);
    EXPECT_FALSE(QDir(imageDir + "/1").exists());

    needsThumbnail(path);
    ASSERT_EQ(recordErrorFor(imageDir, path), PictureSave::Saved);
    EXPECT_FALSE(QFileInfo::exists(picture));
    EXPECT_EQ(lookup(path).row.thumPath, kErrorThumbPath);
}

// A folder held past one wait is held by a stuck holder: the next picture waits a quarter of
// a second, not the whole wait again, until the folder is had once more.
TEST_F(PictureStore, AfterOneWaitForAStuckHolderTheNextWaitsAreShort) {
    setCacheWaitMilliseconds(3000);
    needsThumbnail("/models/opens-the-database.lqx");
    const QByteArray lockFile = QFile::encodeName(imageDir + "/.lock");
    // Held for `milliseconds`, from another thread, while `save` runs.
    const auto whileHeldFor = [&](int milliseconds, const std::function<void()>& save) {
        std::atomic<bool> held{false};
        std::thread holder([&] {
            const std::intptr_t lock = lockFileExclusively(lockFile.constData(), 0);
            held = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
            unlockFile(lock);
        });
        while (!held) {
            std::this_thread::yield();
        }
        save();
        holder.join();
    };
    const QString path = writeSource("held.lqx", "1234");
    QString picture;
    // Held past the whole wait, then still held for a second: the short wait gives up too.
    whileHeldFor(4000, [&] {
        EXPECT_EQ(savePictureFor(image, imageDir, path, OnLookupFailure::Insert, picture),
                  PictureSave::GaveUp);
        EXPECT_EQ(savePictureFor(image, imageDir, path, OnLookupFailure::Insert, picture),
                  PictureSave::GaveUp);
    });
    EXPECT_EQ(savePictureFor(image, imageDir, path, OnLookupFailure::Insert, picture),
              PictureSave::Saved);
    // Had again, the folder is waited for as long as ever: held for a second, it is had.
    whileHeldFor(1000, [&] {
        EXPECT_EQ(savePictureFor(image, imageDir, path, OnLookupFailure::Insert, picture),
                  PictureSave::Saved);
    });
}

TEST_F(PictureStore, SaveThatFailsOrGivesUpLeavesNoPictureAndNoRow) {
    needsThumbnail("/models/opens-the-database.lqx");
    const QString path = writeSource("waiting.lqx", "1234");
    // A picture's save gives up on a held folder in the fault tests, from both producers.
    const std::intptr_t folder =
        lockFileExclusively(QFile::encodeName(imageDir + "/.lock").constData(), 0);
    EXPECT_EQ(recordErrorFor(imageDir, path), PictureSave::GaveUp);
    unlockFile(folder);
    // Another connection holds a write transaction: the picture is made, the row cannot be.
    QSqlDatabase holder = QSqlDatabase::addDatabase("QSQLITE", "holder");
    holder.setDatabaseName(root + "/db/thumbnail.db");
    ASSERT_TRUE(holder.open() && QSqlQuery(holder).exec("begin immediate"));
    QString picture;
    EXPECT_EQ(savePictureFor(image, imageDir, path, OnLookupFailure::Insert, picture),
              PictureSave::NotRecorded);
    EXPECT_FALSE(QFileInfo::exists(picture));
    EXPECT_EQ(recordErrorFor(imageDir, path), PictureSave::NotRecorded);
    EXPECT_EQ(lookup(path).status, LookupStatus::Missing);
    EXPECT_EQ(log().count("savePictureFor : 1 thumbnail folder is locked\n" + path + "\r\n"), 1);
    EXPECT_EQ(log().count("recordPicture : 2 thumbnail database is busy\n" + path + "\r\n"), 2);

    // The renderer saves nothing when it cannot tell whether the source has a row.
    ASSERT_TRUE(QSqlQuery(holder).exec("rollback"));
    ASSERT_TRUE(QSqlQuery(cacheDatabase()).exec("drop table thumbnail"));
    EXPECT_EQ(savePictureFor(image, imageDir, path, OnLookupFailure::Skip, picture),
              PictureSave::NotRecorded);
    EXPECT_TRUE(picture.isEmpty());

    EXPECT_FALSE(savePicture(image, imageDir)); // a folder where the picture belongs
    EXPECT_FALSE(savePicture(QImage(), imageDir + "/0/null_lqx.png"));
    // A disk that fills up after the first bytes; a file-size limit fails the writes the same
    // way. The picture fits in the file's write buffer, so that fails only when written out.
    rlimit normal{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &normal), 0);
    const rlimit tight{16, normal.rlim_max};
    std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
    EXPECT_FALSE(savePicture(QImage(40, 40, QImage::Format_RGB32), imageDir + "/0/full.png"));
    setrlimit(RLIMIT_FSIZE, &normal);
    EXPECT_EQ(QDir(imageDir + "/0").entryList(QDir::Files), QStringList());
}

TEST_F(PictureStore, LastSavedPictureIsKeptOnlyWhenThePngGivesItBackExactlyAndOnlyOnce) {
    const QString path = testDataHome() + "/kept_lqx.png";
    // Premultiplied colours come back from the PNG rounded; past 512 x 512 a picture is held
    // only in a format the bitmap takes without a converted copy.
    const std::tuple<int, QImage::Format, bool> cases[] = {
        {50, QImage::Format_ARGB32, true},  {50, QImage::Format_ARGB32_Premultiplied, false},
        {512, QImage::Format_RGB888, true}, {513, QImage::Format_RGB888, false},
        {600, QImage::Format_RGB32, true},
    };
    for (const auto& [width, format, kept] : cases) {
        SCOPED_TRACE(testing::Message() << width << " " << format);
        QImage picture(width, 512, QImage::Format_ARGB32);
        for (qsizetype i = 0; i < picture.sizeInBytes(); ++i) {
            picture.bits()[i] = uchar(i * 7 % 251);
        }
        ASSERT_TRUE(savePicture(picture.convertToFormat(format), path));
        // What the bitmap request would otherwise decode, in the same colours and alpha.
        EXPECT_EQ(takeSavedPicture(path).convertToFormat(QImage::Format_ARGB32),
                  kept ? QImage(path).convertToFormat(QImage::Format_ARGB32) : QImage());
        EXPECT_TRUE(takeSavedPicture(path).isNull());
    }
    ASSERT_TRUE(savePicture(image, path));
    EXPECT_TRUE(takeSavedPicture(testDataHome() + "/other_lqx.png").isNull());
    EXPECT_TRUE(takeSavedPicture(path).isNull()); // the miss forgot it too
    ASSERT_TRUE(savePicture(image, path));
    writeFile(path, "another picture"); // by someone else: the file is the truth
    EXPECT_TRUE(takeSavedPicture(path).isNull());
    // A job that starts before the bitmap request lets the last picture go.
    ASSERT_TRUE(savePicture(image, path));
    forgetSavedPicture();
    EXPECT_TRUE(takeSavedPicture(path).isNull());
}

} // namespace
