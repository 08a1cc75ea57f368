#include "decoders.h"
#include "preview_constants.h"
#include "rle16_writer.h"
#include "run_length.h"
#include "tone_mapping.h"

#include <gtest/gtest.h>

namespace {

constexpr QRgb kBlack = 0xFF000000;
constexpr QRgb kRed = 0xFFFF0000;
constexpr QRgb kGreen = 0xFF00FF00;
constexpr QRgb kBlue = 0xFF0000FF;

QRgb grey(int level) {
    return 0xFF000000u + static_cast<QRgb>(level) * 0x010101u;
}

TEST(ToneMapping, GreyFollowsBrightnessAndKeepsOnlyItsLowByte) {
    EXPECT_EQ(toneGrey(0, 0, 0), grey(127));
    EXPECT_EQ(toneGrey(5, 1, 5), grey(128));
    EXPECT_EQ(toneGrey(96, 96, 96), grey(175));
    EXPECT_EQ(toneGrey(255, 255, 255), grey(255));
    // Sixteen-bit channels (GF) run past 255 and wrap.
    EXPECT_EQ(toneGrey(1000, 1000, 1000), grey(116));
    EXPECT_EQ(toneGrey(65535, 65535, 65535), grey(255));
    // Green weighs most, blue least.
    EXPECT_GT(qRed(toneGrey(0, 255, 0)), qRed(toneGrey(255, 0, 0)));
    EXPECT_GT(qRed(toneGrey(255, 0, 0)), qRed(toneGrey(0, 0, 255)));
}

TEST(ToneMapping, OnlyPixelsAfterTheKeyInItsExactColourBecomeBackground) {
    PreviewToneMapper tones;
    EXPECT_EQ(tones.map(10, 20, 30), toneGrey(10, 20, 30));
    EXPECT_EQ(tones.key(10, 20, 30), kBackgroundColour);
    EXPECT_EQ(tones.map(10, 20, 30), kBackgroundColour);
    EXPECT_EQ(tones.map(10, 21, 30), toneGrey(10, 21, 30));
}

// Paints onto a black canvas; word colours are fixed per word value.
QImage paint(const QByteArray& data, int width, int side, int rows = -1) {
    const QSize size(side, rows < 0 ? side : rows);
    SampledCanvas canvas(size, size, kBlack);
    paintRunLength16(BytesData(data), width, 0, 0, canvas, [](quint16 word, bool) {
        switch (word & ~kRunFlag) {
        case 0x1000:
            return kRed;
        case 0x2000:
            return kGreen;
        default:
            return kBlue;
        }
    });
    return canvas.image();
}

TEST(RunLength, RunWordKeepsOnlyItsLowTwelveBits) {
    // 0x0FFF paints 4,096 pixels (64 full rows of 64), 0xF000 one, 0x0000 one.
    const QByteArray data = Rle16Writer()
                                .word(0x1000 | kRunFlag)
                                .word(0x0FFF)
                                .word(0x2000 | kRunFlag)
                                .word(0xF000)
                                .word(0x3000 | kRunFlag)
                                .word(0x0000)
                                .bytes();
    const QImage canvas = paint(data, 64, 64, 66);
    EXPECT_EQ(canvas.pixel(0, 0), kRed);
    EXPECT_EQ(canvas.pixel(63, 63), kRed);
    EXPECT_EQ(canvas.pixel(0, 64), kGreen);
    EXPECT_EQ(canvas.pixel(1, 64), kBlue);
    EXPECT_EQ(canvas.pixel(2, 64), kBlack);
}

TEST(RunLength, RunFlagOnTheLastWordPaintsOnePixelAndAnOddByteIsNoWord) {
    QByteArray data = Rle16Writer().pixel(0x1000).word(0x2000 | kRunFlag).bytes();
    data.append('\x20');
    const QImage canvas = paint(data, 4, 4);
    EXPECT_EQ(canvas.pixel(0, 0), kRed);
    EXPECT_EQ(canvas.pixel(1, 0), kGreen);
    EXPECT_EQ(canvas.pixel(2, 0), kBlack);
}

TEST(RunLength, PixelsPastTheCanvasAreDroppedWithoutWritingOutsideIt) {
    // A 4,096-pixel run into a 4 x 4 canvas, and a picture wider than its canvas.
    const QByteArray data = Rle16Writer().run(0x1000, 4096).run(0x2000, 4096).bytes();
    const QImage small = paint(data, 4, 4);
    EXPECT_EQ(small.pixel(3, 3), kRed);
    const QImage narrow = paint(data, 6, 4);
    EXPECT_EQ(narrow.pixel(3, 3), kRed);
}

TEST(DlpPreview, WordZeroIsTheKeyRunFlagIncluded) {
    // 4 x 1 preview on a 4 x 4 canvas, in row 1. Word 0 (no run flag) is the key; the same
    // colour with the run flag has another green and is grey; without the flag it is keyed.
    const quint16 colour = 0x8410;
    const QByteArray data =
        Rle16Writer().pixel(colour).run(colour, 2).pixel(colour).pixel(0x0000).bytes();
    const QImage canvas = decodeDlpPreview(4, 1, BytesData(data), QSize(4, 4));
    ASSERT_EQ(canvas.size(), QSize(4, 4));
    EXPECT_EQ(canvas.pixel(0, 0), kBackgroundColour);
    EXPECT_EQ(canvas.pixel(0, 1), kBackgroundColour);
    EXPECT_EQ(canvas.pixel(1, 1), grey(193));
    EXPECT_EQ(canvas.pixel(2, 1), grey(193));
    EXPECT_EQ(canvas.pixel(3, 1), kBackgroundColour);
    // The stream goes on past W x H into the margin below the preview.
    EXPECT_EQ(canvas.pixel(0, 2), toneGrey(5, 1, 5));
    EXPECT_EQ(canvas.pixel(1, 2), kBackgroundColour);
}

TEST(DlpPreview, WidePreviewSitsInTheMiddleRowsOfItsSquare) {
    // 200 x 100, every pixel silhouette but the key: rows 50 to 149 of a 200 x 200 canvas.
    const QByteArray data =
        Rle16Writer().pixel(0x0000).run(0x8410, 4096).run(0x8410, 200 * 100 - 4097).bytes();
    const QImage canvas = decodeDlpPreview(200, 100, BytesData(data), QSize(200, 200));
    ASSERT_EQ(canvas.size(), QSize(200, 200));
    EXPECT_EQ(canvas.pixel(199, 49), kBackgroundColour);
    EXPECT_EQ(canvas.pixel(1, 50), grey(193));
    EXPECT_EQ(canvas.pixel(199, 149), grey(193));
    EXPECT_EQ(canvas.pixel(0, 150), kBackgroundColour);
}

TEST(DlpPreview, FirstRunIsAllBackground) {
    const QByteArray data = Rle16Writer().run(0xFFFF, 3).pixel(0x8410).bytes();
    const QImage canvas = decodeDlpPreview(3, 3, BytesData(data), QSize(3, 3));
    for (int x = 0; x < 3; ++x) {
        EXPECT_EQ(canvas.pixel(x, 0), kBackgroundColour);
    }
    EXPECT_EQ(canvas.pixel(0, 1), grey(192));
}

TEST(DlpPreview, RunWordInTheNextPieceOfTheDataStillCounts) {
    // The decoder holds one piece of the data at a time; the last word of the first piece
    // starts a run whose run word opens the second.
    const int words = static_cast<int>(kPreviewPieceSize / 2);
    const QByteArray data =
        QByteArray(2 * (words - 1), '\0') + Rle16Writer().run(0x8410, 10).pixel(0x1000).bytes();
    const QImage canvas = decodeDlpPreview(1024, 1024, BytesData(data), QSize(1024, 1024));
    const auto at = [&canvas](int pixel) { return canvas.pixel(pixel % 1024, pixel / 1024); };
    EXPECT_EQ(at(words - 2), kBackgroundColour);
    EXPECT_EQ(at(words - 1), grey(193));
    EXPECT_EQ(at(words + 8), grey(193));
    EXPECT_EQ(at(words + 9), toneGrey(21, 1, 5));
}

TEST(DlpPreview, ShortOrEmptyStreamLeavesTheBackground) {
    const QImage empty = decodeDlpPreview(5, 5, BytesData(QByteArray(1, '\x7f')), QSize(5, 5));
    const QImage blank = decodeDlpPreview(5, 5, BytesData(QByteArray()), QSize(5, 5));
    for (const QImage& canvas : {empty, blank}) {
        for (int y = 0; y < 5; ++y) {
            for (int x = 0; x < 5; ++x) {
                ASSERT_EQ(canvas.pixel(x, y), kBackgroundColour);
            }
        }
    }
}

} // namespace
