#pragma once

#include "dlp_head.h"
#include "picture_recorder.h"
#include "preview_target.h"
#include "reader_result.h"

#include <QImage>
#include <QString>

// Produces the cached thumbnail of one sliced printer file. The constructor does the whole
// job: it picks the reader by suffix, which says what it made of the file, and carries that
// out: the log line, the error row, the decoded preview or a placeholder in outputImage, handed
// to `into` through dbDeal.
class myFileThumbnail {
public:
    myFileThumbnail(const QString& sourcePath, PictureRecorder& into);

    // The reader found no picture of the file's own to use and left the file to the renderer.
    bool isLeftToRenderer() const { return leftForRenderer; }

    // What pictureOf delivered: null when the reader gave up without a picture.
    struct Delivered {
        QImage picture;
        bool placeholder = false;
        bool leftToRenderer = false;
    };
    // Only makes the picture, sized for `sizedFor` (placeholders are scaled to a requested side):
    // the reader's line is logged as in the cache's job, but nothing is recorded.
    static Delivered pictureOf(const QString& sourcePath, PreviewTarget sizedFor);

private:
    // A null recorder: the picture is only made.
    myFileThumbnail(const QString& sourcePath, PictureRecorder* recorderOrNull,
                    PreviewTarget pictureTarget);

    // Runs the reader the suffix names.
    void dispatch();
    void loadKvrdlpAndLqx();
    void loadPhotons();
    void loadGF();
    void loadSvgx();
    void loadVoxalis();
    void loadGcode();
    void loadBgcode();
    void loadThreeMf();

    // Carries out what a reader found, in the order the cache needs: error row, log line,
    // picture saved and recorded (its row replacing the error row).
    void record(const ReaderResult& result);
    // Fills outputImage with a placeholder, at the requested side outside the cache.
    void usePlaceholder(void (*makePlaceholder)(QImage&));
    // Hands outputImage to the recorder, which saves it and records it for sourcePath.
    void dbDeal();
    // Records sourcePath as a file that gets no thumbnail.
    void dbDealError();

    QString sourcePath;
    PictureRecorder* const recorder;
    PreviewTarget target;
    // Which head the DLP family reader reads, set by the dispatch.
    DlpHead headerKind = DlpHead::Dlp;
    QImage outputImage;
    bool madePlaceholder = false;
    bool leftForRenderer = false;
};
