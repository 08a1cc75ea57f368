#include "preview_constants.h"
#include "preview_fixture.h"
#include "svgx_writer.h"

#include <QPainter>

namespace {

constexpr char kReader[] = "myFileThumbnail::loadSvgx";

// A picture whose top-left quarter is red and the rest blue.
QImage quartered(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(qRgb(0, 0, 255));
    QPainter(&image).fillRect(0, 0, width / 2, height / 2, QColor(255, 0, 0));
    return image;
}

// The preview is always read as 5,862 bytes; a smaller BMP is followed by other file data.
QByteArray previewBytes(const QByteArray& bmp) {
    return bmp + QByteArray(qMax(0, 5862 - bmp.size()), '\x55');
}

using SvgxReader = PreviewJob;

TEST_F(SvgxReader, SpecSizedPreviewIsExactlyFiveThousandEightHundredSixtyTwoBytes) {
    EXPECT_EQ(bmpFile(quartered(44, 44)).size(), 5862);
    SvgxFile file;
    file.preview = bmpFile(quartered(44, 44));
    const QString path = writeSource("full.svgx", file.bytes());
    run(path);
    const QImage image = picture(path);
    ASSERT_EQ(image.size(), QSize(400, 400));
    EXPECT_EQ(image.pixel(10, 10), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(390, 390), qRgb(0, 0, 255));
}

TEST_F(SvgxReader, SquarePictureFillsTheCanvasEdgeToEdge) {
    SvgxFile file;
    file.preview = previewBytes(bmpFile(quartered(40, 40)));
    const QString path = writeSource("square.svgx", file.bytes());
    run(path);
    const QImage image = picture(path);
    EXPECT_EQ(image.pixel(199, 199), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(200, 199), qRgb(0, 0, 255));
    EXPECT_EQ(image.pixel(199, 200), qRgb(0, 0, 255));
    EXPECT_FALSE(image.hasAlphaChannel());
}

TEST_F(SvgxReader, WidePictureIsCentredAndItsCornerColourRunsIntoTheMargins) {
    SvgxFile file;
    file.preview = previewBytes(bmpFile(quartered(20, 10)));
    const QString path = writeSource("wide.svgx", file.bytes());
    run(path);
    const QImage image = picture(path);
    ASSERT_EQ(image.size(), QSize(400, 400));
    EXPECT_EQ(image.pixel(399, 0), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(399, 99), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(399, 100), qRgb(0, 0, 255));
    EXPECT_EQ(image.pixel(0, 299), qRgb(0, 0, 255));
    EXPECT_EQ(image.pixel(0, 300), qRgb(255, 0, 0));
}

TEST_F(SvgxReader, AlphaInThePreviewDoesNotReachTheThumbnail) {
    QImage translucent(36, 36, QImage::Format_ARGB32);
    translucent.fill(qRgba(0, 200, 0, 40));
    SvgxFile file;
    file.preview = previewBytes(bmpFile(translucent, true));
    const QString path = writeSource("alpha.svgx", file.bytes());
    run(path);
    const QImage image = picture(path);
    EXPECT_FALSE(image.hasAlphaChannel());
    EXPECT_EQ(qAlpha(image.pixel(200, 200)), 255);
}

TEST_F(SvgxReader, BytesThatAreNoBmpGiveAPlainBackgroundCanvas) {
    // Noise, and a BMP whose pixels cannot be in the preview's bytes: Qt would allocate the
    // whole declared picture and show the rows that are there.
    SvgxFile noise;
    noise.preview = QByteArray(5862, '\x7f');
    SvgxFile tooLarge;
    tooLarge.preview = bmpFile(quartered(100, 100));
    for (const auto& [name, file] : {std::pair{"noise.svgx", noise}, {"large.svgx", tooLarge}}) {
        const QString path = writeSource(name, file.bytes());
        run(path);
        const QImage image = picture(path);
        ASSERT_EQ(image.size(), QSize(400, 400));
        EXPECT_EQ(image.pixel(0, 0), kBackgroundColour);
        EXPECT_EQ(image.pixel(399, 399), kBackgroundColour) << name;
    }
}

TEST_F(SvgxReader, MissingPreviewOffsetMeansAnOldVersionFile) {
    SvgxFile zero;
    zero.previewOffset = 0;
    zero.preview = previewBytes(QByteArray());
    SvgxFile atEnd;
    atEnd.preview = previewBytes(QByteArray());
    atEnd.previewOffset = atEnd.bytes().size();
    SvgxFile negative;
    negative.previewOffset = -28;
    negative.preview = previewBytes(QByteArray());
    const QString a = writeSource("zero.svgx", zero.bytes());
    const QString b = writeSource("end.svgx", atEnd.bytes());
    const QString c = writeSource("negative.svgx", negative.bytes());
    for (const QString& path : {a, b, c}) {
        run(path);
        EXPECT_TRUE(isOldVersionPlaceholder(picture(path))) << qPrintable(path);
        EXPECT_NE(row(path)->thumTime, 0u);
    }
    // This reader's size text has a colon after "size".
    const QString line = QStringLiteral("%1 : size : 5890 offset : %2");
    EXPECT_EQ(logEntries(),
              (QStringList{report(kReader, 643, documentIsWrong(line.arg(a).arg(0))),
                           report(kReader, 643, documentIsWrong(line.arg(b).arg(5890))),
                           report(kReader, 643, documentIsWrong(line.arg(c).arg(-28)))}));
}

TEST_F(SvgxReader, ShortFilesAreLoggedAndRecordNothing) {
    SvgxFile shortPreview;
    shortPreview.preview = QByteArray(5861, 'b');
    const QString a = writeSource("head.svgx", QByteArray(27, '\0'));
    const QString b = writeSource("short.svgx", shortPreview.bytes());
    run(a);
    run(b);
    EXPECT_FALSE(row(a));
    EXPECT_FALSE(row(b));
    EXPECT_EQ(logEntries(), (QStringList{report(kReader, 634, "file head read error\n" + a),
                                         report(kReader, 656, "rgbBuf read less\n" + b)}));
}

TEST_F(SvgxReader, OversizedFileIsRefused) {
    const QString path = writeSparse("big.svgx", SvgxFile().bytes(), kFileSizeLimit + 1);
    run(path);
    EXPECT_FALSE(row(path));
    EXPECT_EQ(logEntries(), QStringList{report(kReader, 619, "the file is too large\n" + path)});
}

} // namespace
