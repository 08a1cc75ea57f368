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
