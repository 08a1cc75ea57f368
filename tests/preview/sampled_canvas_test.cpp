#include "canvas.h"
#include "decoders.h"
#include "gf_writer.h"
#include "photons_writer.h"
#include "rle16_writer.h"
#include "sampled_canvas.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>

namespace {

// A colour for every source pixel that no neighbour shares, so a shown pixel that reads the
// wrong source line shows.
QRgb colourOf(int x, int y) {
    const QRgb mixed = (static_cast<QRgb>(x) * 2654435761u) ^ (static_cast<QRgb>(y) * 40503u);
    return 0xFF000000u | (mixed & 0xFFFFFFu);
}

// What fitting the whole picture into the thumbnail with Qt gives, next to the sampled canvas.
void expectSameAsQt(QSize source) {
    QImage whole(source, QImage::Format_RGB888);
    const QSize shown = fittedSize(source, 400);
    SampledCanvas sampled(source, shown, 0xFF000000);
    for (int y = 0; y < source.height(); ++y) {
        for (int x = 0; x < source.width(); ++x) {
            whole.setPixel(x, y, colourOf(x, y));
            sampled.fill(y, x, x + 1, colourOf(x, y));
        }
    }
    const QImage expected = whole.scaled(400, 400, Qt::KeepAspectRatio, Qt::FastTransformation);
    ASSERT_EQ(sampled.image().size(), expected.size()) << source.width() << "x" << source.height();
    ASSERT_EQ(sampled.image().format(), expected.format());
    for (int y = 0; y < expected.height(); ++y) {
        for (int x = 0; x < expected.width(); ++x) {
            ASSERT_EQ(sampled.image().pixel(x, y), expected.pixel(x, y))
                << "source " << source.width() << "x" << source.height() << ", shown pixel " << x
                << "," << y;
        }
    }
}

TEST(SampledCanvas, ShowsWhatQtScalingShowsOnEveryScalingPath) {
    // Enlarged, kept, shrunk by the painter (to no less than half) and by Qt's own mapping
    // (beyond half), including one where only the short side decides the mapping path.
    for (const QSize source :
         {QSize(1, 1), QSize(3, 3), QSize(7, 5), QSize(200, 100), QSize(399, 399), QSize(400, 400),
          QSize(401, 401), QSize(555, 555), QSize(800, 800), QSize(801, 801), QSize(1234, 567),
          QSize(1999, 1999), QSize(799, 3), QSize(10000, 3), QSize(3, 10000), QSize(1, 10000)}) {
        expectSameAsQt(source);
    }
}

TEST(SampledCanvas, SpansAreClippedToThePicture) {
    SampledCanvas canvas(QSize(4, 4), QSize(4, 4), 0xFF000000);
    canvas.fill(-1, 0, 4, 0xFFFFFFFF);
    canvas.fill(4, 0, 4, 0xFFFFFFFF);
    canvas.fill(1, -5, 1, 0xFFFF0000);
    canvas.fill(2, 3, 1000, 0xFF00FF00);
    canvas.fill(3, 2, 2, 0xFFFFFFFF);
    const QImage& image = canvas.image();
    EXPECT_EQ(image.pixel(0, 0), 0xFF000000);
    EXPECT_EQ(image.pixel(0, 1), 0xFFFF0000);
    EXPECT_EQ(image.pixel(1, 1), 0xFF000000);
    EXPECT_EQ(image.pixel(2, 2), 0xFF000000);
    EXPECT_EQ(image.pixel(3, 2), 0xFF00FF00);
    EXPECT_EQ(image.pixel(2, 3), 0xFF000000);
}

// A random 5-6-5 picture of `pixels` pixels, as run-length words.
QByteArray randomRuns(int pixels) {
    QRandomGenerator random(7);
    QVector<quint16> colours;
    while (colours.size() < pixels) {
        const quint16 colour = static_cast<quint16>(random.bounded(65536));
        const int run = 1 + random.bounded(40);
        for (int i = 0; i < run && colours.size() < pixels; ++i) {
            colours.append(colour);
        }
    }
    return encodeRle16(colours);
}

TEST(SampledCanvas, LargePreviewsDecodeAsIfScaledWhole) {
    // A wide DLP preview whose runs wrap over rows, and a tall GF picture.
    const QByteArray runs = randomRuns(1500 * 900);
    const QImage dlpWhole = decodeDlpPreview(1500, 900, BytesData(runs), QSize(1500, 1500));
    EXPECT_EQ(decodeDlpPreview(1500, 900, BytesData(runs), QSize(400, 400)),
              dlpWhole.scaled(400, 400, Qt::KeepAspectRatio, Qt::FastTransformation));

    QRandomGenerator random(11);
    QByteArray pixels;
    for (int i = 0; i < 300 * 1700; ++i) {
        pixels += gfPixel(random.bounded(256), random.bounded(256), random.bounded(256));
    }
    // Part of the picture lies beyond the data and keeps the background colour.
    pixels.chop(6 * 300 * 200);
    const QImage gfWhole = decodeGfPicture(300, 1700, BytesData(pixels), QSize(300, 1700));
    const QSize fitted = fittedSize(QSize(300, 1700), 400);
    EXPECT_EQ(decodeGfPicture(300, 1700, BytesData(pixels), fitted),
              gfWhole.scaled(400, 400, Qt::KeepAspectRatio, Qt::FastTransformation));

    // Photons pictures were RGB32 when Qt scaled them, which samples other lines than RGB888
    // for some sizes; a row longer than a piece of the data is read in pieces.
    for (const QSize source : {QSize(401, 401), QSize(44, 44), QSize(1 << 20, 1)}) {
        QByteArray words;
        for (qint64 i = 0; i < qint64{source.width()} * source.height(); ++i) {
            words += photonsPixel(random.bounded(256), random.bounded(256), random.bounded(256));
        }
        const QImage whole =
            decodePhotonsPreview(source.width(), source.height(), BytesData(words), source);
        EXPECT_EQ(decodePhotonsPreview(source.width(), source.height(), BytesData(words),
                                       fittedSize(source, 400)),
                  whole.convertToFormat(QImage::Format_RGB32)
                      .scaled(400, 400, Qt::KeepAspectRatio, Qt::FastTransformation)
                      .convertToFormat(QImage::Format_RGB888))
            << source.width() << "x" << source.height();
    }
}

} // namespace
