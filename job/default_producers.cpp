#include "producers.h"

#include "cache_recorder.h"
#include "file_render.h"
#include "my_file_thumbnail.h"
#include "picture_sides.h"
#include "renderer_lock.h"

#include <QMutexLocker>

namespace {

class ModuleProducers final : public ThumbnailProducers {
public:
    bool extractPreview(const QString& sourcePath, const QString& imageDir) override {
        // A failed look-up still inserts: the preview is the picture the file itself holds.
        CacheRecorder recorder(imageDir, sourcePath, OnLookupFailure::Insert);
        // The constructor does the whole job.
        const myFileThumbnail extractor(sourcePath, recorder);
        return !extractor.isLeftToRenderer();
    }

    bool renderMesh(const QString& sourcePath, const QString& imageDir) override {
        CacheRecorder recorder(imageDir, sourcePath, OnLookupFailure::Skip);
        QMutexLocker lock(&rendererMutex);
        const std::unique_ptr<fileRender> renderer = fileRender::forCache(sourcePath, recorder);
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
