#include "egl_backing_store.h"

EglBackingStore::EglBackingStore(QWindow* window) : QPlatformBackingStore(window) {}

QPaintDevice* EglBackingStore::paintDevice() {
    return &image;
}

void EglBackingStore::flush(QWindow*, const QRegion&, const QPoint&) {}

void EglBackingStore::resize(const QSize& size, const QRegion&) {
    if (image.size() != size) {
        image = QImage(size, QImage::Format_ARGB32_Premultiplied);
    }
}

QImage EglBackingStore::toImage() const {
    return image;
}
