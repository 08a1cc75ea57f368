#include "dlp_writer.h"
#include "files.h"
#include "log.h"
#include "preview_constants.h"
#include "preview_fixture.h"
#include "rle16_writer.h"
#include "thumbnail_job.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <sys/stat.h>

namespace {

constexpr char kReader[] = "myFileThumbnail::loadKvrdlpAndLqx";
constexpr quint16 kSilhouette = 0x8410; // with the run flag: grey 193

// A small consistent file: a 2 x 2 preview whose bottom row is the silhouette.
DlpFile twoByTwo(int headerKind = 0) {
    DlpFile file;
    file.headerKind = headerKind;
    file.width = 2;
    file.height = 2;
    file.picture = Rle16Writer().run(0x0000, 2).run(kSilhouette, 2).bytes();
    return file;
}

using DlpReader = PreviewJob;

TEST_F(DlpReader, PreviewIsCentredOnASquareCanvasAndScaledTo400) {
    // 200 x 100: the top half keyed, the bottom half silhouette; the canvas is 200 x 200 with
    // the preview in rows 50 to 149, so rows near 200 to 299 of the thumbnail are grey.
    DlpFile file;
    file.width = 200;
    file.height = 100;
    file.picture = Rle16Writer()
                       .run(0x0000, 4096)
                       .run(0x0000, 200 * 50 - 4096)
                       .run(kSilhouette, 4096)
                       .run(kSilhouette, 200 * 50 - 4096)
                       .bytes();
    const QString path = writeSource("wide.lqx", file.bytes());
    run(path);
    const QImage image = picture(path);
    ASSERT_EQ(image.size(), QSize(400, 400));
    EXPECT_EQ(image.pixel(0, 0), kBackgroundColour);
    EXPECT_EQ(image.pixel(200, 150), kBackgroundColour);
    EXPECT_EQ(image.pixel(0, 210), 0xFFC1C1C1u);
    EXPECT_EQ(image.pixel(399, 290), 0xFFC1C1C1u);
    EXPECT_EQ(image.pixel(399, 310), kBackgroundColour);
    EXPECT_TRUE(logEntries().isEmpty());
}

TEST_F(DlpReader, EverySuffixOfTheFamilyReadsItsOwnHeader) {
    for (const char* name : {"a.kvrdlp", "b.LQX", "c.Photon", "d.fdg"}) {
        const bool fdg = QString(name).endsWith("fdg");
        const QString path = writeSource(name, twoByTwo(fdg ? 1 : 0).bytes());
        run(path);
        const QImage image = picture(path);
        ASSERT_FALSE(image.isNull()) << name;
        EXPECT_EQ(cell(image, 2, 0, 0), kBackgroundColour) << name;
        EXPECT_EQ(cell(image, 2, 1, 1), 0xFFC1C1C1u) << name;
    }
}

TEST_F(DlpReader, DataSizeOneGivesAPlainCanvasThatIsStillRecorded) {
    DlpFile file = twoByTwo();
    file.dataSize = 1;
    const QString path = writeSource("tiny.lqx", file.bytes());
    run(path);
    const QImage image = picture(path);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(cell(image, 2, 1, 1), kBackgroundColour);
}

TEST_F(DlpReader, FileOfExactlyTheLimitIsReadOneByteMoreIsRefused) {
    const QString atLimit = writeSparse("limit.lqx", twoByTwo().bytes(), kFileSizeLimit);
    const QString over = writeSparse("over.lqx", twoByTwo().bytes(), kFileSizeLimit + 1);
    run(atLimit);
    run(over);
    EXPECT_FALSE(picture(atLimit).isNull());
    EXPECT_FALSE(row(over));
    EXPECT_EQ(logEntries(), QStringList{report(kReader, 41, "the file is too large\n" + over)});
}

TEST_F(DlpReader, GuardOffsetAtTheFileSizeRecordsTheDamagedPlaceholder) {
    DlpFile file = twoByTwo();
    const qint32 size = static_cast<qint32>(file.bytes().size());
    file.guardOffset = size;
    const QString path = writeSource("guard.lqx", file.bytes());
    run(path);
    EXPECT_EQ(
        logEntries(),
        QStringList{report(
            kReader, 67,
            documentIsWrong(QStringLiteral("%1 size : %2 offset : %2").arg(path).arg(size)))});
    const auto stored = row(path);
    ASSERT_TRUE(stored);
    // The error row was replaced by the placeholder's row with the file's real size and time.
    EXPECT_TRUE(stored->thumPath.endsWith("/guard_lqx.png"));
    EXPECT_EQ(stored->fileSize, static_cast<quint32>(size));
    EXPECT_EQ(stored->fileTime, QFileInfo(path).lastModified().toSecsSinceEpoch());
    EXPECT_NE(stored->thumTime, 0u);
    EXPECT_TRUE(isDamagedPlaceholder(picture(path)));
}

TEST_F(DlpReader, FdgGuardLineHasItsOwnShape) {
    DlpFile file = twoByTwo(1);
    file.guardOffset = 100000;
    const QString path = writeSource("guard.fdg", file.bytes());
    run(path);
    EXPECT_EQ(logEntries(),
              QStringList{report(kReader, 91,
                                 documentIsWrong(QStringLiteral("%1 : size %2 offset : 100000")
                                                     .arg(path)
                                                     .arg(file.bytes().size())))});
    EXPECT_TRUE(isDamagedPlaceholder(picture(path)));
}

TEST_F(DlpReader, PreviewSidesFromOneToTenThousandAreAccepted) {
    DlpFile widest = twoByTwo();
    widest.width = 10000;
    widest.height = 1;
    const QString accepted = writeSource("widest.lqx", widest.bytes());
    DlpFile tooWide = twoByTwo();
    tooWide.width = 10001;
    tooWide.height = 5;
    const QString refused = writeSource("too-wide.lqx", tooWide.bytes());
    DlpFile empty = twoByTwo();
    empty.height = 0;
    const QString flat = writeSource("flat.lqx", empty.bytes());

    run(accepted);
    run(refused);
    run(flat);
    EXPECT_FALSE(picture(accepted).isNull());
    EXPECT_FALSE(isDamagedPlaceholder(picture(accepted)));
    EXPECT_TRUE(isDamagedPlaceholder(picture(refused)));
    EXPECT_TRUE(isDamagedPlaceholder(picture(flat)));
    EXPECT_EQ(
        logEntries(),
        (QStringList{report(kReader, 115, documentIsWrong(refused + "  wid : 10001  hei : 5")),
                     report(kReader, 115, documentIsWrong(flat + "  wid : 2  hei : 0"))}));
}

TEST_F(DlpReader, OffsetsAndSizesThatCannotBeInTheFileAreDamage) {
    DlpFile pastEnd = twoByTwo();
    pastEnd.dataOffset = 5000;
    DlpFile negativeData = twoByTwo();
    negativeData.dataOffset = -4;
    DlpFile negativeSize = twoByTwo();
    negativeSize.dataSize = -2;
    DlpFile negativePreview = twoByTwo();
    negativePreview.previewOffset = -1;
    const qint64 size = twoByTwo().bytes().size();
    const QString a = writeSource("past-end.lqx", pastEnd.bytes());
    const QString b = writeSource("negative-data.lqx", negativeData.bytes());
    const QString c = writeSource("negative-size.lqx", negativeSize.bytes());
    const QString d = writeSource("negative-preview.lqx", negativePreview.bytes());
    for (const QString& path : {a, b, c, d}) {
        run(path);
        EXPECT_TRUE(isDamagedPlaceholder(picture(path))) << qPrintable(path);
    }
    const QString sizeAndOffset = QStringLiteral("%1 : size %2 offset : %3");
    EXPECT_EQ(
        logEntries(),
        (QStringList{
            report(kReader, 128, documentIsWrong(sizeAndOffset.arg(a).arg(size).arg(5000))),
            report(kReader, 128, documentIsWrong(sizeAndOffset.arg(b).arg(size).arg(-4))),
            report(kReader, 128, documentIsWrong(sizeAndOffset.arg(c).arg(size).arg(144))),
            report(kReader, 67,
                   documentIsWrong(QStringLiteral("%1 size : %2 offset : -1").arg(d).arg(size)))}));
}

TEST_F(DlpReader, ShortReadsAreLoggedAndLeaveNoRowSoTheFileIsTriedAgain) {
    DlpFile dataPastEnd = twoByTwo();
    dataPastEnd.dataSize = 1 << 30; // more than the file holds: refused before any allocation
    DlpFile previewPastEnd = twoByTwo();
    previewPastEnd.previewOffset = 100000;
    const QString shortDlp = writeSource("short.lqx", QByteArray(111, '\0'));
    const QString shortFdg = writeSource("short.fdg", QByteArray(215, '\0'));
    const QString data = writeSource("data.lqx", dataPastEnd.bytes());
    const QString preview = writeSource("preview.lqx", previewPastEnd.bytes());
    for (const QString& path : {shortDlp, shortFdg, data, preview}) {
        run(path);
        EXPECT_FALSE(row(path)) << qPrintable(path);
    }
    EXPECT_EQ(logEntries(), (QStringList{report(kReader, 58, "DlpHead_t read less\n" + shortDlp),
                                         report(kReader, 82, "FdgHead_t read less\n" + shortFdg),
                                         report(kReader, 138, "src_RGB_Buffer read less\n" + data),
                                         kInfoLabel + "DlpPreviewHead_t read less\n" + preview}));
}

TEST_F(DlpReader, NoSlicedReaderOpensAFifo) {
    // Opening a FIFO blocks until a writer comes: it must be refused like a file that cannot
    // be opened, for every reader, without a line or a row.
    for (const char* suffix : {"lqx", "gf", "photons", "svgx", "voxalis"}) {
        const QString path = testDataHome() + "/sources/fifo." + suffix;
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
        ASSERT_EQ(mkfifo(QFile::encodeName(path).constData(), 0600), 0) << suffix;
        run(path);
        EXPECT_FALSE(row(path)) << suffix;
    }
    EXPECT_TRUE(logEntries().isEmpty());
}

TEST_F(DlpReader, ChangedFileUpdatesItsOneRow) {
    const QString path = writeSource("changing.lqx", twoByTwo().bytes());
    run(path);
    DlpFile bigger = twoByTwo();
    bigger.trailing = QByteArray(10, '\0');
    writeFile(path, bigger.bytes());
    run(path); // marks the row stale
    EXPECT_EQ(row(path)->thumPath, "1");
    run(path);
    EXPECT_TRUE(QFileInfo(row(path)->thumPath).isFile()) << qPrintable(row(path)->thumPath);
    EXPECT_EQ(row(path)->fileSize, static_cast<quint32>(bigger.bytes().size()));
    EXPECT_EQ(rowCount(), 1);
}

TEST_F(DlpReader, PlaceholderThatCannotBeSavedLeavesTheErrorRow) {
    DlpFile file = twoByTwo();
    file.guardOffset = 1 << 20;
    const QString path = writeSource("unsaved.lqx", file.bytes());
    // A folder where the picture file would go.
    const QString blocked = dataRoot() + "/db/thumbnailImage/0/unsaved_lqx.png";
    ASSERT_TRUE(QDir().mkpath(blocked));
    run(path);
    ASSERT_TRUE(row(path));
    EXPECT_EQ(row(path)->thumPath, "error");
    EXPECT_EQ(row(path)->thumTime, 0u);
    EXPECT_EQ(logEntries().last(),
              kInfoLabel + "image cannot save---myFileThumbnail::dbDeal : 1032 " + blocked);
}

TEST_F(DlpReader, SameNamedFilesInTwoFoldersKeepTheirOwnPictures) {
    DlpFile keyed = twoByTwo();
    keyed.picture = Rle16Writer().run(0x0000, 4).bytes();
    const QString plain = writeSource("one/part.lqx", keyed.bytes());
    const QString silhouette = writeSource("two/part.lqx", twoByTwo().bytes());
    run(plain);
    run(silhouette);
    EXPECT_NE(row(plain)->thumPath, row(silhouette)->thumPath);
    EXPECT_EQ(cell(picture(plain), 2, 1, 1), kBackgroundColour);
    EXPECT_EQ(cell(picture(silhouette), 2, 1, 1), 0xFFC1C1C1u);
}

} // namespace
