#pragma once

#include "thumbnail_table.h"

#include <QImage>
#include <QString>

// The numbered picture buckets below imageDir, shared by both producers.

// At most this many pictures go into one bucket folder.
constexpr int kBucketSize = 500;

// The current bucket: the last numbered folder, or a new one once the last holds kBucketSize
// files. Only folders named by a number count as buckets; stray files and other folders do
// not. Empty when a folder cannot be made.
QString chooseBucket(const QString& imageDir);

// The picture path of a source in `bucket`: base name + "_" + suffix + ".png", or, when that
// file is there and is not `recordedPicture` (the picture the source's row names), the base
// name with a short hash of the source path after it. The base name is cut, at a character
// boundary, so that the file name fits the file systems' 255-byte limit.
QString picturePathIn(const QString& bucket, const QString& sourcePath,
                      const QString& recordedPicture);

enum class PictureSave {
    Saved,
    NoBucket,
    NotWritten,
    // Another host held the picture folder past the wait; logged here, nothing written.
    GaveUp,
};

// The picture step of both producers: takes the picture folder's lock from choosing the name
// to writing the file, so that no other thread or host process takes the same name, and lets
// it go before returning: the row is then written without it, and no host waits on the
// folder while this one waits for the database. `picturePath` receives the name, empty when
// no bucket could be made.
PictureSave savePictureFor(const QImage& image, const QString& imageDir, const QString& sourcePath,
                           QString& picturePath);

// Writes the PNG through a temporary file, which is put in place only when every byte of it
// was written: a reader never sees half a picture, nor one cut short by a full disk.
bool savePicture(const QImage& image, const QString& picturePath);

// Records a saved picture for its source, with the times and size taken before dbMutex.
// When another connection holds the database past the wait, logs it and removes the picture,
// which no row would name. True when the row was written.
bool recordPicture(const QString& picturePath, const QString& sourcePath,
                   OnLookupFailure onFailure);
