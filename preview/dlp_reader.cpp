#include "byte_reader.h"
#include "canvas.h"
#include "decoders.h"
#include "file_reads.h"
#include "log.h"
#include "preview_constants.h"
#include "readers.h"
#include "run_length.h"
#include "sampled_canvas.h"
#include "source_file.h"
#include "tone_mapping.h"

namespace {

constexpr char kOperation[] = "myFileThumbnail::loadKvrdlpAndLqx";

// Where the two header kinds keep the offsets the reader needs, and how they report.
struct DlpHeadLayout {
    int size;
    int previewOffsetAt;
    int guardOffsetAt;
    const char* shortMessage;
    int shortNumber;
    int guardNumber;
    const char* guardTemplate;
};

constexpr DlpHeadLayout kDlpHead{
    112, 60, 72, "DlpHead_t read less", 58, 67, "%1\n%2 size : %3 offset : %4"};
constexpr DlpHeadLayout kFdgHead{
    216, 44, 48, "FdgHead_t read less", 82, 91, "%1\n%2 : size %3 offset : %4"};

} // namespace

QImage decodeDlpPreview(int width, int height, const PreviewData& data, QSize shownAs) {
    const int side = qMax(width, height);
    SampledCanvas canvas(QSize(side, side), shownAs, kBackgroundColour);
    if (canvas.isNull()) {
        return canvas.image();
    }
    PreviewToneMapper tones;
    // The low bits 5, 1 and 5 are part of the channel values, so the run flag (green's lowest
    // bit) takes part in the key comparison.
    const bool painted =
        paintRunLength16(data, width, (side - width) / 2, (side - height) / 2, canvas,
                         [&tones](quint16 word, bool first) {
                             const int r = ((word >> 11) & 0x1F) * 8 + 5;
                             const int g = ((word >> 5) & 0x3F) * 4 + 1;
                             const int b = (word & 0x1F) * 8 + 5;
                             return first ? tones.key(r, g, b) : tones.map(r, g, b);
                         });
    return painted ? canvas.image() : QImage();
}

ReaderResult readDlpFamily(const QString& path, DlpHead kind, const PreviewTarget& target) {
    QFile file;
    if (auto refusal = openSource(file, path, kOperation, 41)) {
        return *refusal;
    }
    const qint64 fileSize = file.size();
    const DlpHeadLayout& layout = kind == DlpHead::Fdg ? kFdgHead : kDlpHead;

    QByteArray head;
    if (!readZeroFilled(file, layout.size, head)) {
        return ReaderResult::refused(
            givenUp(kOperation, layout.shortNumber, layout.shortMessage, path));
    }
    ByteReader headFields(head);
    const qint32 previewOffset = headFields.at(layout.previewOffsetAt).i32le();
    const qint32 guardOffset = headFields.at(layout.guardOffsetAt).i32le();
    // A negative preview offset cannot be sought to; it is as wrong as one past the end.
    if (guardOffset >= fileSize || previewOffset < 0) {
        return ReaderResult::damaged(
            located(kOperation, layout.guardNumber,
                    sizeAndOffset(layout.guardTemplate, path, fileSize,
                                  guardOffset >= fileSize ? guardOffset : previewOffset)));
    }
    file.seek(previewOffset);

    const std::optional<DlpPreviewHead_t> preview = readPreviewHead(file);
    if (!preview) {
        // The one line of the reader without its name and number.
        return ReaderResult::refused(
            {QString(), 0, onFile(QStringLiteral("DlpPreviewHead_t read less"), path), kInfoLabel});
    }
    const auto [width, height, dataOffset, dataSize] = *preview;
    if (!preview->sidesInRange()) {
        return ReaderResult::damaged(located(
            kOperation, 115,
            QStringLiteral("%1\n%2  wid : %3  hei : %4")
                .arg(kDocumentIsWrong, path, QString::number(width), QString::number(height))));
    }
    if (dataOffset < 0 || dataOffset >= fileSize || dataSize < 0) {
        return ReaderResult::damaged(
            located(kOperation, 128,
                    sizeAndOffset("%1\n%2 : size %3 offset : %4", path, fileSize, dataOffset)));
    }
    // Data the file cannot hold would come back short from the read, so it is refused before
    // any is read; the decoder then reads the data in pieces, only as far as the canvas goes.
    if (dataSize > fileSize - dataOffset) {
        return ReaderResult::refused(givenUp(kOperation, 138, "src_RGB_Buffer read less", path));
    }
    const int side = qMax(width, height);
    const FileData data(file, dataOffset, dataSize);
    const QImage canvas = decodeDlpPreview(width, height, data,
                                           fittedSize(QSize(side, side), target.shownSide(side)));
    if (data.failed()) {
        return ReaderResult::refused(givenUp(kOperation, 138, "src_RGB_Buffer read less", path));
    }
    return ReaderResult::decoded(canvas);
}
