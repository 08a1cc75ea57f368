#include "preview_suffix.h"

#include "file_formats.h"
#include "opc_package.h"

#include <QFileInfo>

bool isPreviewSuffix(const QString& suffix) {
    const FileFormat* format = formatOfSuffix(suffix);
    return format != nullptr && readsEmbeddedPreview(format->reader);
}

bool takesPreviewPath(const QString& path) {
    const QString suffix = QFileInfo(path).suffix();
    if (isPreviewSuffix(suffix)) {
        return true;
    }
    const FileFormat* format = formatOfSuffix(suffix);
    return format != nullptr && format->reader == FormatReader::ThreeMf &&
           !OpcPackage(path).thumbnailPart().isEmpty();
}
