#include "dlp_writer.h"
#include "gf_writer.h"
#include "photons_writer.h"
#include "placeholder_images.h"
#include "preview_constants.h"
#include "preview_fixture.h"
#include "preview_picture.h"
#include "rle16_writer.h"
#include "svgx_writer.h"
#include "voxalis_writer.h"

#include <QFileInfo>

namespace {

// A DLP preview twice as wide as high: the top half keyed, the bottom half silhouette.
QByteArray wideDlp(int height) {
    DlpFile file;
    file.width = 2 * height;
    file.height = height;
    file.picture = Rle16Writer().run(0x0000, height * height).run(0x8410, height * height).bytes();
    return file.bytes();
}

QByteArray photons(int width, int height) {
    PhotonsFile file;
    file.width = width;
    file.height = height;
    file.pixels = photonsPixel(0, 0, 248).repeated(width * height);
    return file.bytes();
}

QByteArray gf(int width, int height) {
    GfFile file;
    file.width = width;
    file.height = height;
    file.pixels = gfPixel(200, 200, 200).repeated(width * height);
    return file.bytes();
}

QByteArray svgx(int side) {
    QImage picture(side, side, QImage::Format_RGB32);
    picture.fill(qRgb(0, 0, 255));
    SvgxFile file;
    file.preview = bmpFile(picture).leftJustified(5862, '\0');
    return file.bytes();
}

QByteArray voxalis(int width, int height, std::optional<qint32> reference = std::nullopt) {
    VoxalisFile file;
    file.width = width;
    file.height = height;
    file.reference = reference;
    file.picture = Rle16Writer().pixel(0x1234).run(0x0000, width * height - 1).bytes();
    return file.bytes();
}

QByteArray damagedDlp() {
    DlpFile file;
    file.guardOffset = 1 << 20;
    return file.bytes();
}

QImage placeholderAt(void (*make)(QImage&), int size) {
    QImage placeholder;
    make(placeholder);
    return placeholder.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

using PreviewPicture = PreviewJob;

TEST_F(PreviewPicture, FitsTheRequestedSizeButNeverEnlargesAPreview) {
    struct Case {
        const char* name;
        QByteArray bytes;
        int size;
        PreviewOutcome outcome;
        int side; // of the square picture; 0 for none
    };
    const Case cases[] = {
        {"shrunk.lqx", wideDlp(100), 128, PreviewOutcome::Preview, 128},
        {"own.lqx", wideDlp(100), 1024, PreviewOutcome::Preview, 200},
        {"shrunk.photons", photons(400, 200), 256, PreviewOutcome::Preview, 256},
        {"own.photons", photons(30, 10), 256, PreviewOutcome::Preview, 30},
        {"own.gf", gf(3, 3), 256, PreviewOutcome::Preview, 3},
        {"own.svgx", svgx(44), 512, PreviewOutcome::Preview, 44},
        // A project preview lies on a canvas of at least 400, which is its own picture.
        {"shrunk.voxalis", voxalis(100, 50), 256, PreviewOutcome::Preview, 256},
        {"own.voxalis", voxalis(100, 50), 1024, PreviewOutcome::Preview, 400},
        {"damaged.lqx", damagedDlp(), 128, PreviewOutcome::Placeholder, 128},
        {"old.voxalis", voxalis(1, 1, 0), 1024, PreviewOutcome::Placeholder, 1024},
        {"short.gf", QByteArray(100, '\0'), 256, PreviewOutcome::Refused, 0},
        {"noSize.lqx", wideDlp(100), 0, PreviewOutcome::Refused, 0},
    };
    for (const Case& c : cases) {
        const QString path = writeSource(c.name, c.bytes);
        PreviewOutcome outcome = PreviewOutcome::Preview;
        const QImage picture = previewPicture(path, c.size, &outcome);
        EXPECT_EQ(outcome, c.outcome) << c.name;
        EXPECT_EQ(picture.size(), QSize(c.side, c.side)) << c.name;
    }
    EXPECT_EQ(previewPicture(writeSource("d.lqx", damagedDlp()), 128),
              placeholderAt(&makeDamagedFileImage, 128));
    EXPECT_EQ(previewPicture(writeSource("o.voxalis", voxalis(1, 1, 0)), 1024),
              placeholderAt(&makeOldVersionImage, 1024));
    // Neither the database nor a picture folder was made.
    EXPECT_FALSE(QFileInfo::exists(testDataHome() + "/VOXALIS_Thumbnail/db"));
}

TEST_F(PreviewPicture, AtTheThumbnailSideItIsTheCachedPicture) {
    for (const auto& [name, bytes] :
         {std::pair{"wide.lqx", wideDlp(300)}, std::pair{"wide.photons", photons(802, 401)},
          std::pair{"small.voxalis", voxalis(100, 50)}}) {
        const QString path = writeSource(name, bytes);
        const QImage made = previewPicture(path, 400);
        run(path);
        EXPECT_EQ(made.convertToFormat(QImage::Format_RGB32),
                  picture(path).convertToFormat(QImage::Format_RGB32))
            << name;
    }
}

} // namespace
