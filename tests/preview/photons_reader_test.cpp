#include "photons_writer.h"
#include "preview_constants.h"
#include "preview_fixture.h"

#include <QSet>

namespace {

constexpr char kReader[] = "myFileThumbnail::loadPhotons";

QByteArray repeat(const QByteArray& pixel, int count) {
    return pixel.repeated(count);
}

using PhotonsReader = PreviewJob;

TEST_F(PhotonsReader, HeaderIsBigEndianPixelsLittleEndianWithRedLow) {
    PhotonsFile file;
    file.width = 2;
    file.height = 2;
    // The bytes 1F 00, E0 07 and 00 F8 are pure red, green and blue.
    file.pixels = QByteArray("\x1F\x00\xE0\x07\x00\xF8", 6) + photonsPixel(80, 160, 240);
    ASSERT_EQ(file.bytes().mid(80 + 3, 4), QByteArray("\x00\x00\x00\x02", 4));
    const QString path = writeSource("colours.photons", file.bytes());
    run(path);
    const QImage image = picture(path);
    ASSERT_EQ(image.size(), QSize(400, 400));
    EXPECT_EQ(cell(image, 2, 0, 0), qRgb(248, 0, 0));
    EXPECT_EQ(cell(image, 2, 1, 0), qRgb(0, 252, 0));
    EXPECT_EQ(cell(image, 2, 0, 1), qRgb(0, 0, 248));
    EXPECT_EQ(cell(image, 2, 1, 1), qRgb(80, 160, 240));
    EXPECT_TRUE(logEntries().isEmpty());
}

TEST_F(PhotonsReader, WidePreviewIsCentredWithMarginsInTheColourOfPixelOneOne) {
    // 400 x 200, all blue but pixel (1, 1): the margins take that pixel's colour.
    PhotonsFile file;
    file.width = 400;
    file.height = 200;
    file.pixels = repeat(photonsPixel(0, 0, 248), 400 * 200);
    file.pixels.replace(2 * 401, 2, photonsPixel(248, 0, 0));
    file.trailing = "layers follow";
    const QString path = writeSource("wide.photons", file.bytes());
    run(path);
    const QImage image = picture(path);
    ASSERT_EQ(image.size(), QSize(400, 400));
    EXPECT_EQ(image.pixel(0, 99), qRgb(248, 0, 0));
    EXPECT_EQ(image.pixel(0, 100), qRgb(0, 0, 248));
    EXPECT_EQ(image.pixel(1, 101), qRgb(248, 0, 0));
    EXPECT_EQ(image.pixel(399, 299), qRgb(0, 0, 248));
    EXPECT_EQ(image.pixel(399, 300), qRgb(248, 0, 0));
}

TEST_F(PhotonsReader, SmallPreviewIsEnlargedWithoutSmoothing) {
    // A 200 x 100 checkerboard becomes 400 x 200: no blended colour appears.
    PhotonsFile file;
    file.width = 200;
    file.height = 100;
    for (int i = 0; i < 200 * 100; ++i) {
        file.pixels +=
            ((i / 200 + i % 200) % 2) ? photonsPixel(248, 0, 0) : photonsPixel(0, 0, 248);
    }
    const QString path = writeSource("checker.photons", file.bytes());
    run(path);
    const QImage image = picture(path);
    QSet<QRgb> colours;
    for (int y = 100; y < 300; ++y) {
        for (int x = 0; x < 400; ++x) {
            colours.insert(image.pixel(x, y));
        }
    }
    EXPECT_EQ(colours, (QSet<QRgb>{qRgb(248, 0, 0), qRgb(0, 0, 248)}));
}

TEST_F(PhotonsReader, PreviewWithoutPixelOneOneGetsTheBackgroundMargins) {
    PhotonsFile file;
    file.width = 1;
    file.height = 1;
    file.pixels = photonsPixel(248, 0, 0);
    PhotonsFile empty;
    const QString single = writeSource("single.photons", file.bytes());
    const QString none = writeSource("none.photons", empty.bytes());
    run(single);
    run(none);
    EXPECT_EQ(picture(single).pixel(0, 0), qRgb(248, 0, 0));
    const QImage blank = picture(none);
    ASSERT_EQ(blank.size(), QSize(400, 400));
    EXPECT_EQ(blank.pixel(200, 200), kBackgroundColour);
}

TEST_F(PhotonsReader, FailuresAreOnlyLogged) {
    PhotonsFile zeroLength;
    zeroLength.versionLength = 0;
    PhotonsFile longVersion;
    longVersion.versionLength = 1000000;
    PhotonsFile shortPixels;
    shortPixels.width = 3;
    shortPixels.height = 3;
    shortPixels.pixels = repeat(photonsPixel(1, 2, 3), 9).chopped(1);
    PhotonsFile negative;
    negative.width = -2;
    negative.height = -2;
    negative.pixels = repeat(photonsPixel(1, 2, 3), 4);
    PhotonsFile huge;
    huge.width = 0x10000;
    huge.height = 0x10000; // 8 GiB of pixels: refused before anything is allocated
    const QByteArray cutInsideHead = PhotonsFile().bytes().left(4 + 3 + 50);

    const QStringList paths = {writeSource("a.photons", zeroLength.bytes()),
                               writeSource("b.photons", QByteArray("\x00\x00", 2)),
                               writeSource("c.photons", QByteArray("\x00\x00\x00\x05", 4)),
                               writeSource("d.photons", longVersion.bytes()),
                               writeSource("e.photons", cutInsideHead),
                               writeSource("f.photons", shortPixels.bytes()),
                               writeSource("g.photons", negative.bytes()),
                               writeSource("h.photons", huge.bytes())};
    for (const QString& path : paths) {
        run(path);
        EXPECT_FALSE(row(path)) << qPrintable(path);
    }
    EXPECT_EQ(logEntries(),
              (QStringList{report(kReader, 496, "file read less\n" + paths[0]),
                           report(kReader, 496, "file read less\n" + paths[1]),
                           report(kReader, 488, "file version read less\n" + paths[2]),
                           report(kReader, 607, "file head read error\n" + paths[3]),
                           report(kReader, 607, "file head read error\n" + paths[4]),
                           report(kReader, 508, "rgbBuf read less\n" + paths[5]),
                           report(kReader, 508, "rgbBuf read less\n" + paths[6]),
                           report(kReader, 508, "rgbBuf read less\n" + paths[7])}));
}

TEST_F(PhotonsReader, OversizedFileIsRefusedWithoutARow) {
    const QString path = writeSparse("big.photons", PhotonsFile().bytes(), kFileSizeLimit + 1);
    run(path);
    EXPECT_FALSE(row(path));
    EXPECT_EQ(logEntries(), QStringList{report(kReader, 471, "the file is too large\n" + path)});
}

} // namespace
