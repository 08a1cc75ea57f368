#include "data_root.h"

#include <QDir>
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
    const QString location = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    // Qt takes a relative XDG_DATA_HOME as it is, which would put the cache in whatever folder
    // the host was started from and name pictures by relative paths that are never served. The
    // XDG rules say to ignore such a value and use the default instead.
    if (QDir::isRelativePath(location)) {
        return dataRootFor(QDir::homePath() + QStringLiteral("/.local/share"));
    }
    return dataRootFor(location);
}
