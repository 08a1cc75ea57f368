#pragma once

#include <QByteArray>
#include <QFile>
#include <QHash>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

// An Open Packaging Conventions package (the zip container of 3MF) read from its central
// directory, with every size it declares checked against the file before it is believed and
// every inflated byte counted against what the entry declared. Nothing is extracted to disk
// and no part is held in memory unless a caller asks for it whole. Only stored and deflated
// entries of a plain (not ZIP64, not encrypted) archive are read; anything else is damage.
class OpcPackage {
public:
    // What all parts of one package may inflate to together (see PartStream).
    static constexpr qint64 kInflateLimit = qint64(384) << 20;

    struct Entry {
        quint16 method = 0;
        quint16 flags = 0;
        quint32 crc = 0;
        qint64 compressedSize = 0;
        qint64 size = 0;
        qint64 localHeaderAt = 0;
        // The next entry's local header, or the directory: where this entry's data must end.
        qint64 endsBefore = 0;
    };

    // Reads the central directory. Only a regular file is opened: a FIFO or a device could
    // block the host forever.
    // `inflateLimit` bounds what all its parts inflate to together.
    explicit OpcPackage(const QString& path, qint64 inflateLimit = kInflateLimit);

    bool isReadable() const { return readable_; }
    // Whether the latest part was refused for the size it declares, not for damage.
    bool refusedForSize() const { return refusedForSize_; }
    // Why the package or the latest part could not be read, as a line for the log.
    QString problem() const { return problem_; }

    // Part names are absolute ("/3D/3dmodel.model") and compared ignoring ASCII case.
    bool hasPart(const QString& name) const;
    // The whole part, if it inflates to at most `limit` bytes.
    bool readPart(const QString& name, qint64 limit, QByteArray& bytes);

    // Targets (absolute part names) of the relationships of `type` that `source` ("/" for
    // the package itself) holds, in document order; external targets are left out. A source
    // without a relationships part has none.
    QStringList relationshipTargets(const QString& source, const QString& type);

    // The package's thumbnail part (PNG or JPEG, the first that the package relationships
    // name and the package holds), or an empty name.
    QString thumbnailPart();
    // The parts that may picture the package, best first: the first plate's picture, which
    // slicers write at a fixed name and which shows what will be printed, then the package
    // thumbnail, which a model site's file often gives to the designer's cover photo.
    QStringList pictureParts();

    // Reads one part in pieces, so a large model never sits in memory whole.
    class PartStream {
    public:
        ~PartStream();
        // Up to `max` inflated bytes into `out`: the count, 0 at the end, -1 on damage (the
        // package's problem() says which).
        qint64 read(char* out, qint64 max);
        // The inflated size the part declares.
        qint64 size() const { return entry_.size; }

    private:
        friend class OpcPackage;
        struct Inflater;
        PartStream(OpcPackage& package, const Entry& entry, qint64 dataAt);
        // Marks the stream failed and returns -1.
        qint64 fail(const QString& why);
        qint64 readStored(char* out, qint64 max);
        qint64 readDeflated(char* out, qint64 max);
        // Counts `count` bytes that arrived in `bytes` against every limit, for a stream that
        // has now produced `produced`: the count, or -1.
        qint64 counted(const char* bytes, qint64 count, qint64 produced);

        OpcPackage& package_;
        Entry entry_;
        qint64 dataAt_;
        qint64 consumed_ = 0;
        qint64 produced_ = 0;
        bool failed_ = false;
        QByteArray input_;
        std::unique_ptr<Inflater> inflater_;
    };

    // A stream over the part, or null (problem() says why) when the part is missing, damaged
    // or declares more than `limit` bytes.
    std::unique_ptr<PartStream> openPart(const QString& name, qint64 limit);

private:
    bool readCentralDirectory();
    // Refuses entries that share a local header and gives each entry the offset its data
    // must end before.
    bool boundEntries(std::vector<qint64> localHeaders);
    bool fail(const QString& why);

    QFile file_;
    qint64 fileSize_ = 0;
    // Where the central directory starts: the parts' local headers and data lie before it.
    qint64 directoryAt_ = 0;
    QHash<QString, Entry> entries_;
    QString problem_;
    bool readable_ = false;
    bool refusedForSize_ = false;
    // Bytes every stream of the package has produced so far, and their bound.
    qint64 inflated_ = 0;
    qint64 inflateLimit_;
};

// The relationship types a 3MF reader follows.
inline const QString kThreeMfModelRelationship =
    QStringLiteral("http://schemas.microsoft.com/3dmanufacturing/2013/01/3dmodel");
inline const QString kThumbnailRelationship = QStringLiteral(
    "http://schemas.openxmlformats.org/package/2006/relationships/metadata/thumbnail");
