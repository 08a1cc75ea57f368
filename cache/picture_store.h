#pragma once

#include "picture_recorder.h"
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

// The picture path of a source in `bucket`: base name + "_" + suffix + ".png", or, when a
// file of that name is there and another source's row names it, the base name with a short
// hash of the source path after it. The base name is cut, at a character boundary, so that
// the file name and the temporary name that replaces the picture later fit the file systems'
// 255-byte limit. Takes dbMutex for its look-up.
QString picturePathIn(const QString& bucket, const QString& sourcePath);

// The picture step of both producers, save and row in one: under the picture folder's lock,
// which keeps every other thread and host process from choosing a name, saving or writing a
// row in the same folder meanwhile. So every picture in the buckets has a row, except the one
// a host killed between the two leaves; no row names it, and the next save of that name takes
// it back. A source made again keeps the picture its row names, replaced in place. The row
// takes the source's stamp from its freshness check (stampToRecord). `picturePath` receives
// the name, empty when none was chosen.
PictureSave savePictureFor(const QImage& image, const QString& imageDir, const QString& sourcePath,
                           OnLookupFailure onFailure, QString& picturePath);

// Writes the error row of a source, with its stamp, under the same lock, and removes the
// picture its row named before.
PictureSave recordErrorFor(const QString& imageDir, const QString& sourcePath);

// Writes the PNG through a temporary file, which is put in place only when every byte of it
// was written: a reader never sees half a picture, nor one cut short by a full disk.
bool savePicture(const QImage& image, const QString& picturePath);
