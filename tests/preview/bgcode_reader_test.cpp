#include "bgcode_writer.h"
#include "embedded_fixture.h"
#include "preview_fixture.h"
#include "preview_picture.h"
#include "threemf_writer.h"

namespace {

BgcodeBlock thumbnailOf(const Embedded& picture) {
    return bgcodeThumbnail(quint16(picture.format), picture.source.size(), picture.bytes());
}

QVector<BgcodeBlock> thumbnailsOf(const std::vector<Embedded>& pictures) {
    QVector<BgcodeBlock> blocks;
    for (const Embedded& picture : pictures) {
        blocks.append(thumbnailOf(picture));
    }
    return blocks;
}

using BgcodeReader = PreviewJob;

TEST_F(BgcodeReader, ServesEachSideTheSmallestThumbnailLargeEnoughWithOrWithoutChecksums) {
    suffix = ".bgcode";
    const std::vector<Embedded> pictures = severalSizes();
    for (const quint16 checksumType : {1, 0}) {
        BgcodeFile file = BgcodeFile::sliced(thumbnailsOf(pictures));
        file.checksumType = checksumType;
        const QString path = ran(file.bytes());
        for (const Choice& choice : kChoices) {
            const QImage made = previewPicture(path, choice.side);
            const Embedded& own = pictures[choice.chosen];
            const QString what =
                QStringLiteral("side %1, checksums %2").arg(choice.side).arg(checksumType);
            ASSERT_EQ(made.size(), choice.shown) << qPrintable(what);
            if (choice.shown == own.source.size()) {
                EXPECT_EQ(made.convertToFormat(QImage::Format_ARGB32), own.expected())
                    << qPrintable(what);
            }
        }
        // The cache's 400 takes the yellow 440 x 240, with its alpha.
        const QImage cached = picture(path);
        EXPECT_EQ(cached.size(), QSize(400, 218));
        EXPECT_EQ(cached.pixel(200, 109), 0xFFE0E000);
        EXPECT_EQ(qAlpha(cached.pixel(0, 109)), 96);
        EXPECT_EQ(qAlpha(cached.pixel(399, 0)), 0);
    }
    // Thumbnails are looked for only before the G-code: a G-code cut short after them still
    // shows them, one written after the first G-code block is not seen, and a file without any
    // is intact.
    const QImage shaped = shapedPicture({100, 50}, 0x30A0E0);
    const QByteArray sliced = BgcodeFile::sliced({thumbnailOf({0, shaped})}).bytes();
    BgcodeFile late = BgcodeFile::sliced({});
    late.blocks.append(thumbnailOf({0, shaped}));
    EXPECT_EQ(previewPicture(ran(sliced.chopped(100)), 100).convertToFormat(QImage::Format_ARGB32),
              shaped);
    for (const QByteArray& bytes : {late.bytes(), BgcodeFile::sliced({}).bytes()}) {
        EXPECT_TRUE(isPlaceholder(picture(ran(bytes)), &makeOldVersionImage));
    }
    EXPECT_TRUE(logEntries().isEmpty());
}

TEST_F(BgcodeReader, GivesDamagedThumbnailsThePlaceholderAndSaysWhy) {
    suffix = ".bgcode";
    const QImage small = shapedPicture({16, 16}, 0xFF8000);
    const BgcodeBlock png = thumbnailOf({0, small});
    const auto with = [](BgcodeBlock block, auto change) {
        change(block);
        return BgcodeFile::sliced({block}).bytes();
    };
    const auto first = [](BgcodeBlock block) { return BgcodeFile{"GCDE", 1, 1, {block}}.bytes(); };
    BgcodeFile versionTwo = BgcodeFile::sliced({png});
    versionTwo.version = 2;
    BgcodeFile unknownChecksum = BgcodeFile::sliced({png});
    unknownChecksum.checksumType = 7;
    BgcodeBlock unknownType = png;
    unknownType.type = 9;
    BgcodeBlock beyond = png;
    beyond.declaredSize = 0xFFFFFFF0;
    // The largest picture data a thumbnail may hold is QOI's worst case at 2048 x 2048; this
    // block holds more, in a sparse file that is large enough for it.
    BgcodeBlock overLarge = bgcodeThumbnail(0, {16, 16}, {});
    overLarge.declaredSize = 30000000;
    const QString sparse = writeSparse("large.bgcode", first(overLarge), 10 + 8 + 6 + 30000000 + 4);
    run(sparse);

    const QString noBgcode = "the file is no binary G-code";
    const QString declares = "the picture is 50000 x 50000 pixels, not the 16 x 16 declared";
    // The file, the number, the message; whether an error row stands instead of a picture.
    const std::tuple<QString, int, QString, bool> cases[] = {
        {sparse, 10, "the thumbnail holds 30000000 bytes", false},
        {ran("JUNK" + versionTwo.bytes().mid(4)), 2, noBgcode, false},
        {ran("GCDE\x01"), 2, noBgcode, false},
        {ran(versionTwo.bytes()), 3, "binary G-code version 2 is not read", true},
        {ran(unknownChecksum.bytes()), 4, "checksum type 7 is not known", false},
        {ran(first(beyond)), 5, "a block at 10 reaches beyond the end of the file", false},
        {ran(first(png).left(15)), 5, "a block at 10 reaches beyond the end of the file", false},
        {ran(first(unknownType)), 6, "block type 9 at 10 is not known", false},
        {ran(with(bgcodeThumbnail(0, {4000, 4000}, pngFile(small)), [](BgcodeBlock&) {})), 7,
         "a thumbnail declares 4000 x 4000 pixels", false},
        {ran(with(bgcodeThumbnail(3, {16, 16}, pngFile(small)), [](BgcodeBlock&) {})), 8,
         "thumbnail format 3 is not known", false},
        {ran(with(png, [](BgcodeBlock& b) { b.compression = 1; })), 9,
         "the thumbnail is compressed", false},
        {ran(with(png, [](BgcodeBlock& b) { b.wrongChecksum = true; })), 11,
         "the thumbnail's checksum does not match", false},
        {ran(with(bgcodeThumbnail(0, {16, 16}, pngDeclaring(50000, 50000)), [](BgcodeBlock&) {})),
         12, declares, false},
        {ran(with(bgcodeThumbnail(2, {2048, 2048}, qoiFile(small, 4, QSize(2048, 2048))),
                  [](BgcodeBlock&) {})),
         12, "the picture holds 256 of its 4194304 pixels", false},
    };
    QStringList expected;
    for (const auto& [path, number, message, errorRow] : cases) {
        if (errorRow) {
            EXPECT_EQ(row(path).value_or(ThumbnailRow{}).thumPath, "error") << qPrintable(message);
        } else {
            EXPECT_TRUE(isPlaceholder(picture(path), &makeDamagedFileImage)) << qPrintable(message);
        }
        expected << report("myFileThumbnail::loadBgcode", number, message + "\n" + path);
    }
    EXPECT_EQ(logEntries(), expected);
}

} // namespace
