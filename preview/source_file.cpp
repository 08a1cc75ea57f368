#include "source_file.h"

#include "byte_reader.h"
#include "file_reads.h"
#include "preview_constants.h"

#include <QFileInfo>

namespace {

constexpr int kPreviewHeadSize = 32;

} // namespace

std::optional<ReaderResult> openSource(QFile& file, const QString& path, const char* operation,
                                       int tooLargeNumber, bool errorRowWhenTooLarge) {
    const QFileInfo source(path);
    if (source.size() > kFileSizeLimit) {
        ReaderReport report = located(operation, tooLargeNumber,
                                      onFile(QStringLiteral("the file is too large"), path));
        return errorRowWhenTooLarge ? ReaderResult::refusedWithErrorRow(std::move(report))
                                    : ReaderResult::refused(std::move(report));
    }
    if (!openRegularFile(file, path)) {
        return ReaderResult::nothing();
    }
    return std::nullopt;
}

bool openRegularFile(QFile& file, const QString& path) {
    if (!QFileInfo(path).isFile()) {
        return false;
    }
    file.setFileName(path);
    return file.open(QIODevice::ReadOnly);
}

bool DlpPreviewHead_t::sidesInRange() const {
    return width >= 1 && height >= 1 && width <= kMaxPreviewSide && height <= kMaxPreviewSide;
}

std::optional<DlpPreviewHead_t> readPreviewHead(QFile& file) {
    QByteArray bytes;
    if (!readZeroFilled(file, kPreviewHeadSize, bytes)) {
        return std::nullopt;
    }
    ByteReader fields(bytes);
    DlpPreviewHead_t head;
    head.width = fields.i32le();
    head.height = fields.i32le();
    head.dataOffset = fields.i32le();
    head.dataSize = fields.i32le();
    return head;
}
