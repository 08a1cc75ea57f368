#include "preview_constants.h"
#include "preview_fixture.h"
#include "rle16_writer.h"
#include "saved_picture_memo.h"
#include "voxalis_writer.h"

namespace {

constexpr char kReader[] = "myFileThumbnail::loadVoxalis";
constexpr QRgb kGrey = 0xFF939393;
constexpr quint16 kPictureBackground = 0x1234;

using VoxalisReader = PreviewJob;

TEST_F(VoxalisReader, PixelsBecomeBlueTonesOnGreyAndThePictureIsNotScaled) {
    // 100 x 50 on a 400 x 400 canvas: margins of 150 columns and 175 rows.
    VoxalisFile file;
    file.width = 100;
    file.height = 50;
    file.picture = Rle16Writer()
                       .pixel(kPictureBackground)
                       .pixel(0x0000)
                       .pixel(0xFFDF)
                       .pixel(kPictureBackground)
                       .run(kPictureBackground, 2)
                       .bytes();
    const QString path = writeSource("tones.voxalis", file.bytes());
    run(path);
    const QImage image = picture(path);
    ASSERT_EQ(image.size(), QSize(400, 400));
    EXPECT_EQ(image.pixel(150, 175), kGrey);
    EXPECT_EQ(image.pixel(151, 175), qRgb(0, 107, 163));
    EXPECT_EQ(image.pixel(152, 175), qRgb(50, 157, 213));
    EXPECT_EQ(image.pixel(153, 175), kGrey);
    // The background's colour bits with the run flag expand to another green: blue tone.
    EXPECT_NE(image.pixel(154, 175), kGrey);
    EXPECT_EQ(image.pixel(154, 175), image.pixel(155, 175));
    EXPECT_EQ(image.pixel(156, 175), kGrey);
    EXPECT_EQ(image.pixel(149, 175), kGrey);
}

TEST_F(VoxalisReader, LargePictureGetsACanvasOfItsOwnSize) {
    VoxalisFile file;
    file.width = 600;
    file.height = 300;
    // A run of word 0x0000 carries the run flag: (5, 5, 5), brightness 5, tone (1, 108, 164).
    file.picture = Rle16Writer().pixel(kPictureBackground).run(0x0000, 600 * 300 - 1).bytes();
    const QString path = writeSource("large.voxalis", file.bytes());
    run(path);
    // A picture larger than a thumbnail goes to the bitmap as it was saved, neither decoded
    // again nor converted into a second copy, and with the pixels its PNG holds.
    const auto recorded = row(path);
    ASSERT_TRUE(recorded);
    const QImage saved = takeSavedPicture(recorded->thumPath);
    const QImage image = picture(path);
    EXPECT_EQ(saved, image);
    ASSERT_EQ(image.size(), QSize(600, 600));
    EXPECT_EQ(image.pixel(0, 150), kGrey);
    EXPECT_EQ(image.pixel(1, 150), qRgb(1, 108, 164));
    EXPECT_EQ(image.pixel(599, 449), qRgb(1, 108, 164));
    EXPECT_EQ(image.pixel(599, 450), kGrey);
    EXPECT_EQ(image.pixel(300, 149), kGrey);
}

TEST_F(VoxalisReader, EmptyPictureIsAPlainGreyCanvas) {
    VoxalisFile file;
    file.picture = QByteArray(1, '\x01');
    const QString path = writeSource("empty.voxalis", file.bytes());
    run(path);
    const QImage image = picture(path);
    ASSERT_EQ(image.size(), QSize(400, 400));
    EXPECT_EQ(image.pixel(200, 200), kGrey);
}

TEST_F(VoxalisReader, ProjectWithoutPreviewGetsTheOldVersionPictureQuietly) {
    VoxalisFile file;
    file.reference = 0;
    const QString path = writeSource("old.voxalis", file.bytes());
    run(path);
    EXPECT_TRUE(isOldVersionPlaceholder(picture(path)));
    EXPECT_TRUE(logEntries().isEmpty());
}

TEST_F(VoxalisReader, BrokenReferencesGetPlaceholdersAndALine) {
    VoxalisFile valid;
    valid.picture = Rle16Writer().pixel(1).bytes();
    VoxalisFile pastEnd = valid;
    pastEnd.reference = 5000;
    VoxalisFile negative = valid;
    negative.reference = -1;
    VoxalisFile noData = valid;
    noData.dataOffset = 0;
    VoxalisFile wide = valid;
    wide.width = 10001;
    VoxalisFile flat = valid;
    flat.height = 0;
    const QString a = writeSource("a.voxalis", pastEnd.bytes());
    const QString b = writeSource("b.voxalis", negative.bytes());
    const QString c = writeSource("c.voxalis", noData.bytes());
    const QString d = writeSource("d.voxalis", wide.bytes());
    const QString e = writeSource("e.voxalis", flat.bytes());
    for (const QString& path : {a, b, c, d, e}) {
        run(path);
        EXPECT_NE(row(path)->thumPath, "error") << qPrintable(path);
    }
    EXPECT_TRUE(isDamagedPlaceholder(picture(a)));
    EXPECT_TRUE(isDamagedPlaceholder(picture(b)));
    EXPECT_TRUE(isOldVersionPlaceholder(picture(c)));
    EXPECT_TRUE(isDamagedPlaceholder(picture(d)));
    EXPECT_TRUE(isDamagedPlaceholder(picture(e)));
    // "size %3" without a colon, unlike the SVGX reader.
    const QString line = QStringLiteral("%1 : size 446 offset : %2");
    EXPECT_EQ(logEntries(),
              (QStringList{report(kReader, 792, documentIsWrong(line.arg(a).arg(5000))),
                           report(kReader, 792, documentIsWrong(line.arg(b).arg(-1))),
                           report(kReader, 813, documentIsWrong(line.arg(c).arg(0))),
                           report(kReader, 823, documentIsWrong(d)),
                           report(kReader, 823, documentIsWrong(e))}));
}

TEST_F(VoxalisReader, ShortReadsRecordNothing) {
    VoxalisFile longData;
    longData.picture = Rle16Writer().pixel(1).bytes();
    longData.dataLength = 4;
    VoxalisFile negativeLength;
    negativeLength.picture = Rle16Writer().pixel(1).bytes();
    negativeLength.dataLength = -2;
    const QString a = writeSource("a.voxalis", QByteArray(411, '\0'));
    const QString b = writeSource("b.voxalis", VoxalisFile().bytes().left(430));
    const QString c = writeSource("c.voxalis", longData.bytes());
    const QString d = writeSource("d.voxalis", negativeLength.bytes());
    for (const QString& path : {a, b, c, d}) {
        run(path);
        EXPECT_FALSE(row(path)) << qPrintable(path);
    }
    EXPECT_EQ(logEntries(), (QStringList{report(kReader, 776, "read file head less\n" + a),
                                         report(kReader, 804, "svgx file head read less\n" + b),
                                         report(kReader, 836, "src_RGB_Buffer read less\n" + c),
                                         report(kReader, 836, "src_RGB_Buffer read less\n" + d)}));
}

} // namespace
