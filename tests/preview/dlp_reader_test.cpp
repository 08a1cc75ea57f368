#include "preview_constants.h"
#include "preview_fixture.h"

#include <QDir>

#include <sys/stat.h>

namespace {

constexpr char kReader[] = "myFileThumbnail::loadKvrdlpAndLqx";

// dlp(1) is 152 bytes: a 112-byte head, the preview head and 8 bytes of data; with the
// 216-byte head of "fdg" 256 bytes.
using DlpReader = PreviewJob;

TEST_F(DlpReader, ConsistentFilesAreCentredOnASquareScaledTo400) {
    // The right cell of a 2 x 1 preview is the silhouette; a preview that is too thin to show
    // or has no whole word of data leaves the background.
    const std::pair<QString, QRgb> files[] = {
        {writeSource("a.kvrdlp", dlp(1)), 0xFFC1C1C1},
        {writeSource("b.LQX", dlp(1)), 0xFFC1C1C1},
        {writeSource("c.Photon", dlp(1)), 0xFFC1C1C1},
        {writeSource("d.fdg", dlp(1, &DlpFile::headerKind, 1)), 0xFFC1C1C1},
        {writeSparse("limit.lqx", dlp(1), kFileSizeLimit), 0xFFC1C1C1},
        {writeSource("widest.lqx", dlp(1, &DlpFile::width, 10000)), kBackgroundColour},
        {writeSource("tallest.lqx", dlp(1, &DlpFile::height, 10000)), kBackgroundColour},
        {writeSource("narrowest.lqx", dlp(1, &DlpFile::width, 1)), kBackgroundColour},
        {writeSource("tiny.lqx", dlp(1, &DlpFile::dataSize, 1)), kBackgroundColour},
        // A preview head that ends the file: 144 x 8 with no data.
        {writeSource("end.lqx", dlp(1, &DlpFile::previewOffset, 120)), kBackgroundColour},
    };
    for (const auto& [path, right] : files) {
        run(path);
        const QImage image = picture(path);
        ASSERT_EQ(image.size(), QSize(400, 400)) << qPrintable(path);
        EXPECT_EQ(image.pixel(300, 100), right) << qPrintable(path);
    }
    EXPECT_EQ(logEntries(), QStringList());
}

TEST_F(DlpReader, InconsistentFilesAreDamagedAndUnreadableOnesLeaveNoRowToBeTriedAgain) {
    QStringList expected;
    const auto damaged = [&](const char* name, const QByteArray& file, int number,
                             const char* tail) {
        const QString path = writeSource(name, file);
        run(path);
        EXPECT_TRUE(isPlaceholder(picture(path), &makeDamagedFileImage)) << name;
        expected << report(kReader, number, documentIsWrong(QString(tail).arg(path)));
    };
    // A whole head of zeros puts the preview head at 0.
    damaged("zero.lqx", QByteArray(112, '\0'), 115, "%1  wid : 0  hei : 0");
    damaged("guard.lqx", dlp(1, &DlpFile::guardOffset, 152), 67, "%1 size : 152 offset : 152");
    damaged("guard.fdg", dlp(1, &DlpFile::guardOffset, 100000, 1), 91,
            "%1 : size 256 offset : 100000");
    damaged("preview.lqx", dlp(1, &DlpFile::previewOffset, -1), 67, "%1 size : 152 offset : -1");
    damaged("wide.lqx", dlp(1, &DlpFile::width, 10001), 115, "%1  wid : 10001  hei : 1");
    damaged("flat.lqx", dlp(1, &DlpFile::height, 0), 115, "%1  wid : 2  hei : 0");
    damaged("end.lqx", dlp(1, &DlpFile::dataOffset, 152), 128, "%1 : size 152 offset : 152");
    damaged("before.lqx", dlp(1, &DlpFile::dataOffset, -4), 128, "%1 : size 152 offset : -4");
    damaged("size.lqx", dlp(1, &DlpFile::dataSize, -2), 128, "%1 : size 152 offset : 144");

    // Number 0: a line without the reader's name.
    const auto refused = [&](const QString& path, int number, const char* message) {
        run(path);
        EXPECT_FALSE(row(path)) << qPrintable(path);
        const QString line = message + ('\n' + path);
        expected << (number == 0 ? kInfoLabel + line : report(kReader, number, line));
    };
    refused(writeSparse("over.lqx", dlp(1), kFileSizeLimit + 1), 41, "the file is too large");
    refused(writeSource("short.lqx", QByteArray(111, '\0')), 58, "DlpHead_t read less");
    refused(writeSource("short.fdg", QByteArray(215, '\0')), 82, "FdgHead_t read less");
    // More data than the file holds is refused, before any is allocated.
    refused(writeSource("more.lqx", dlp(1, &DlpFile::dataSize, 9)), 138,
            "src_RGB_Buffer read less");
    refused(writeSource("far.lqx", dlp(1, &DlpFile::previewOffset, 100000)), 0,
            "DlpPreviewHead_t read less");
    // Opening a FIFO would block until a writer comes: the readers refuse it like a file that
    // cannot be opened, without a line or a row.
    const QString fifo = testDataHome() + "/sources/fifo.lqx";
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    run(fifo);
    EXPECT_FALSE(row(fifo));
    // A folder where the placeholder's picture would go: the error row stays.
    const QString unsaved = writeSource("unsaved.lqx", dlp(1, &DlpFile::guardOffset, 1 << 20));
    const QString blocked = settledDataRoot() + "/db/thumbnailImage/0/unsaved_lqx.png";
    ASSERT_TRUE(QDir().mkpath(blocked));
    run(unsaved);
    EXPECT_EQ(row(unsaved).value_or(ThumbnailRow{}).thumPath, "error");
    EXPECT_EQ(row(unsaved).value_or(ThumbnailRow{}).thumTime, 0u);
    expected << report(kReader, 67, documentIsWrong(unsaved + " size : 152 offset : 1048576"))
             << kInfoLabel + "image cannot save---myFileThumbnail::dbDeal : 1032 " + blocked;
    EXPECT_EQ(logEntries(), expected);
}

} // namespace
