#pragma once

#include "thumbnail_table.h"

#include <QImage>
#include <QString>

#include <cstdint>
#include <mutex>

// The numbered picture buckets below imageDir, shared by both producers.

// Held from choosing a picture's name to recording its row: no other thread, nor another
// host process working on the same cache, names or writes the same file in between, so no
// picture ends without its row and no row points at another file's picture.
class PictureStoreLock {
public:
    explicit PictureStoreLock(const QString& imageDir);
    ~PictureStoreLock();
    PictureStoreLock(const PictureStoreLock&) = delete;
    PictureStoreLock& operator=(const PictureStoreLock&) = delete;

private:
    std::lock_guard<std::mutex> threads_;
    std::intptr_t processes_;
};

// At most this many pictures go into one bucket folder.
constexpr int kBucketSize = 500;

// The current bucket: the last numbered folder, or a new one once the last holds kBucketSize
// files. Only folders count as buckets; stray files do not. Empty when a folder cannot be made.
QString chooseBucket(const QString& imageDir);

// The picture path of a source in the current bucket: base name + "_" + suffix + ".png", or,
// when that file already holds another source's picture, the base name with a short hash of
// the source path after it. Empty when no bucket can be made. Takes dbMutex for the owner check.
QString choosePicturePath(const QString& imageDir, const QString& sourcePath);

// Writes the PNG through a temporary file, so a reader never sees half a picture.
bool savePicture(const QImage& image, const QString& picturePath);

// Records a saved picture for its source, with the times and size taken before dbMutex.
void recordPicture(const QString& picturePath, const QString& sourcePath,
                   OnLookupFailure onFailure);
