#include "canvas.h"
#include "decoders.h"
#include "jpeg_scans.h"
#include "jpeg_writer.h"
#include "preview_constants.h"
#include "rle16_writer.h"
#include "sampled_canvas.h"
#include "tone_mapping.h"

#include <QBuffer>
#include <QImageWriter>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <functional>

namespace {

// A square canvas drawn as rows of characters: '.' the background, '#' grey 193 (0x8410 with
// the run flag), 'a' grey 131 (0x1000) and 'b' grey 132 (0x0007), whose levels hang on the
// low bits the decoder adds to each channel; spaces between rows are for reading only.
QImage canvasOf(int side, QByteArray rows) {
    const QRgb colours[] = {kBackgroundColour, 0xFFC1C1C1, 0xFF838383, 0xFF848484};
    rows.replace(' ', "");
    QImage canvas(side, side, QImage::Format_RGB888);
    for (int i = 0; i < side * side; ++i) {
        canvas.setPixel(i % side, i / side, colours[QByteArray(".#ab").indexOf(rows[i])]);
    }
    return canvas;
}

TEST(DlpPreview, WordZeroIsTheKeyAndThePreviewIsCentredOnItsSquare) {
    // The stream goes on past the canvas, whose bottom ends it; runs of 4,096 are the longest.
    QByteArray wide(200 * 200, '.');
    wide.replace(200 * 50 + 1, 200 * 150 - 1, QByteArray(200 * 150 - 1, '#'));
    // The decoder holds one piece of the data at a time; the last word of the first piece
    // starts a run whose run word opens the second, and last, piece on its own.
    const int zeros = static_cast<int>(kPreviewPieceSize / 2) - 1;
    QByteArray split(1024 * 1024, '.');
    split.replace(zeros, 10, "##########");
    const std::tuple<int, int, QByteArray, QByteArray> cases[] = {
        // The key word again is keyed; with the run flag it is another colour. The stream goes
        // on past width x height into the margin below the preview.
        {4, 1, Rle16Writer().pixel(0x8410).run(0x8410, 2).pixel(0x8410).pixel(0x1000).bytes(),
         ".... .##. a... ...."},
        // The whole first run is the key; a tall preview sits in the middle columns.
        {1, 5, Rle16Writer().run(0xFFFF, 3).pixel(0x0007).bytes(), "..... ..... ..... ..b.. ....."},
        {200, 100, Rle16Writer().pixel(0).run(0x8410, 200 * 160).bytes(), wide},
        {1024, 1024, QByteArray(2 * zeros, '\0') + Rle16Writer().run(0x8410, 10).bytes(), split},
        // Only the run word's low 12 bits count; a run flag on the last word paints that one
        // pixel, and an odd byte is no word.
        {5, 5, Rle16Writer().pixel(0).word(0x8430).word(0xF001).word(0x8430).bytes() + '\x20',
         ".###" + QByteArray(21, '.')},
    };
    for (const auto& [width, height, data, rows] : cases) {
        const int side = qMax(width, height);
        EXPECT_EQ(decodeDlpPreview(width, height, BytesData(data), QSize(side, side)),
                  canvasOf(side, rows))
            << width << " x " << height;
    }
    // Without a key even black is grey.
    EXPECT_EQ(PreviewToneMapper().map(0, 0, 0), 0xFF7F7F7Fu);
}

// A picture fitted into the thumbnail equals the whole picture scaled by Qt, which scaled
// photons pictures as RGB32: other sample lines than RGB888 for some sizes.
void expectScaledWhole(QSize source, const std::function<QImage(QSize)>& decode,
                       QImage::Format scaledAs = QImage::Format_RGB888) {
    const QImage whole = decode(source).convertToFormat(scaledAs);
    EXPECT_TRUE(decode(fittedSize(source, 400)) ==
                whole.scaled(400, 400, Qt::KeepAspectRatio, Qt::FastTransformation)
                    .convertToFormat(QImage::Format_RGB888))
        << source.width() << " x " << source.height();
}

TEST(SampledCanvas, ShowsWhatQtScalingOfTheWholePictureShows) {
    QRandomGenerator random(7);
    // Runs of up to 40 pixels of one colour wrap over the rows of a wide DLP preview.
    QVector<quint16> colours;
    while (colours.size() < 1500 * 900) {
        colours += QVector<quint16>(1 + random.bounded(40), random.bounded(65536));
    }
    const QByteArray runs = encodeRle16(colours);
    expectScaledWhole(QSize(1500, 1500), [&runs](QSize shown) {
        return decodeDlpPreview(1500, 900, BytesData(runs), shown);
    });
    // Random GF and photons pixels; the data of the largest GF pictures ends early, and a
    // photons row longer than a piece of the data is read in pieces.
    QByteArray pixels(8 << 20, '\0');
    random.fillRange(reinterpret_cast<quint32*>(pixels.data()), pixels.size() / 4);
    // Enlarged, kept, shrunk by the painter (to no less than half) and by Qt's own mapping
    // (beyond half), including one where only the short side decides the mapping path.
    for (const QSize source :
         {QSize(1, 1), QSize(7, 5), QSize(200, 100), QSize(399, 399), QSize(400, 400),
          QSize(401, 401), QSize(800, 800), QSize(801, 801), QSize(1234, 567), QSize(799, 3),
          QSize(3, 10000), QSize(300, 1700), QSize(1 << 20, 1)}) {
        const int w = source.width();
        const int h = source.height();
        // Every source pixel a colour no neighbour shares, so reading a wrong line shows.
        expectScaledWhole(source, [&](QSize shown) {
            SampledCanvas canvas(source, shown, 0);
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) {
                    canvas.fill(y, x, x + 1, (x * 2654435761u) ^ (y * 40503u));
                }
            }
            return canvas.image();
        });
        for (const auto decode : {&decodeGfPicture, &decodePhotonsPreview}) {
            expectScaledWhole(
                source, [&](QSize shown) { return decode(w, h, BytesData(pixels), shown); },
                decode == &decodeGfPicture ? QImage::Format_RGB888 : QImage::Format_RGB32);
        }
    }
}

} // namespace

namespace {

QByteArray jpegOf(bool progressive) {
    QImage image(40, 24, QImage::Format_RGB32);
    image.fill(qRgb(10, 200, 30));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(progressive);
    EXPECT_TRUE(writer.write(image));
    return bytes;
}

// Scans are counted from the segments alone, entropy-coded data, stuffed bytes and restart
// markers passed over; a JPEG whose structure breaks has none to count.
TEST(JpegScans, AreCountedWithoutDecoding) {
    const QByteArray ours = progressiveJpeg(300, 200, 5);
    QByteArray restarts = ours;
    // A restart marker inside the last scan's data is no segment.
    restarts.insert(restarts.size() - 4, "\xFF\xD3", 2);
    const std::pair<QByteArray, int> cases[] = {
        {jpegOf(false), 1},
        {jpegOf(true), 10}, // the encoder's script for three components
        {ours, 6},
        {restarts, 6},
        {ours.left(ours.size() - 2), 6}, // no end-of-image marker: the data just ends
        {ours.left(40), -1},             // cut inside a segment
        {ours.left(2) + "\x12" + ours.mid(2), -1},
        {QByteArray("GIF89a"), -1},
        {QByteArray(), -1},
    };
    for (const auto& [bytes, scans] : cases) {
        EXPECT_EQ(jpegScanCount(bytes), scans) << bytes.size();
    }
}

} // namespace
