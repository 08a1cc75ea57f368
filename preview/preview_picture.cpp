#include "preview_picture.h"

#include "my_file_thumbnail.h"

QImage previewPicture(const QString& sourcePath, int size, PreviewOutcome* outcome) {
    myFileThumbnail::Delivered delivered;
    if (size > 0) {
        delivered = myFileThumbnail::pictureOf(sourcePath, PreviewTarget::side(size));
    }
    if (outcome != nullptr) {
        *outcome = delivered.leftToRenderer     ? PreviewOutcome::Model
                   : delivered.picture.isNull() ? PreviewOutcome::Refused
                   : delivered.placeholder      ? PreviewOutcome::Placeholder
                                                : PreviewOutcome::Preview;
    }
    return delivered.picture;
}
