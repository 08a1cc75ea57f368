#include "placeholder_images.h"

#include "picture_sides.h"

#include <QtGlobal>

// The resources live in a static library, so they are registered by hand.
static void registerPlaceholderResources() {
    Q_INIT_RESOURCE(placeholders);
}

namespace {

// Decoded once per process; every caller gets a shared copy that detaches on its first write.
QImage loadPlaceholder(const char* resource) {
    registerPlaceholderResources();
    QImage image(QString::fromLatin1(resource));
    image = image.convertToFormat(QImage::Format_ARGB32);
    Q_ASSERT(image.width() == kCacheSide && image.height() == kCacheSide);
    return image;
}

} // namespace

void makeDamagedFileImage(QImage& target) {
    static const QImage damaged = loadPlaceholder(":/placeholders/damaged_file.png");
    target = damaged;
}

void makeOldVersionImage(QImage& target) {
    static const QImage oldVersion = loadPlaceholder(":/placeholders/old_version.png");
    target = oldVersion;
}
