#include "dlp_writer.h"
#include "files.h"
#include "gf_writer.h"
#include "module_handle.h"
#include "placeholder_images.h"
#include "provider_client.h"
#include "rle16_writer.h"

#include <QDir>
#include <QFile>
#include <QImage>

#include <gtest/gtest.h>

namespace {

class GetThumbnail : public ::testing::Test {
protected:
    void SetUp() override { moduleHandle = GetModuleHandleW(nullptr); }
};

DlpFile ring() {
    DlpFile file;
    file.width = 4;
    file.height = 4;
    file.picture =
        Rle16Writer().run(0, 5).run(0x8410, 2).run(0, 2).run(0x8410, 2).run(0, 5).bytes();
    return file;
}

TEST_F(GetThumbnail, CachedPictureComesBackAsABitmapWithStraightAlpha) {
    DlpFile damaged = ring();
    damaged.guardOffset = 1 << 20;
    const QString path = writeSource("damaged.lqx", damaged.bytes());
    const ProviderAnswer answer = askProvider(path);
    EXPECT_EQ(answer.initialized, S_OK);
    EXPECT_EQ(answer.answered, S_OK);
    EXPECT_EQ(answer.alpha, WTSAT_ARGB);
    ASSERT_NE(answer.bitmap, nullptr);
    QImage placeholder;
    makeDamagedFileImage(placeholder);
    // Alpha 252 on the icon's body, and its colours not darkened by it.
    EXPECT_EQ(pixelsOf(answer.bitmap), placeholder);
    DeleteObject(answer.bitmap);
}

TEST_F(GetThumbnail, SamePictureForAnyRequestedSizeAndWithoutAnotherJob) {
    const QString path = writeSource("ring.lqx", ring().bytes());
    const ProviderAnswer first = askProvider(path, 16);
    ASSERT_NE(first.bitmap, nullptr);
    const ProviderAnswer second = askProvider(path, 2000);
    ASSERT_NE(second.bitmap, nullptr);
    EXPECT_EQ(pixelsOf(first.bitmap).size(), QSize(400, 400));
    EXPECT_EQ(pixelsOf(first.bitmap), pixelsOf(second.bitmap));
    DeleteObject(first.bitmap);
    DeleteObject(second.bitmap);
}

TEST_F(GetThumbnail, NoPictureIsStillAnAnswer) {
    // An error row (an oversized gf), a picture deleted from the cache, a mesh the renderer
    // could not draw: S_OK, no bitmap, alpha type 2.
    const QString error = writeSource("big.gf", GfFile().bytes());
    QFile(error).resize(524288001);
    const QString deleted = writeSource("deleted.lqx", ring().bytes());
    const QString empty = writeSource("empty.obj", "");

    const ProviderAnswer errorRow = askProvider(error);
    const ProviderAnswer emptyMesh = askProvider(empty);
    EXPECT_EQ(emptyMesh.initialized, S_FALSE);
    const ProviderAnswer picture = askProvider(deleted);
    ASSERT_NE(picture.bitmap, nullptr);
    DeleteObject(picture.bitmap);
    QFile::remove(testDataHome() + "/VOXALIS_Thumbnail/db/thumbnailImage/0/deleted_lqx.png");
    const ProviderAnswer afterDelete = askProvider(deleted, 256, false);
    // A source whose size changed gets the stale marker "1" as its picture path; a picture
    // named 1 in the host's working folder is not it.
    const QString grown = writeSource("grown.lqx", ring().bytes());
    const ProviderAnswer before = askProvider(grown);
    ASSERT_NE(before.bitmap, nullptr);
    DeleteObject(before.bitmap);
    ASSERT_TRUE(QImage(4, 4, QImage::Format_RGB32).save(testDataHome() + "/1", "png"));
    QDir::setCurrent(testDataHome());
    QFile(grown).resize(QFile(grown).size() + 1);
    const ProviderAnswer staleMarker = askProvider(grown);

    for (const ProviderAnswer& answer : {errorRow, emptyMesh, afterDelete, staleMarker}) {
        EXPECT_EQ(answer.answered, S_OK);
        EXPECT_EQ(answer.bitmap, nullptr);
        EXPECT_EQ(answer.alpha, WTSAT_ARGB);
    }
}

TEST_F(GetThumbnail, WithoutAnyJobInTheProcessThereIsNothingToShow) {
    const ProviderAnswer answer = askProvider(QString(), 96, false);
    EXPECT_EQ(answer.answered, S_OK);
    EXPECT_EQ(answer.bitmap, nullptr);
    EXPECT_EQ(answer.alpha, WTSAT_ARGB);
}

} // namespace
