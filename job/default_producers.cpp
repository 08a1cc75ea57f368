#include "producers.h"

#include "file_render.h"
#include "my_file_thumbnail.h"
#include "picture_sides.h"
#include "renderer_lock.h"

#include <QMutexLocker>

namespace {

class ModuleProducers final : public ThumbnailProducers {
public:
    bool extractPreview(const QString& sourcePath, const QString& dataRoot) override {
        // The constructor does the whole job.
        const myFileThumbnail extractor(sourcePath, dataRoot);
        return !extractor.leftToRenderer();
    }

    bool renderMesh(const QString& sourcePath, const QString& imageDir) override {
        QMutexLocker lock(&rendererMutex);
        const std::unique_ptr<fileRender> renderer = fileRender::forCache(sourcePath, imageDir);
        if (!renderer->ready()) {
            return false;
        }
        renderer->initGL();
        renderer->resizeGL(kCacheSide, kCacheSide);
        renderer->paintGL();
        return true;
    }
};

} // namespace

ThumbnailProducers& defaultProducers() {
    static ModuleProducers producers;
    return producers;
}
