#include "decoders.h"
#include "gf_writer.h"
#include "log.h"
#include "preview_constants.h"
#include "preview_fixture.h"

namespace {

constexpr char kReader[] = "myFileThumbnail::loadGF";

QRgb grey(int level) {
    return 0xFF000000u + static_cast<QRgb>(level) * 0x010101u;
}

using GfReader = PreviewJob;

TEST_F(GfReader, PixelOneOneIsTheKeyAndEarlierPixelsMeetNoKey) {
    // 3 x 3: pixel 0 has the key's colour but comes before it; pixel 4 is the key; pixel 7
    // repeats it; pixel 8 lies beyond the data.
    GfFile file;
    file.width = 3;
    file.height = 3;
    const QByteArray key = gfPixel(96, 96, 96);
    file.pixels = key + gfPixel(255, 255, 255) + gfPixel(0, 0, 0) + gfPixel(5, 1, 5) + key +
                  gfPixel(1000, 1000, 1000) + gfPixel(0, 0, 0) + key;
    const QString path = writeSource("keyed.gf", file.bytes());
    run(path);
    const QImage image = picture(path);
    ASSERT_EQ(image.size(), QSize(400, 400));
    // 3 does not divide 400: the 3 x 3 picture is enlarged to 400 x 400, so sample cell
    // centres at thirds.
    const auto at = [&](int x, int y) { return image.pixel(x * 133 + 66, y * 133 + 66); };
    EXPECT_EQ(at(0, 0), grey(175));
    EXPECT_EQ(at(1, 0), grey(255));
    EXPECT_EQ(at(2, 0), grey(127));
    EXPECT_EQ(at(0, 1), grey(128));
    EXPECT_EQ(at(1, 1), kBackgroundColour);
    EXPECT_EQ(at(2, 1), grey(116));
    EXPECT_EQ(at(0, 2), grey(127));
    EXPECT_EQ(at(1, 2), kBackgroundColour);
    EXPECT_EQ(at(2, 2), kBackgroundColour);
}

TEST(GfPicture, OnePixelWideHasNoKey) {
    // Index width + 1 would be pixel (0, 2): no pixel (1, 1), no key, every pixel grey.
    const QByteArray pixels =
        gfPixel(10, 10, 10) + gfPixel(20, 20, 20) + gfPixel(200, 200, 200) + gfPixel(200, 200, 200);
    const QImage picture = decodeGfPicture(1, 4, BytesData(pixels), QSize(1, 4));
    EXPECT_EQ(picture.pixel(0, 2), grey(227));
    EXPECT_EQ(picture.pixel(0, 3), grey(227));
}

TEST_F(GfReader, WidePictureIsEnlargedAndCentredOnTheBackground) {
    GfFile file;
    file.width = 200;
    file.height = 100;
    // Pixel (1, 1), the key, is the only black one.
    file.pixels = gfPixel(255, 255, 255).repeated(200 * 100);
    file.pixels.replace(6 * 201, 6, gfPixel(0, 0, 0));
    const QString path = writeSource("wide.gf", file.bytes());
    run(path);
    const QImage image = picture(path);
    // Rows 100 to 299 hold the picture (sampled clear of Qt's nearest-neighbour edge rows).
    EXPECT_EQ(image.pixel(0, 90), kBackgroundColour);
    EXPECT_EQ(image.pixel(0, 110), grey(255));
    EXPECT_EQ(image.pixel(399, 290), grey(255));
    EXPECT_EQ(image.pixel(399, 310), kBackgroundColour);
}

TEST_F(GfReader, OversizedFileGetsAnErrorRowUnlikeTheDlpFamily) {
    const QString path = writeSparse("big.gf", GfFile().bytes(), kFileSizeLimit + 1);
    run(path);
    ASSERT_TRUE(row(path));
    EXPECT_EQ(row(path)->thumPath, "error");
    EXPECT_EQ(logEntries(), QStringList{report(kReader, 297, "the file is too large\n" + path)});
    run(path);
    EXPECT_EQ(logEntries().size(), 1); // never tried again
}

TEST_F(GfReader, BadSidesUseTheMisspeltLabelAndTheDamagedPlaceholder) {
    GfFile zero;
    zero.width = 0;
    GfFile tooHigh;
    tooHigh.height = 10001;
    const QString a = writeSource("zero.gf", zero.bytes());
    const QString b = writeSource("high.gf", tooHigh.bytes());
    run(a);
    run(b);
    EXPECT_TRUE(isDamagedPlaceholder(picture(a)));
    EXPECT_TRUE(isDamagedPlaceholder(picture(b)));
    const QString misspelt = "infotmation    :    myFileThumbnail::loadGF : 344 ";
    EXPECT_EQ(logEntries(),
              (QStringList{misspelt + documentIsWrong(a), misspelt + documentIsWrong(b)}));
}

TEST_F(GfReader, OffsetsOutsideTheFileAreDamage) {
    GfFile previewAtEnd;
    previewAtEnd.pixels = gfPixel(1, 2, 3);
    const qint32 size = static_cast<qint32>(previewAtEnd.bytes().size());
    previewAtEnd.previewOffset = size;
    GfFile negativePreview;
    negativePreview.previewOffset = -216;
    GfFile dataAtEnd;
    dataAtEnd.dataOffset = 248;
    GfFile negativeSize;
    negativeSize.pixels = gfPixel(1, 2, 3);
    negativeSize.dataSize = -6;
    const QString a = writeSource("a.gf", previewAtEnd.bytes());
    const QString b = writeSource("b.gf", negativePreview.bytes());
    const QString c = writeSource("c.gf", dataAtEnd.bytes());
    const QString d = writeSource("d.gf", negativeSize.bytes());
    for (const QString& path : {a, b, c, d}) {
        run(path);
        EXPECT_TRUE(isDamagedPlaceholder(picture(path))) << qPrintable(path);
    }
    const QString line = QStringLiteral("%1 : size %2 offset : %3");
    EXPECT_EQ(logEntries(),
              (QStringList{report(kReader, 321, documentIsWrong(line.arg(a).arg(size).arg(size))),
                           report(kReader, 321, documentIsWrong(line.arg(b).arg(248).arg(-216))),
                           report(kReader, 357, documentIsWrong(line.arg(c).arg(248).arg(248))),
                           report(kReader, 357, documentIsWrong(line.arg(d).arg(254).arg(248)))}));
}

TEST_F(GfReader, ShortReadsCarryTheFunctionNameAndRecordNothing) {
    GfFile previewPastEnd;
    previewPastEnd.previewOffset = 200;
    GfFile dataPastEnd;
    dataPastEnd.pixels = gfPixel(1, 2, 3);
    dataPastEnd.dataSize = 7;
    const QString a = writeSource("a.gf", QByteArray(215, '\0'));
    const QString b = writeSource("b.gf", previewPastEnd.bytes().left(220));
    const QString c = writeSource("c.gf", dataPastEnd.bytes());
    for (const QString& path : {a, b, c}) {
        run(path);
        EXPECT_FALSE(row(path)) << qPrintable(path);
    }
    EXPECT_EQ(logEntries(), (QStringList{report(kReader, 312, "GfHead_t read less\n" + a),
                                         report(kReader, 334, "DlpPreviewHead_t read less\n" + b),
                                         report(kReader, 367, "src_RGB_Buffer read less\n" + c)}));
}

} // namespace
