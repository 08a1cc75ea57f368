#pragma once

#include <QImage>
#include <QString>

#include <optional>

// One line a reader has for the log: label, "operation : number " and body. A line without an
// operation has no location part.
struct ReaderReport {
    QString operation;
    int number = 0;
    QString body;
    QString label;

    QString line() const;
};

// "information    :    operation : number body", the form of nearly every reader line.
ReaderReport located(const char* operation, int number, QString body);
// "%1\n%2": a message and the file's path on the next line.
QString onFile(const QString& message, const QString& path);
// The reader gave up on the file: "message\npath" under the reader's name and number.
ReaderReport givenUp(const char* operation, int number, const char* message, const QString& path);
// `text` filled with the inconsistency message, the path, the file size and an offset, as
// the readers report a field that points outside the file.
QString sizeAndOffset(const char* text, const QString& path, qint64 fileSize, qint64 offset);

// What a reader made of one sliced file. Readers only read: what is logged, recorded and
// saved follows from this in one place, so the cache's job and a desktop client's picture
// get the same decisions.
class ReaderResult {
public:
    // What picture, if any, comes of the file.
    enum class Picture { None, Decoded, DamagedPlaceholder, OldVersionPlaceholder, Model };

    // The file's own preview, fitted as the target asked; a null picture (one that could not
    // be allocated) is nothing.
    static ReaderResult decoded(QImage picture);
    // A picture that keeps its shape: as the file holds it, at its own size, aspect ratio and
    // alpha. Recording fits it into the target's side (see fittedInOwnShape); a null picture
    // is nothing.
    static ReaderResult decodedInOwnShape(QImage picture) {
        ReaderResult result = decoded(std::move(picture));
        result.ownShape_ = true;
        return result;
    }
    // Inconsistent records: an error row, the line, then the placeholder that replaces the row.
    static ReaderResult damaged(ReaderReport report) {
        return {Picture::DamagedPlaceholder, true, std::move(report)};
    }
    static ReaderResult oldVersion(ReaderReport report) {
        return {Picture::OldVersionPlaceholder, true, std::move(report)};
    }
    // An intact file written before it could carry a preview: the placeholder, nothing logged.
    static ReaderResult withoutPreview() { return {Picture::OldVersionPlaceholder, false, {}}; }
    // The reader gave up: the line only; nothing recorded.
    static ReaderResult refused(ReaderReport report) {
        return {Picture::None, false, std::move(report)};
    }
    // As refused, after an error row, so the file is not read again until it changes.
    static ReaderResult refusedWithErrorRow(ReaderReport report) {
        return {Picture::None, true, std::move(report)};
    }
    // The file's own picture cannot be used, but the file holds a model to draw instead (a
    // package whose thumbnail is damaged, hostile or no picture at all): the line, then the
    // renderer's picture; nothing recorded here.
    static ReaderResult modelInstead(ReaderReport report) {
        return {Picture::Model, false, std::move(report)};
    }
    // Nothing to say and nothing to show: the file could not be opened, or its picture could
    // not be allocated.
    static ReaderResult nothing() { return {Picture::None, false, {}}; }

    bool writesErrorRow() const { return errorRow_; }
    const std::optional<ReaderReport>& report() const { return report_; }
    Picture picture() const { return picture_; }
    const QImage& decodedPicture() const { return decoded_; }
    // Whether decodedPicture is the picture's own shape, still to be fitted.
    bool keepsOwnShape() const { return ownShape_; }

private:
    ReaderResult(Picture picture, bool errorRow, std::optional<ReaderReport> report)
        : picture_(picture), errorRow_(errorRow), report_(std::move(report)) {}

    Picture picture_;
    bool errorRow_;
    std::optional<ReaderReport> report_;
    QImage decoded_;
    bool ownShape_ = false;
};
