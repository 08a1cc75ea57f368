#include "file_formats.h"

#include <QFileInfo>
#include <QString>

const FileFormat* formatOfSuffix(const QString& suffix) {
    for (const FileFormat& format : fileFormats()) {
        if (suffix.compare(QLatin1String(format.suffix), Qt::CaseInsensitive) == 0) {
            return &format;
        }
    }
    return nullptr;
}

const FileFormat* formatOfPath(const QString& path) {
    return formatOfSuffix(QFileInfo(path).suffix());
}
