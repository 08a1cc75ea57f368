#pragma once

#include "picture_recorder.h"
#include "thumbnail_table.h"

#include <QString>

// Records one source's pictures in the cache: the PNG in the numbered buckets below
// `imageDir`, its row in the thumbnail table. `onFailure` says what a failed look-up of the
// source's row leads to: the preview path inserts a row all the same, the renderer writes none.
class CacheRecorder final : public PictureRecorder {
public:
    CacheRecorder(QString imageDir, QString sourcePath, OnLookupFailure onFailure);

    PictureSave save(const QImage& picture, QString& where) override;
    void recordError() override;

private:
    const QString imageDir;
    const QString sourcePath;
    const OnLookupFailure onFailure;
};
