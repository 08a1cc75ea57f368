#pragma once

#include <QByteArray>
#include <QFile>

// Largest piece of preview data a decoder holds at once: a preview may declare up to 500 MiB
// of data, of which a thumbnail needs a small part.
constexpr qint64 kPreviewPieceSize = qint64{1} << 20;

// The encoded data of a preview, read where a decoder asks for it: in memory for tests and
// fuzzers, in the file for the readers, so no decoder needs the whole data at once.
class PreviewData {
public:
    virtual ~PreviewData() = default;
    virtual qint64 size() const = 0;
    // Up to `length` bytes from `offset`, fewer where the data ends. False when the bytes
    // cannot be read; the decoder then stops.
    virtual bool read(qint64 offset, qint64 length, QByteArray& bytes) const = 0;
};

class BytesData final : public PreviewData {
public:
    explicit BytesData(const QByteArray& bytes) : bytes_(bytes) {}
    qint64 size() const override { return bytes_.size(); }
    bool read(qint64 offset, qint64 length, QByteArray& bytes) const override;

private:
    const QByteArray& bytes_;
};

// `size` bytes of an open file from `start`. The reader has checked that the file holds them,
// so a short read means the file changed or failed; failed() then tells the reader.
class FileData final : public PreviewData {
public:
    FileData(QFile& file, qint64 start, qint64 size) : file_(file), start_(start), size_(size) {}
    qint64 size() const override { return size_; }
    bool read(qint64 offset, qint64 length, QByteArray& bytes) const override;
    bool failed() const { return failed_; }

private:
    QFile& file_;
    qint64 start_;
    qint64 size_;
    mutable bool failed_ = false;
};
