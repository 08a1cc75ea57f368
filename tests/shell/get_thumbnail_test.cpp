#include "dlp_writer.h"
#include "files.h"
#include "module_handle.h"
#include "placeholder_images.h"
#include "provider_client.h"

#include <QFile>

#include <gtest/gtest.h>

#include <csignal>

#include <sys/resource.h>

TEST(GetThumbnail, CachedPictureAsAStraightAlphaBitmapOrAnAnswerWithout) {
    moduleHandle = GetModuleHandleW(nullptr);
    // Before any job in the process there is no file to look up.
    std::vector<ProviderAnswer> none{askProvider(QString(), 96, false)};
    const QString path = writeSource("damaged.lqx", DlpFile().bytes()); // a preview of no bytes
    const ProviderAnswer made = askProvider(path, 16);
    const ProviderAnswer decoded = askProvider(path, 2000); // up to date: read from the file
    QFile::remove(testDataHome() + "/VOXALIS_Thumbnail/db/thumbnailImage/0/damaged_lqx.png");
    none.push_back(askProvider(path, 256, false));
    // A source whose size changed gets its new picture in the same request.
    QFile(path).resize(QFile(path).size() + 1);
    const ProviderAnswer grown = askProvider(path);
    EXPECT_FALSE(pixelsOf(grown.bitmap).isNull());
    DeleteObject(grown.bitmap);

    for (const ProviderAnswer& answer : none) {
        EXPECT_EQ(std::tuple(answer.answered, answer.bitmap, answer.alpha),
                  std::tuple(S_OK, HBITMAP(), WTSAT_ARGB));
    }
    // The same picture whatever size is asked for, made or read back: alpha 252 on the icon's
    // body, and its colours not darkened by it.
    QImage expected;
    makeDamagedFileImage(expected);
    for (const ProviderAnswer& answer : {made, decoded}) {
        EXPECT_EQ(pixelsOf(answer.bitmap), expected);
        DeleteObject(answer.bitmap);
    }
}

// A picture that a full disk keeps from the cache still reaches the shell: no row names it, so
// it is made again next time, once the disk has room.
TEST(GetThumbnail, APictureThatCouldNotBeSavedIsShownAllTheSame) {
    moduleHandle = GetModuleHandleW(nullptr);
    const QString path = writeSource("full.lqx", DlpFile().bytes());
    DeleteObject(askProvider(writeSource("first.lqx", DlpFile().bytes())).bitmap);
    rlimit normal{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &normal), 0);
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit tight{16, normal.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
    const ProviderAnswer full = askProvider(path);
    setrlimit(RLIMIT_FSIZE, &normal);
    QImage expected;
    makeDamagedFileImage(expected);
    EXPECT_EQ(pixelsOf(full.bitmap), expected);
    DeleteObject(full.bitmap);
    EXPECT_FALSE(
        QFile::exists(testDataHome() + "/VOXALIS_Thumbnail/db/thumbnailImage/0/full_lqx.png"));
    // With room again, the next request makes the picture and keeps it.
    const ProviderAnswer again = askProvider(path);
    EXPECT_EQ(pixelsOf(again.bitmap), expected);
    DeleteObject(again.bitmap);
    EXPECT_TRUE(
        QFile::exists(testDataHome() + "/VOXALIS_Thumbnail/db/thumbnailImage/0/full_lqx.png"));
}
