#include "gf_writer.h"
#include "photons_writer.h"
#include "preview_fixture.h"
#include "preview_picture.h"
#include "svgx_writer.h"
#include "voxalis_writer.h"

#include <QFileInfo>

namespace {

QByteArray photons(int width, int height) {
    const QByteArray pixels = photonsPixel(0, 0, 248).repeated(width * height);
    return PhotonsFile{"2.1", {}, width, height, pixels, {}}.bytes();
}

QByteArray voxalis(int width, int height, std::optional<qint32> reference = std::nullopt) {
    const QByteArray picture = Rle16Writer().pixel(0x1234).run(0, width * height - 1).bytes();
    return VoxalisFile{width, height, picture, reference, {}, {}, {}}.bytes();
}

using PreviewPicture = PreviewJob;

TEST_F(PreviewPicture, FitsTheRequestedSizeButNeverEnlargesAPreviewAndAt400IsTheCachedOne) {
    struct Case {
        int size;
        int side; // of the square picture; 0 for none
        const char* name;
        QByteArray bytes;
        void (*placeholder)(QImage&) = nullptr;
    };
    const Case cases[] = {
        {128, 128, "shrunk.lqx", dlp(100)},
        {1024, 200, "own.lqx", dlp(100)},
        {256, 256, "shrunk.photons", photons(400, 200)},
        {256, 30, "own.photons", photons(30, 10)},
        {256, 3, "own.gf", GfFile{3, 3, gfPixel(9, 9, 9).repeated(9), {}, {}, {}, {}}.bytes()},
        // A 44 x 44 bitmap is the whole preview.
        {512, 44, "own.svgx",
         SvgxFile{bmpFile(placeholder(&makeOldVersionImage).scaled(44, 44)), {}, {}}.bytes()},
        // A project preview lies on a canvas of at least 400, which is its own picture.
        {1024, 400, "own.voxalis", voxalis(100, 50)},
        // The tallest side a project may declare, asked small so no 10,000-pixel canvas is made:
        // shrunk like any other.
        {128, 128, "tallest.voxalis", voxalis(1, 10000)},
        // Placeholders are scaled smoothly to the requested size.
        {128, 128, "damaged.lqx", dlp(1, &DlpFile::guardOffset, 1 << 20), &makeDamagedFileImage},
        {1024, 1024, "old.voxalis", voxalis(1, 1, 0), &makeOldVersionImage},
        {0, 0, "noSize.lqx", dlp(100)},
    };
    for (const Case& c : cases) {
        PreviewOutcome outcome = PreviewOutcome::Preview;
        const QImage made = previewPicture(writeSource(c.name, c.bytes), c.size, &outcome);
        EXPECT_EQ(outcome, c.side == 0     ? PreviewOutcome::Refused
                           : c.placeholder ? PreviewOutcome::Placeholder
                                           : PreviewOutcome::Preview)
            << c.name;
        EXPECT_EQ(made.size(), QSize(c.side, c.side)) << c.name;
        EXPECT_TRUE(!c.placeholder || made == placeholder(c.placeholder)
                                                  .scaled(c.size, c.size, Qt::IgnoreAspectRatio,
                                                          Qt::SmoothTransformation))
            << c.name;
    }
    // Neither the database nor a picture folder was made; at the thumbnail side the picture
    // is the one the cache gets.
    EXPECT_FALSE(QFileInfo::exists(testDataHome() + "/VOXALIS_Thumbnail/db"));
    const QString wide = writeSource("wide.photons", photons(802, 401));
    const QImage made = previewPicture(wide, 400);
    run(wide);
    EXPECT_EQ(made.convertToFormat(QImage::Format_RGB32),
              picture(wide).convertToFormat(QImage::Format_RGB32));
}

TEST(Placeholders, AreStraightAlphaPicturesOfATranslucentSheetAndOfRedText) {
    QImage sheet;
    makeDamagedFileImage(sheet);
    QImage text;
    makeOldVersionImage(text);
    // The sheet's blue F is translucent and the text's edges keep their full red: neither is
    // premultiplied, so a saved picture keeps them exactly.
    EXPECT_EQ(sheet.pixel(150, 150), 0xFC6783AEu);
    EXPECT_EQ(text.pixel(88, 120), 0x48FF0000u);
}

} // namespace
