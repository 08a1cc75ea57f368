#include "preview_suffix.h"

#include "opc_package.h"

#include <QFileInfo>

#include <array>

namespace {

const std::array<QString, 8> kPreviewSuffixes = {
    QStringLiteral("kvrdlp"), QStringLiteral("lqx"),     QStringLiteral("fdg"),
    QStringLiteral("gf"),     QStringLiteral("photons"), QStringLiteral("photon"),
    QStringLiteral("svgx"),   QStringLiteral("voxalis")};

} // namespace

bool isPreviewSuffix(const QString& suffix) {
    for (const QString& preview : kPreviewSuffixes) {
        if (suffix.compare(preview, Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

bool takesPreviewPath(const QString& path) {
    const QString suffix = QFileInfo(path).suffix();
    if (isPreviewSuffix(suffix)) {
        return true;
    }
    return suffix.compare(QLatin1String("3mf"), Qt::CaseInsensitive) == 0 &&
           !OpcPackage(path).thumbnailPart().isEmpty();
}
