#include "preview_suffix.h"

#include "file_formats.h"
#include "opc_package.h"

bool isPreviewSuffix(const QString& suffix) {
    const FileFormat* format = formatOfSuffix(suffix);
    return format != nullptr && readsEmbeddedPreview(format->reader);
}

bool takesPreviewPath(const QString& path) {
    const FileFormat* format = formatOfPath(path);
    if (format == nullptr) {
        return false;
    }
    return readsEmbeddedPreview(format->reader) ||
           (format->reader == FormatReader::ThreeMf && !OpcPackage(path).pictureParts().isEmpty());
}
