#include "cache_recorder.h"

#include "picture_store.h"

#include <utility>

CacheRecorder::CacheRecorder(QString imageDir_, QString sourcePath_, OnLookupFailure onFailure_)
    : imageDir(std::move(imageDir_)), sourcePath(std::move(sourcePath_)), onFailure(onFailure_) {}

PictureSave CacheRecorder::save(const QImage& picture, QString& where) {
    const PictureSave saved = savePictureFor(picture, imageDir, sourcePath, onFailure, where);
    if (where.isEmpty()) {
        where = imageDir;
    }
    return saved;
}

void CacheRecorder::recordError() {
    recordErrorFor(imageDir, sourcePath);
}
