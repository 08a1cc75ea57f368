#pragma once

#include "photons_head.h"

#include <QFile>
#include <QImage>
#include <QString>

// Produces the cached thumbnail of one sliced printer file. The constructor does the whole
// job: it picks the reader by suffix, which decodes the embedded preview (or picks a
// placeholder) into outputImage and saves and records it through dbDeal.
class myFileThumbnail {
public:
    myFileThumbnail(const QString& sourcePath, QString dataRoot);
    // Only makes the picture, fitted into `side` x `side` but never larger than the preview's
    // own picture (placeholders are scaled to `side`): nothing is saved or recorded, and the
    // cache is never opened. picture() then holds it.
    myFileThumbnail(const QString& sourcePath, int side);

    // In the second form, what the reader delivered: null when it gave up without a picture.
    QImage picture() const { return delivered_ ? outputImage : QImage(); }
    bool deliveredPlaceholder() const { return delivered_ && placeholder_; }

    // Saves outputImage into the current bucket and records it for sourcePath.
    void dbDeal();
    // Records sourcePath as a file that gets no thumbnail.
    void dbDealError();

    void loadKvrdlpAndLqx();
    void loadPhotons();
    void loadGF();
    void loadSvgx();
    void loadVoxalis();
    void loadThreeMf();

    // Reads the fourteen numbers of the photons head as stored, then swapPhotonsHead puts them
    // in host order. False when the file ends before the last field is complete.
    bool readPhotonsHead(QFile& file);
    void swapPhotonsHead();

    QString sourcePath;
    QString dataRoot;
    QImage previewImage;
    PhotonsHead_t photonsHead;
    // Which header the DLP family reader reads: 0 DlpHead_t, 1 FdgHead_t.
    quint32 headerKind = 0;
    QImage outputImage{400, 400, QImage::Format_ARGB32};
    QImage scaledImage;

private:
    // Runs the reader the suffix names.
    void dispatch();
    // The side of the square a preview is shown in when its own picture's longer side is
    // `own`: the thumbnail side in the cache; otherwise the requested side, never more than
    // `own` (a picture with no pixels of its own takes the requested side).
    int shownSide(int own) const;
    // Fills outputImage with a placeholder, at the requested side when not recording.
    void usePlaceholder(void (*makePlaceholder)(QImage&));

    // The first steps of every reader: the size limit, logged as "the file is too large" with
    // the reader's number (after an error row when `recordTooLarge`), then the open, which
    // fails silently, as it does for anything but a regular file: a FIFO or a device would
    // block the open or feed it endlessly. False when the reader must stop.
    bool openSource(QFile& file, const char* operation, int tooLargeNumber,
                    bool recordTooLarge = false);
    // Closes the file and logs "message\npath" with the reader's number; nothing is recorded.
    void abandon(QFile& file, const char* operation, int number, const char* message);
    // "information    :    " + "operation : number " + body.
    static void logReport(const char* operation, int number, const QString& body);
    // "%1\n%2": a message and the file's path on the next line.
    QString onFile(const QString& message) const;
    // The inconsistency exits: error row, log line, placeholder, recorded.
    void recordPlaceholder(const QString& logLine, void (*makePlaceholder)(QImage&));
    void recordDamaged(const char* operation, int number, const QString& body);
    void recordOldVersion(const char* operation, int number, const QString& body);
    // "%1\n%2<template rest>" with the file size and an offset, as the readers report them.
    QString sizeAndOffset(const char* text, qint64 fileSize, qint64 offset) const;

    bool recording_ = true;
    int requestedSide_ = 0;
    bool delivered_ = false;
    bool placeholder_ = false;
};
