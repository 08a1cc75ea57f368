#include "preview_constants.h"
#include "preview_fixture.h"
#include "svgx_writer.h"

#include <QPainter>

namespace {

constexpr QRgb kRed = 0xFFFF0000;
constexpr QRgb kBlue = 0xFF0000FF;

// A BMP of a picture whose top-left quarter is red and the rest blue.
QByteArray quartered(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(kBlue);
    QPainter(&image).fillRect(0, 0, width / 2, height / 2, QColor(kRed));
    return bmpFile(image);
}

// An SVGX file whose preview is `bmp`, followed by other file data up to the 5,862 bytes a
// preview is always read as: a 44 x 44 BMP exactly.
QByteArray svgx(const QByteArray& bmp, std::optional<qint32> offset = {}) {
    return SvgxFile{bmp, offset, QByteArray(qMax(0, 5862 - bmp.size()), '\x55')}.bytes();
}

using SvgxReader = PreviewJob;

TEST_F(SvgxReader, PreviewIsFittedOpaqueOnItsCornerColourAndFilesWithoutOneAreLogged) {
    suffix = ".svgx";
    const QImage full = picture(ran(svgx(quartered(44, 44))));
    EXPECT_EQ(full.pixel(199, 199), kRed);
    EXPECT_EQ(full.pixel(200, 199), kBlue);
    const QImage wide = picture(ran(svgx(quartered(20, 10))));
    EXPECT_EQ(wide.pixel(399, 99), kRed);
    EXPECT_EQ(wide.pixel(399, 100), kBlue);
    EXPECT_EQ(wide.pixel(0, 299), kBlue);
    EXPECT_EQ(wide.pixel(0, 300), kRed);
    QImage translucent(36, 36, QImage::Format_ARGB32);
    translucent.fill(qRgba(0, 200, 0, 40));
    EXPECT_EQ(picture(ran(svgx(bmpFile(translucent, true)))).pixel(200, 200), qRgb(0, 200, 0));
    // Bytes that are no BMP, a BMP whose pixels cannot be in the preview's bytes (Qt would
    // allocate the whole declared picture and show the rows that are there), and a preview
    // that starts within the header.
    for (const QByteArray& file :
         {svgx(QByteArray(5862, '\x7f')), svgx(quartered(100, 100)), svgx({}, 1)}) {
        const QImage blank = picture(ran(file));
        EXPECT_EQ(blank.pixel(0, 0), kBackgroundColour);
        EXPECT_EQ(blank.pixel(399, 399), kBackgroundColour);
    }

    // 5,890 bytes: the header and the preview. This reader's size text has a colon.
    const QString at = documentIsWrong("%1 : size : 5890 offset : ");
    // Whether the file gets the old version picture, or no row.
    const std::tuple<QString, bool, int, QString> cases[] = {
        {ran(svgx({}, 0)), true, 643, at + "0"},
        {ran(svgx({}, 5890)), true, 643, at + "5890"},
        {ran(QByteArray(27, '\0')), false, 634, "file head read error\n%1"},
        {ran(SvgxFile{QByteArray(5861, 'b'), {}, {}}.bytes()), false, 656, "rgbBuf read less\n%1"},
        {ran(svgx({}), kFileSizeLimit + 1), false, 619, "the file is too large\n%1"},
    };
    QStringList expected;
    for (const auto& [path, old, number, body] : cases) {
        EXPECT_TRUE(old ? isPlaceholder(picture(path), &makeOldVersionImage) : !row(path))
            << qPrintable(path);
        expected << report("myFileThumbnail::loadSvgx", number, QString(body).arg(path));
    }
    EXPECT_EQ(logEntries(), expected);
}

} // namespace
