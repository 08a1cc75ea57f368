#include "byte_reader.h"
#include "canvas.h"
#include "decoders.h"
#include "file_reads.h"
#include "log.h"
#include "my_file_thumbnail.h"
#include "preview_constants.h"
#include "run_length.h"
#include "sampled_canvas.h"
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

// DlpPreviewHead_t: width, height, data offset, data size, then 16 bytes nobody reads.
constexpr int kPreviewHeadSize = 32;

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

void myFileThumbnail::loadKvrdlpAndLqx() {
    QFile file;
    if (!openSource(file, kOperation, 41)) {
        return;
    }
    const qint64 fileSize = file.size();
    const DlpHeadLayout& layout = headerKind == 1 ? kFdgHead : kDlpHead;

    QByteArray head;
    if (!readZeroFilled(file, layout.size, head)) {
        abandon(file, kOperation, layout.shortNumber, layout.shortMessage);
        return;
    }
    ByteReader headFields(head);
    const qint32 previewOffset = headFields.at(layout.previewOffsetAt).i32le();
    const qint32 guardOffset = headFields.at(layout.guardOffsetAt).i32le();
    // A negative preview offset cannot be sought to; it is as wrong as one past the end.
    if (guardOffset >= fileSize || previewOffset < 0) {
        file.close();
        recordDamaged(kOperation, layout.guardNumber,
                      sizeAndOffset(layout.guardTemplate, fileSize,
                                    guardOffset >= fileSize ? guardOffset : previewOffset));
        return;
    }
    file.seek(previewOffset);

    QByteArray previewHead;
    if (!readZeroFilled(file, kPreviewHeadSize, previewHead)) {
        file.close();
        writeLog(kInfoLabel + onFile(QStringLiteral("DlpPreviewHead_t read less")));
        return;
    }
    ByteReader previewFields(previewHead);
    const qint32 width = previewFields.i32le();
    const qint32 height = previewFields.i32le();
    const qint32 dataOffset = previewFields.i32le();
    const qint32 dataSize = previewFields.i32le();
    if (width < 1 || height < 1 || width > kMaxPreviewSide || height > kMaxPreviewSide) {
        file.close();
        recordDamaged(kOperation, 115,
                      QStringLiteral("%1\n%2  wid : %3  hei : %4")
                          .arg(kDocumentIsWrong, sourcePath, QString::number(width),
                               QString::number(height)));
        return;
    }
    if (dataOffset < 0 || dataOffset >= fileSize || dataSize < 0) {
        file.close();
        recordDamaged(kOperation, 128,
                      sizeAndOffset("%1\n%2 : size %3 offset : %4", fileSize, dataOffset));
        return;
    }
    // Data the file cannot hold would come back short from the read, so it is refused before
    // any is read; the decoder then reads the data in pieces, only as far as the canvas goes.
    if (dataSize > fileSize - dataOffset) {
        abandon(file, kOperation, 138, "src_RGB_Buffer read less");
        return;
    }
    const int side = qMax(width, height);
    const FileData data(file, dataOffset, dataSize);
    const QImage canvas =
        decodeDlpPreview(width, height, data, fittedSize(QSize(side, side), shownSide(side)));
    if (data.failed()) {
        abandon(file, kOperation, 138, "src_RGB_Buffer read less");
        return;
    }
    file.close();
    if (canvas.isNull()) {
        return;
    }
    outputImage = canvas;
    dbDeal();
}
