#include "gf_writer.h"
#include "preview_constants.h"
#include "preview_fixture.h"

namespace {

constexpr char kReader[] = "myFileThumbnail::loadGF";
using G = GfFile; // width, height, pixels, preview offset, data offset, data size, rest

using GfReader = PreviewJob;

TEST_F(GfReader, PixelOneOneIsTheKeyForLaterPixelsOnlyAndBrokenFilesAreLogged) {
    suffix = ".gf";
    const auto grey = [](int level) { return qRgb(level, level, level); };
    // 3 x 3 enlarged to 400 x 400: pixel 0 has the key's colour but comes before it; pixel 4
    // is the key; pixel 7 repeats it; pixel 8 lies beyond the data.
    const QByteArray key = gfPixel(96, 96, 96), black = gfPixel(0, 0, 0);
    const QByteArray keyed = key + gfPixel(255, 255, 255) + black + gfPixel(5, 1, 5) + key +
                             gfPixel(1000, 1000, 1000) + black + key;
    const QImage image = picture(ran(G{3, 3, keyed, {}, {}, {}, {}}.bytes()));
    const QRgb bg = kBackgroundColour;
    const QRgb cells[] = {grey(175), grey(255), grey(127), grey(128), bg,
                          grey(116), grey(127), bg,        bg};
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(image.pixel(i % 3 * 133 + 66, i / 3 * 133 + 66), cells[i]) << i;
    }
    // The key may be the data's last pixel.
    const QImage last = picture(ran(G{2, 2, black + black + black + key, {}, {}, {}, {}}.bytes()));
    EXPECT_EQ(last.pixel(300, 300), bg);
    // One pixel wide, index width + 1 would be pixel (0, 2): there is no key. The picture is
    // enlarged to 100 x 400 and centred on the background.
    const QByteArray light = gfPixel(200, 200, 200),
                     column = gfPixel(10, 10, 10) + gfPixel(20, 20, 20) + light + light;
    const QImage narrow = picture(ran(G{1, 4, column, {}, {}, {}, {}}.bytes()));
    EXPECT_EQ(narrow.pixel(149, 250), bg);
    EXPECT_EQ(narrow.pixel(150, 250), grey(227));
    EXPECT_EQ(narrow.pixel(249, 399), grey(227));
    EXPECT_EQ(narrow.pixel(250, 399), bg);

    const auto line = [](int number, const QString& body) { return report(kReader, number, body); };
    // 254 bytes: both headers and one pixel; the bad sides come without the pixel, so that
    // their files end with the preview's header.
    const QString size = documentIsWrong("%1 : size 254 offset : ");
    // The one line of the reader that has always carried its label misspelt.
    const QString misspelt = line(344, documentIsWrong("%1")).replace("information", "infotmation");
    const QByteArray px = gfPixel(1, 2, 3);
    // Whether the file gets the damaged placeholder, or no row.
    const std::tuple<QString, bool, QString> cases[] = {
        {ran(G{0, 1, {}, {}, {}, {}, {}}.bytes()), 1, misspelt},
        {ran(G{1, 10001, {}, {}, {}, {}, {}}.bytes()), 1, misspelt},
        {ran(G{1, 1, px, 254, {}, {}, {}}.bytes()), 1, line(321, size + "254")},
        {ran(G{1, 1, px, -216, {}, {}, {}}.bytes()), 1, line(321, size + "-216")},
        {ran(G{1, 1, px, {}, 254, {}, {}}.bytes()), 1, line(357, size + "254")},
        {ran(G{1, 1, px, {}, {}, -6, {}}.bytes()), 1, line(357, size + "248")},
        {ran(QByteArray(215, '\0')), 0, line(312, "GfHead_t read less\n%1")},
        {ran(G{1, 1, px, 223, {}, {}, {}}.bytes()), 0, line(334, "DlpPreviewHead_t read less\n%1")},
        {ran(G{1, 1, px, {}, {}, 7, {}}.bytes()), 0, line(367, "src_RGB_Buffer read less\n%1")},
    };
    QStringList expected;
    for (const auto& [path, damaged, entry] : cases) {
        EXPECT_TRUE(damaged ? isPlaceholder(picture(path), &makeDamagedFileImage) : !row(path))
            << qPrintable(path);
        expected << QString(entry).arg(path);
    }
    // Unlike the DLP family, a file too large gets an error row and is never tried again.
    const QString big = writeSparse("big.gf", G().bytes(), kFileSizeLimit + 1);
    run(big);
    run(big);
    EXPECT_EQ(row(big).value_or(ThumbnailRow{}).thumPath, "error");
    EXPECT_EQ(logEntries(), expected << line(297, "the file is too large\n" + big));
}

} // namespace
