#include "input_path.h"

#include <QFile>
#include <QUrl>

QString inputFilePath(const QString& argument) {
    const QUrl url(argument);
    if (url.scheme() != QLatin1String("file")) {
        return argument;
    }
    if (!url.host().isEmpty() &&
        url.host().compare(QLatin1String("localhost"), Qt::CaseInsensitive) != 0) {
        return {};
    }
    // QUrl decodes escapes as UTF-8 and puts U+FFFD for the bytes of any other name.
    return QFile::decodeName(
        QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
}
