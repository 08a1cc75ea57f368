#include "photons_writer.h"
#include "preview_constants.h"
#include "preview_fixture.h"

namespace {

using P = PhotonsFile; // version, version length, width, height, pixels, rest

using PhotonsReader = PreviewJob;

TEST_F(PhotonsReader, PreviewIsEnlargedUnsmoothedOnMarginsOfPixelOneOneAndFailuresOnlyLogged) {
    suffix = ".photons";
    // A 200 x 100 checkerboard, (1, 1) on a light square, between a big-endian header and
    // the layers. Pixels are little-endian 5-6-5 with red low: 1F 00 is pure red.
    const QByteArray light = photonsPixel(80, 160, 240), red("\x1F\x00", 2);
    const QByteArray board =
        ((light + red).repeated(100) + (red + light).repeated(100)).repeated(50);
    const QImage image = picture(ran(P{"2.1", {}, 200, 100, board, "layers"}.bytes()));
    for (int y = 0; y < 400; ++y) {
        for (int x = 0; x < 400; ++x) {
            const bool dark = y >= 100 && y < 300 && (x / 2 + y / 2) % 2;
            ASSERT_EQ(image.pixel(x, y), dark ? qRgb(248, 0, 0) : qRgb(80, 160, 240))
                << x << ',' << y;
        }
    }
    // Without any pixel the canvas keeps the background.
    EXPECT_EQ(picture(ran(P().bytes())).pixel(399, 399), kBackgroundColour);

    const QByteArray one = photonsPixel(1, 2, 3);
    const std::tuple<QString, int, const char*> cases[] = {
        {ran(P{"2.1", 0u, 0, 0, {}, {}}.bytes()), 496, "file read less"},
        {ran(QByteArray(2, '\0')), 496, "file read less"},
        {ran(QByteArray("\x00\x00\x00\x05", 4)), 488, "file version read less"},
        {ran(P{"2.1", 1000000u, 0, 0, {}, {}}.bytes()), 607, "file head read error"},
        {ran(P().bytes().left(4 + 3 + 50)), 607, "file head read error"},
        {ran(P{"2.1", {}, 3, 3, one.repeated(9).chopped(1), {}}.bytes()), 508, "rgbBuf read less"},
        {ran(P{"2.1", {}, -2, -2, one.repeated(4), {}}.bytes()), 508, "rgbBuf read less"},
        // 8 GiB of pixels: refused before anything is allocated.
        {ran(P{"2.1", {}, 0x10000, 0x10000, {}, {}}.bytes()), 508, "rgbBuf read less"},
        {ran(P().bytes(), kFileSizeLimit + 1), 471, "the file is too large"},
    };
    QStringList expected;
    for (const auto& [path, number, message] : cases) {
        EXPECT_FALSE(row(path)) << qPrintable(path);
        expected << report("myFileThumbnail::loadPhotons", number, message + ('\n' + path));
    }
    EXPECT_EQ(logEntries(), expected);
}

} // namespace
