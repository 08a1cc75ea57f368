#include "preview_suffix.h"

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
