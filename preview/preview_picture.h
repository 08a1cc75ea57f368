#pragma once

#include <QImage>
#include <QString>

// What previewPicture made of a sliced file.
enum class PreviewOutcome {
    Preview,     // the file's own preview
    Placeholder, // a stand-in that says what is wrong (damaged file, old version)
    Refused,     // no picture: the file could not be opened, was too large or too short
    Model,       // no picture of the file's own to use: its model is to be drawn instead
};

// The picture of a sliced file at a requested size, without the cache: no database, picture
// folder or row is touched. A preview is fitted into size x size but never enlarged beyond
// its own picture (the file manager scales small pictures itself); a placeholder is scaled to
// size x size. Null image: the reader gave up without a picture (cannot open, refused, too
// large); the reason has gone to writeLog as usual. `outcome` tells placeholders apart from
// previews.
QImage previewPicture(const QString& sourcePath, int size, PreviewOutcome* outcome = nullptr);
