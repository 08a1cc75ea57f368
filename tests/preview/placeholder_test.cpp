#include "picture_store.h"
#include "placeholder_images.h"

#include <QDir>
#include <QRect>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// The smallest rectangle holding every pixel that is not fully transparent.
QRect visibleArea(const QImage& image) {
    QRect area;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) != 0) {
                area |= QRect(x, y, 1, 1);
            }
        }
    }
    return area;
}

TEST(Placeholders, ReplaceAnyImageByA400SquareWithStraightAlpha) {
    QImage target(17, 3, QImage::Format_Mono);
    makeDamagedFileImage(target);
    EXPECT_EQ(target.size(), QSize(400, 400));
    EXPECT_EQ(target.format(), QImage::Format_ARGB32);
    makeOldVersionImage(target);
    EXPECT_EQ(target.size(), QSize(400, 400));
    EXPECT_EQ(target.format(), QImage::Format_ARGB32);
}

TEST(Placeholders, DamagedFileIconIsATranslucentSheetInItsBox) {
    QImage icon;
    makeDamagedFileImage(icon);
    EXPECT_EQ(icon.pixel(0, 0), 0u);
    EXPECT_EQ(icon.pixel(399, 399), 0u);
    EXPECT_TRUE(QRect(QPoint(28, 14), QPoint(393, 379)).contains(visibleArea(icon)));
    EXPECT_GT(visibleArea(icon).width(), 350);

    int body = 0;
    int translucent = 0;
    int blue = 0;
    for (int y = 0; y < 400; ++y) {
        for (int x = 0; x < 400; ++x) {
            const QRgb p = icon.pixel(x, y);
            body += qAlpha(p) > 0 ? 1 : 0;
            translucent += qAlpha(p) >= 251 && qAlpha(p) <= 253 ? 1 : 0;
            blue += qBlue(p) > qRed(p) + 40 && qAlpha(p) > 0 ? 1 : 0;
        }
    }
    EXPECT_GT(translucent, body * 95 / 100);
    EXPECT_GT(blue, 10000); // the capital F
    // The pale body colour, not premultiplied by its alpha.
    EXPECT_EQ(icon.pixel(60, 350) & 0x00FFFFFF, 0xC0C2B1u);
    EXPECT_EQ(icon.pixel(330, 200) & 0x00FFFFFF, 0xE4E6D2u);
}

TEST(Placeholders, OldVersionIsRedTextOnTransparency) {
    QImage text;
    makeOldVersionImage(text);
    EXPECT_TRUE(QRect(QPoint(9, 104), QPoint(390, 210)).contains(visibleArea(text)));
    EXPECT_GT(visibleArea(text).width(), 300);
    int opaque = 0;
    for (int y = 0; y < 400; ++y) {
        for (int x = 0; x < 400; ++x) {
            const QRgb p = text.pixel(x, y);
            if (qAlpha(p) == 0) {
                ASSERT_EQ(p, 0u);
                continue;
            }
            // Edges keep their full red: the alpha is straight.
            ASSERT_GE(qRed(p), 0xFD) << x << "," << y;
            ASSERT_EQ(qGreen(p), 0);
            ASSERT_EQ(qBlue(p), 0);
            opaque += qAlpha(p) == 255 ? 1 : 0;
        }
    }
    EXPECT_GT(opaque, 2000);
}

TEST(Placeholders, SavedPictureKeepsItsAlphaExactly) {
    QTemporaryDir folder;
    for (auto make : {&makeDamagedFileImage, &makeOldVersionImage}) {
        QImage image;
        make(image);
        const QString path = folder.filePath("placeholder.png");
        ASSERT_TRUE(savePicture(image, path));
        EXPECT_EQ(QImage(path).convertToFormat(QImage::Format_ARGB32), image);
    }
}

} // namespace
