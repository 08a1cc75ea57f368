#pragma once

#include <QByteArray>
#include <QSize>
#include <QVector>

#include <optional>

// One preview block of a text G-code: "; KEYWORD begin WxH LEN", the picture's base64 in
// "; "-prefixed lines, "; KEYWORD end". Unset fields match the picture; set ones are written as
// given, for damaged and hostile blocks.
struct GcodePreview {
    QByteArray keyword = "thumbnail"; // PNG; "thumbnail_JPG", "thumbnail_QOI"
    QSize size;
    QByteArray picture;
    std::optional<qint64> declaredLength;
    // Written in place of the picture's base64.
    std::optional<QByteArray> base64;
    int lineLength = 78;
    bool ended = true;
};

// A text G-code as slicers write it: a header comment, the previews, then the moves; with
// `thumbnailBlock` the previews are wrapped as OrcaSlicer wraps them, with `previewsAtEnd` they
// follow the moves, as post-processing tools append them.
struct GcodeFile {
    QVector<GcodePreview> previews;
    bool thumbnailBlock = false;
    bool previewsAtEnd = false;
    QByteArray lineEnd = "\n";
    QByteArray moves = gcodeMoves(20);

    QByteArray bytes() const;

    // `count` lines of extrusion moves, about 30 bytes each.
    static QByteArray gcodeMoves(int count);
};
