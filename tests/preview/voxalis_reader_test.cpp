#include "decoders.h"
#include "preview_fixture.h"
#include "rle16_writer.h"
#include "saved_picture_memo.h"
#include "voxalis_writer.h"

namespace {

constexpr QRgb kGrey = 0xFF939393;
using V = VoxalisFile; // width, height, picture, reference, data offset, data length, rest

using VoxalisReader = PreviewJob;

TEST_F(VoxalisReader, PixelsBecomeBlueTonesOnGreyUnscaledAndBrokenProjectsAreLogged) {
    suffix = ".voxalis";
    // Word 0 is the picture's background and so is every later word of its colour; the run
    // flag is part of the colour, so a run of that word is a tone, as is the run of word 0
    // that fills the rest of the 600 x 300 pixels.
    const quint16 bg = 0x1234;
    const QByteArray words =
        Rle16Writer().pixel(bg).pixel(0).pixel(0xFFDF).pixel(bg).run(bg, 2).run(0, 179994).bytes();
    const QString largePath = ran(V{600, 300, words, {}, {}, {}, {}}.bytes());
    const QImage large = picture(largePath);
    // Even a picture larger than a thumbnail goes to the bitmap as it was saved.
    EXPECT_EQ(takeSavedPicture(row(largePath).value_or(ThumbnailRow{}).thumPath), large);
    const QRgb toneF = qRgb(50, 157, 213), runBg = qRgb(13, 120, 176), run0 = qRgb(1, 108, 164);
    const QRgb row150[] = {kGrey, qRgb(0, 107, 163), toneF, kGrey, runBg, runBg, run0};
    for (int x = 0; x < 7; ++x) {
        EXPECT_EQ(large.pixel(x, 150), row150[x]) << x;
    }
    EXPECT_EQ(large.pixel(599, 449), run0);
    EXPECT_EQ(large.pixel(599, 450), kGrey);
    // Past the largest side the cache keeps, the canvas is kept as it looks scaled to that
    // side, never whole.
    const QByteArray wide =
        Rle16Writer().pixel(bg).run(0, 4000).pixel(0xFFDF).run(bg, 1999).bytes();
    const QImage fitted = picture(ran(V{3000, 2, wide, {}, {}, {}, {}}.bytes()));
    const QImage whole = decodeVoxalisPreview(3000, 2, BytesData(wide), QSize(3000, 3000));
    EXPECT_EQ(fitted, whole.scaled(2560, 2560, Qt::IgnoreAspectRatio, Qt::FastTransformation));
    // A small picture sits in the middle of a 400 x 400 canvas; an odd last byte is no word.
    const QByteArray two = Rle16Writer().pixel(bg).pixel(0xFFDF).bytes() + '\x01';
    const QImage small = picture(ran(V{2, 1, two, {}, {}, {}, {}}.bytes()));
    EXPECT_EQ(small.pixel(199, 199), kGrey);
    EXPECT_EQ(small.pixel(200, 199), toneF);
    // A project saved before previews existed is fine: no line.
    const QByteArray word = Rle16Writer().pixel(1).bytes();
    EXPECT_TRUE(
        isPlaceholder(picture(ran(V{1, 1, word, 0, {}, {}, {}}.bytes())), &makeOldVersionImage));

    const auto damaged = &makeDamagedFileImage, old = &makeOldVersionImage;
    // 446 bytes: both headers and one word; 444 without the word, ending with the preview's
    // header. "size %3" has no colon, unlike the SVGX reader.
    const QString size = documentIsWrong("%1 : size 446 offset : ");
    const std::tuple<QString, void (*)(QImage&), int, QString> cases[] = {
        {ran(V{1, 1, word, 446, {}, {}, {}}.bytes()), damaged, 792, size + "446"},
        {ran(V{1, 1, word, -1, {}, {}, {}}.bytes()), damaged, 792, size + "-1"},
        {ran(V{1, 1, {}, {}, 0, {}, {}}.bytes()), old, 813,
         documentIsWrong("%1 : size 444 offset : 0")},
        {ran(V{1, 1, word, {}, 446, {}, {}}.bytes()), old, 813, size + "446"},
        {ran(V{10001, 1, word, {}, {}, {}, {}}.bytes()), damaged, 823, documentIsWrong("%1")},
        {ran(V{1, 0, word, {}, {}, {}, {}}.bytes()), damaged, 823, documentIsWrong("%1")},
        {ran(QByteArray(411, '\0')), nullptr, 776, "read file head less\n%1"},
        {ran(V().bytes().left(443)), nullptr, 804, "svgx file head read less\n%1"},
        {ran(V{1, 1, word, {}, {}, 3, {}}.bytes()), nullptr, 836, "src_RGB_Buffer read less\n%1"},
        {ran(V{1, 1, word, {}, {}, -2, {}}.bytes()), nullptr, 836, "src_RGB_Buffer read less\n%1"},
    };
    QStringList expected;
    for (const auto& [path, kept, number, body] : cases) {
        EXPECT_TRUE(kept ? isPlaceholder(picture(path), kept) : !row(path)) << qPrintable(path);
        expected << report("myFileThumbnail::loadVoxalis", number, QString(body).arg(path));
    }
    EXPECT_EQ(logEntries(), expected);
}

} // namespace
