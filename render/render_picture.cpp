#include "render_picture.h"

#include "file_render.h"
#include "picture_sides.h"
#include "placeholder_images.h"
#include "renderer_lock.h"

#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>

#include <algorithm>

namespace {

QImage refused(RenderOutcome* outcome) {
    *outcome = RenderOutcome::Refused;
    return {};
}

} // namespace

QImage renderPicture(const QString& sourcePath, int size, RenderOutcome* outcome) {
    RenderOutcome ignored = RenderOutcome::Refused;
    if (outcome == nullptr) {
        outcome = &ignored;
    }
    // Opening a FIFO or a device could block for ever: only regular files are read.
    if (size < 1 || size > kLargestSide || !QFileInfo(sourcePath).isFile() ||
        meshKindOf(sourcePath) < 0 || !QFile(sourcePath).open(QIODevice::ReadOnly)) {
        return refused(outcome);
    }
    QMutexLocker lock(&rendererMutex);
    const std::unique_ptr<fileRender> renderer = fileRender::forPicture(sourcePath, size);
    const mySTLReader* mesh = renderer->mesh();
    if (mesh == nullptr) {
        return refused(outcome);
    }
    if (!mesh->modelValid) {
        QImage damaged;
        makeDamagedFileImage(damaged);
        *outcome = RenderOutcome::Placeholder;
        return damaged.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    if (!mesh->renderable) {
        return refused(outcome);
    }
    const bool noTriangles =
        !mesh->stream && std::all_of(mesh->chunks.begin(), mesh->chunks.end(),
                                     [](const VertexChunk& chunk) { return chunk.isEmpty(); });
    if (noTriangles) {
        // What the renderer's cleared framebuffer holds: white, fully transparent.
        QImage empty(size, size, QImage::Format_ARGB32);
        empty.fill(qRgba(255, 255, 255, 0));
        *outcome = RenderOutcome::Empty;
        return empty;
    }
    renderer->initGL();
    renderer->resizeGL(size, size);
    renderer->drawPicture();
    *outcome = RenderOutcome::Rendered;
    return renderer->picture();
}
