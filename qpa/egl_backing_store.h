#pragma once

#include <qpa/qplatformbackingstore.h>

#include <QImage>

// Raster painting into an image that is never shown: widgets painted on this platform
// must not find a missing backing store.
class EglBackingStore : public QPlatformBackingStore {
public:
    explicit EglBackingStore(QWindow* window);

    QPaintDevice* paintDevice() override;
    void flush(QWindow* window, const QRegion& region, const QPoint& offset) override;
    void resize(const QSize& size, const QRegion& staticContents) override;
    QImage toImage() const override;

private:
    QImage image;
};
