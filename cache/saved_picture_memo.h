#pragma once

#include <QImage>
#include <QString>

// The picture a thread saved last, kept for the bitmap request that follows on the same
// thread: decoding the PNG just written costs a third as much as writing it. Only pictures
// whose PNG gives back exactly the same pixels are kept, larger ones than about thumbnail size
// only in a 32-bit format.
void rememberSavedPicture(const QString& picturePath, const QImage& image);

// Lets go of the picture this thread saved last: a job that starts before the bitmap request
// of the last one came must not hold a large picture while it makes another.
void forgetSavedPicture();

// The picture this thread saved last at `picturePath`, while its file is still the one it
// wrote; null otherwise. Forgets it either way.
QImage takeSavedPicture(const QString& picturePath);

// The picture this thread made for `sourcePath` and could not save (a full disk): the bitmap
// request that follows still shows it, though no row names it.
void rememberUnsavedPicture(const QString& sourcePath, const QImage& image);
// That picture, if the last one was made for `sourcePath`; forgets it either way.
QImage takeUnsavedPicture(const QString& sourcePath);
