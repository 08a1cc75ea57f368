#pragma once

#include <QImage>
#include <QString>

// How saving a source's picture went.
enum class PictureSave {
    // The picture is saved and its row written (for an error row: written).
    Saved,
    NoBucket,
    NotWritten,
    // Another host held the picture folder past the wait; logged here, nothing written.
    GaveUp,
    // The row could not be written; the new picture is removed again. A busy database is
    // logged here.
    NotRecorded,
};

// Where the producers put what they made of one source file. They only make pictures; the
// cache's job hands them a recorder that saves into the cache and writes the rows.
class PictureRecorder {
public:
    virtual ~PictureRecorder() = default;

    // Saves `picture` as the source's thumbnail and writes its row. `where` receives the
    // picture's path, or the picture folder when no name could be chosen, for the log line of
    // a failure.
    virtual PictureSave save(const QImage& picture, QString& where) = 0;

    // Records the source as a file that gets no thumbnail.
    virtual void recordError() = 0;
};
