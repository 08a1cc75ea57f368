#pragma once

#include <QString>

// The two producers a job can route a file to. The driver only decides which one runs; each
// producer's picture and row go into the cache's buckets below `imageDir`.
class ThumbnailProducers {
public:
    virtual ~ThumbnailProducers() = default;

    // Sliced printer files: decode the embedded preview (or a placeholder) and record it.
    // False when the file holds no picture of its own to use and its model is to be drawn.
    virtual bool extractPreview(const QString& sourcePath, const QString& imageDir) = 0;

    // Model files: render offscreen and record. Returns whether the renderer was ready; a
    // renderer that was not ready leaves the job without a picture.
    virtual bool renderMesh(const QString& sourcePath, const QString& imageDir) = 0;
};

// The producers of the module.
ThumbnailProducers& defaultProducers();
