#include "embedded_fixture.h"
#include "gcode_writer.h"
#include "preview_fixture.h"
#include "preview_picture.h"
#include "threemf_writer.h"

namespace {

constexpr char kKeywords[][14] = {"thumbnail", "thumbnail_JPG", "thumbnail_QOI"};

GcodePreview block(const Embedded& picture) {
    GcodePreview preview;
    preview.keyword = kKeywords[picture.format];
    preview.size = picture.source.size();
    preview.picture = picture.bytes();
    return preview;
}

GcodeFile gcodeOf(const std::vector<Embedded>& pictures) {
    GcodeFile file;
    for (const Embedded& picture : pictures) {
        file.previews.append(block(picture));
    }
    return file;
}

// The fitted picture a side gets, and what the picture at its own size is.
void expectChosen(const QImage& made, const Embedded& chosen, QSize shown, const QString& what) {
    ASSERT_EQ(made.size(), shown) << qPrintable(what);
    const QImage own = chosen.expected();
    if (shown == own.size()) {
        EXPECT_EQ(made.convertToFormat(QImage::Format_ARGB32), own) << qPrintable(what);
        return;
    }
    // Shrunk smoothly: the opaque block keeps its colour in its middle, the corners stay clear.
    EXPECT_EQ(made.pixel(shown.width() / 2, shown.height() / 2),
              own.pixel(own.width() / 2, own.height() / 2))
        << qPrintable(what);
    EXPECT_EQ(qAlpha(made.pixel(shown.width() - 1, 0)), 0) << qPrintable(what);
}

using GcodeReader = PreviewJob;

// The ways slicers and tools write their blocks; each file's one picture comes back exact.
TEST_F(GcodeReader, ReadsEveryVariantWithinTheStartOrTheEndAndNothingBetween) {
    const QImage shaped = shapedPicture({120, 60}, 0x30A0E0);
    const GcodePreview png = block({0, shaped});
    const GcodePreview qoi = block({2, shaped});
    GcodeFile orca = gcodeOf({{0, shaped}});
    orca.thumbnailBlock = true;
    GcodeFile windows = gcodeOf({{2, shaped}});
    windows.lineEnd = "\r\n";
    GcodePreview shortLines = png;
    shortLines.lineLength = 1;
    GcodeFile threeChannels;
    threeChannels.previews = {qoi};
    threeChannels.previews[0].picture = qoiFile(shaped.convertToFormat(QImage::Format_RGB32), 3);
    // 6 MiB of moves: the previews after them lie in the last mebibyte that is read.
    GcodeFile appended = gcodeOf({{2, shaped}});
    appended.previewsAtEnd = true;
    appended.moves = GcodeFile::gcodeMoves(200000);
    struct Case {
        const char* name;
        QByteArray bytes;
        QImage expected;
    };
    const Case cases[] = {
        {"png", gcodeOf({{0, shaped}}).bytes(), shaped},
        {"orca", orca.bytes(), shaped},
        {"crlf", windows.bytes(), shaped},
        {"one-character-lines", GcodeFile{{shortLines}, false, false, "\n", {}}.bytes(), shaped},
        {"qoi-rgb", threeChannels.bytes(), shaped.convertToFormat(QImage::Format_RGB32)},
        {"appended", appended.bytes(), shaped},
    };
    for (const Case& c : cases) {
        const QImage made = previewPicture(writeSource(QString(c.name) + ".gcode", c.bytes), 120);
        EXPECT_EQ(made.convertToFormat(QImage::Format_ARGB32),
                  c.expected.convertToFormat(QImage::Format_ARGB32))
            << c.name;
    }

    // A print far over the sliced files' size limit still has its picture; one whose preview
    // lies between the parts that are read has none, and nothing says it is damaged.
    suffix = ".gcode";
    const QByteArray start = gcodeOf({{0, shaped}}).bytes();
    const QString huge = writeSparse("huge.gcode", start, qint64{600} << 20);
    QByteArray middle = GcodeFile::gcodeMoves(200000);
    middle += gcodeOf({{0, shaped}}).bytes() + GcodeFile::gcodeMoves(200000);
    const QString between = ran(middle);
    const QString none = ran(GcodeFile{}.bytes());
    run(huge);
    expectChosen(picture(huge), {0, shaped}, {400, 200}, "huge");
    for (const QString& path : {between, none}) {
        EXPECT_TRUE(isPlaceholder(picture(path), &makeOldVersionImage)) << qPrintable(path);
    }
    EXPECT_TRUE(logEntries().isEmpty());
}

TEST_F(GcodeReader, GivesDamagedPreviewsThePlaceholderAndSaysWhy) {
    suffix = ".gcode";
    const QImage small = shapedPicture({16, 16}, 0xFF8000);
    const GcodePreview png = block({0, small});
    const auto with = [](GcodePreview preview, auto change) {
        change(preview);
        return GcodeFile{{preview}, false, false, "\n", GcodeFile::gcodeMoves(20)}.bytes();
    };
    const QByteArray plain = with(png, [](GcodePreview&) {});
    const QString pngLength = QString::number(png.picture.toBase64().size());
    QByteArray noLength = plain;
    noLength.replace(" " + pngLength.toLatin1() + "\n", "\n");
    QByteArray corrupt = png.picture;
    corrupt[corrupt.indexOf("IDAT") + 6] = '\xFF';
    const QByteArray huge = with(png, [](GcodePreview& p) { p.declaredLength = 1000000000000; });
    const QString declaresMore = "the picture is 50000 x 50000 pixels, not the 16 x 16 declared";
    const std::tuple<QByteArray, int, QString> cases[] = {
        {noLength, 2, "a preview's begin line is not WIDTHxHEIGHT LENGTH"},
        {with(png,
              [](GcodePreview& p) {
                  p.size = {50000, 50000};
              }),
         3, "a preview declares 50000 x 50000 pixels"},
        {huge, 4,
         QString("a preview declares 1000000000000 characters in a file of %1 bytes")
             .arg(huge.size())},
        // The file ends inside the block, or a move interrupts it.
        {GcodeFile{{png}, false, true, "\n", GcodeFile::gcodeMoves(2)}.bytes().chopped(30), 5,
         "the preview is cut off"},
        {with(png, [](GcodePreview& p) { p.ended = false; }), 5, "the preview is cut off"},
        {with(png, [](GcodePreview& p) { p.declaredLength = p.picture.toBase64().size() + 1; }), 6,
         "the preview holds " + pngLength + " characters, not the " +
             QString::number(pngLength.toInt() + 1) + " declared"},
        {with(png, [](GcodePreview& p) { p.base64 = "*!*!"; }), 7, "the preview is no base64"},
        {with(png, [](GcodePreview& p) { p.picture = pngDeclaring(50000, 50000); }), 8,
         declaresMore},
        {with(png, [&](GcodePreview& p) { p.picture = jpegFile(small); }), 8,
         "the picture is no PNG"},
        {with(png, [&](GcodePreview& p) { p.picture = corrupt; }), 8,
         "the picture cannot be decoded"},
        {with(block({2, small}),
              [&](GcodePreview& p) {
                  p.size = {2048, 2048};
                  p.picture = qoiFile(small, 4, QSize(2048, 2048));
              }),
         8, "the picture holds 256 of its 4194304 pixels"},
        {with(block({2, small}), [&](GcodePreview& p) { p.picture = pngFile(small); }), 8,
         "the picture is no QOI"},
        {with(block({1, small}), [&](GcodePreview& p) { p.picture = pngFile(small); }), 8,
         "the picture is no JPEG"},
    };
    QStringList expected;
    for (const auto& [bytes, number, message] : cases) {
        const QString path = ran(bytes);
        EXPECT_TRUE(isPlaceholder(picture(path), &makeDamagedFileImage)) << qPrintable(message);
        expected << report("myFileThumbnail::loadGcode", number, message + "\n" + path);
    }
    EXPECT_EQ(logEntries(), expected);
}

} // namespace
