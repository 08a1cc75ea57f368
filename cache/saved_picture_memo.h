#pragma once

#include <QImage>
#include <QString>

// The picture a thread saved last, kept for the bitmap request that follows on the same
// thread: decoding the PNG just written costs a third as much as writing it. Only pictures up
// to about thumbnail size whose PNG gives back exactly the same pixels are kept.
void rememberSavedPicture(const QString& picturePath, const QImage& image);

// The picture this thread saved last at `picturePath`, while its file is still the one it
// wrote; null otherwise. Forgets it either way.
QImage takeSavedPicture(const QString& picturePath);
