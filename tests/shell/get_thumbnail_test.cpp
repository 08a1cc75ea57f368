#include "dlp_writer.h"
#include "files.h"
#include "gcode_writer.h"
#include "module_handle.h"
#include "picture_files.h"
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

// A picture that keeps its shape reaches the shell as it was saved: a 32-bit bitmap as wide as
// the cache's 400 and half as high, its clear and translucent pixels straight.
TEST(GetThumbnail, PictureInItsOwnShapeKeepsItsAspectAndAlpha) {
    moduleHandle = GetModuleHandleW(nullptr);
    QImage own(480, 240, QImage::Format_ARGB32);
    own.fill(qRgba(0x00, 0xFF, 0x00, 0x60)); // colours that premultiplying keeps exact
    for (int y = 60; y < 180; ++y) {
        for (int x = 120; x < 360; ++x) {
            own.setPixel(x, y, x < 240 ? 0u : 0xFFE04010u);
        }
    }
    GcodeFile file;
    file.previews = {{"thumbnail", own.size(), pngFile(own), {}, {}, 78, true}};
    const QString path = writeSource("print.gcode", file.bytes());
    const ProviderAnswer made = askProvider(path);
    const ProviderAnswer decoded = askProvider(path); // read back from the cached PNG
    for (const ProviderAnswer& answer : {made, decoded}) {
        const QImage bitmap = pixelsOf(answer.bitmap);
        EXPECT_EQ(answer.alpha, WTSAT_ARGB);
        EXPECT_EQ(std::tuple(bitmap.size(), bitmap.pixel(5, 5), bitmap.pixel(150, 100),
                             bitmap.pixel(250, 100)),
                  std::tuple(QSize(400, 200), 0x6000FF00u, 0u, 0xFFE04010u));
        DeleteObject(answer.bitmap);
    }
}
