#include "preview_picture.h"

#include "my_file_thumbnail.h"

QImage previewPicture(const QString& sourcePath, int size, PreviewOutcome* outcome) {
    QImage picture;
    bool placeholder = false;
    if (size > 0) {
        const myFileThumbnail extractor(sourcePath, size);
        picture = extractor.picture();
        placeholder = extractor.deliveredPlaceholder();
    }
    if (outcome != nullptr) {
        *outcome = picture.isNull() ? PreviewOutcome::Refused
                   : placeholder    ? PreviewOutcome::Placeholder
                                    : PreviewOutcome::Preview;
    }
    return picture;
}
