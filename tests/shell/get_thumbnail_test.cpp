#include "dlp_writer.h"
#include "files.h"
#include "module_handle.h"
#include "placeholder_images.h"
#include "provider_client.h"

#include <QFile>

#include <gtest/gtest.h>

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
