#include "saved_picture_memo.h"

#include <QDateTime>
#include <QFileInfo>

#include <utility>

namespace {

// A 400 x 400 thumbnail, with room for the odd larger one. A larger picture is kept only in a
// 32-bit format, which the bitmap takes as it is: converting a 10,000 x 10,000 picture would
// need a second copy larger than decoding the PNG does.
constexpr qint64 kMostPixels = 512 * 512;

struct SavedPicture {
    QString path;
    QImage image;
    qint64 size = -1;
    QDateTime modified;
    // Made and never saved: `path` names its source.
    bool unsaved = false;
};

thread_local SavedPicture lastSaved;

// Formats whose PNG Qt reads back to the same colours and alpha; a premultiplied image would
// come back rounded.
bool readsBackExactly(QImage::Format format) {
    return format == QImage::Format_RGB888 || format == QImage::Format_RGB32 ||
           format == QImage::Format_ARGB32;
}

} // namespace

void rememberSavedPicture(const QString& picturePath, const QImage& image) {
    lastSaved = SavedPicture();
    const bool small = qint64{image.width()} * image.height() <= kMostPixels;
    if (!readsBackExactly(image.format()) || (!small && image.depth() != 32)) {
        return;
    }
    const QFileInfo file(picturePath);
    lastSaved = SavedPicture{picturePath, image, file.size(), file.lastModified()};
}

void forgetSavedPicture() {
    lastSaved = SavedPicture();
}

void rememberUnsavedPicture(const QString& sourcePath, const QImage& image) {
    lastSaved = SavedPicture();
    if (qint64{image.width()} * image.height() <= kMostPixels || image.depth() == 32) {
        lastSaved = SavedPicture{sourcePath, image, -1, {}};
        lastSaved.unsaved = true;
    }
}

QImage takeUnsavedPicture(const QString& sourcePath) {
    const SavedPicture saved = std::exchange(lastSaved, SavedPicture());
    return saved.unsaved && saved.path == sourcePath ? saved.image : QImage();
}

QImage takeSavedPicture(const QString& picturePath) {
    const SavedPicture saved = std::exchange(lastSaved, SavedPicture());
    if (saved.image.isNull() || saved.unsaved || saved.path != picturePath) {
        return {};
    }
    const QFileInfo file(picturePath);
    if (!file.exists() || file.size() != saved.size || file.lastModified() != saved.modified) {
        return {};
    }
    return saved.image;
}
