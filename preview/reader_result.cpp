#include "reader_result.h"

#include "log.h"
#include "preview_constants.h"

QString ReaderReport::line() const {
    const QString location = operation.isEmpty() ? QString() : logLocation(operation, number);
    return label + location + body;
}

ReaderReport located(const char* operation, int number, QString body) {
    return ReaderReport{QLatin1String(operation), number, std::move(body), kInfoLabel};
}

QString onFile(const QString& message, const QString& path) {
    return QStringLiteral("%1\n%2").arg(message, path);
}

QString sizeAndOffset(const char* text, const QString& path, qint64 fileSize, qint64 offset) {
    return QString::fromLatin1(text).arg(kDocumentIsWrong, path, QString::number(fileSize),
                                         QString::number(offset));
}

ReaderResult ReaderResult::decoded(QImage picture) {
    ReaderResult result(Picture::Decoded, false, std::nullopt);
    result.decoded_ = std::move(picture);
    return result;
}

ReaderResult ReaderResult::damaged(ReaderReport report) {
    return ReaderResult(Picture::DamagedPlaceholder, true, std::move(report));
}

ReaderResult ReaderResult::oldVersion(ReaderReport report) {
    return ReaderResult(Picture::OldVersionPlaceholder, true, std::move(report));
}

ReaderResult ReaderResult::withoutPreview() {
    return ReaderResult(Picture::OldVersionPlaceholder, false, std::nullopt);
}

ReaderResult ReaderResult::refused(ReaderReport report) {
    return ReaderResult(Picture::None, false, std::move(report));
}

ReaderResult ReaderResult::refusedWithErrorRow(ReaderReport report) {
    return ReaderResult(Picture::None, true, std::move(report));
}

ReaderResult ReaderResult::nothing() {
    return ReaderResult(Picture::None, false, std::nullopt);
}
