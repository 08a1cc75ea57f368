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

ReaderReport givenUp(const char* operation, int number, const char* message, const QString& path) {
    return located(operation, number, onFile(QLatin1String(message), path));
}

QString sizeAndOffset(const char* text, const QString& path, qint64 fileSize, qint64 offset) {
    return QString::fromLatin1(text).arg(kDocumentIsWrong, path, QString::number(fileSize),
                                         QString::number(offset));
}

ReaderResult ReaderResult::decoded(QImage picture) {
    if (picture.isNull()) {
        return nothing();
    }
    ReaderResult result(Picture::Decoded, false, std::nullopt);
    result.decoded_ = std::move(picture);
    return result;
}
