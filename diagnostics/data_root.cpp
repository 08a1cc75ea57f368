#include "data_root.h"

#include <QStandardPaths>
#include <QStringList>

namespace {
const QString kDataFolder = QStringLiteral("VOXALIS_Thumbnail");
}

QString dataRootFor(const QString& genericDataLocation) {
    // Empty parts are kept, so a location ending in "/" has an empty last element and gets
    // the folder appended.
    if (genericDataLocation.split(QLatin1Char('/')).last() == kDataFolder) {
        return genericDataLocation;
    }
    return genericDataLocation + QLatin1Char('/') + kDataFolder;
}

QString writableDataRoot() {
    return dataRootFor(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
}
