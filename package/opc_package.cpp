#include "opc_package.h"

#include "xml_reader.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>
#include <QtEndian>

#include <zlib.h>

#include <algorithm>
#include <vector>

namespace {

constexpr quint32 kEndOfDirectorySignature = 0x06054b50;
constexpr quint32 kDirectoryEntrySignature = 0x02014b50;
constexpr quint32 kLocalHeaderSignature = 0x04034b50;
constexpr qint64 kEndOfDirectorySize = 22;
constexpr qint64 kDirectoryEntrySize = 46;
constexpr qint64 kLocalHeaderSize = 30;
// The end record may be followed by a comment of up to 64 KiB.
constexpr qint64 kLongestComment = 65535;
// A 3MF package holds a handful of parts; a directory of megabytes is no package of ours.
constexpr qint64 kLargestDirectory = 16 << 20;
// A size or offset of all ones means the real value is in a ZIP64 record, which no
// package a printer tool writes needs.
constexpr quint32 kZip64Marker = 0xFFFFFFFF;
constexpr quint16 kEncryptedFlag = 0x0001;
constexpr quint16 kStored = 0;
constexpr quint16 kDeflated = 8;
// XML and pictures deflate by ten or twenty to one; deflate itself cannot pass 1032 to one.
// A part that declares more than this is a bomb, however small its compressed bytes; small
// parts are exempt, since a few bytes of compressed text can stand for a page.
constexpr qint64 kLargestRatio = 250;
constexpr qint64 kRatioExempt = 1 << 20;
constexpr qint64 kRelationshipsLimit = 1 << 20;
// Where Bambu Studio and OrcaSlicer keep the first plate's picture; they write no relationship
// to it that every version agrees on.
const QString kFirstPlatePicture = QStringLiteral("/Metadata/plate_1.png");
// All parts of one package inflate to at most OpcPackage::kInflateLimit together: every part
// that counts is parsed or decoded, and however honest each part's ratio, a package of a few
// megabytes must not stand for minutes of reading. A model of the 2^22 triangles a build may
// make takes about 300 MB of XML.
// Compressed bytes read from the file per refill of the inflater.
constexpr qint64 kInputBlock = 64 << 10;

// The field of `width` bytes (2 or 4) at `at`, which the caller has checked lies in `bytes`.
quint32 littleEndian(const QByteArray& bytes, qint64 at, int width) {
    const auto* field = reinterpret_cast<const uchar*>(bytes.constData()) + at;
    return width == 2 ? qFromLittleEndian<quint16>(field) : qFromLittleEndian<quint32>(field);
}

QString partKey(const QString& name) {
    return name.toLower();
}

} // namespace

struct OpcPackage::PartStream::Inflater {
    z_stream stream{};
    bool started = false;
    bool ended = false;
    uLong crc = crc32(0, nullptr, 0);
    ~Inflater() {
        if (started) {
            inflateEnd(&stream);
        }
    }
};

OpcPackage::OpcPackage(const QString& path, qint64 inflateLimit)
    : file_(path), inflateLimit_(inflateLimit) {
    if (!QFileInfo(path).isFile() || !file_.open(QIODevice::ReadOnly)) {
        fail(QStringLiteral("the package cannot be opened"));
        return;
    }
    fileSize_ = file_.size();
    readable_ = readCentralDirectory();
}

bool OpcPackage::fail(const QString& why) {
    problem_ = why;
    refusedForSize_ = false;
    return false;
}

bool OpcPackage::readCentralDirectory() {
    const qint64 tailSize = qMin(fileSize_, kEndOfDirectorySize + kLongestComment);
    if (tailSize < kEndOfDirectorySize || !file_.seek(fileSize_ - tailSize)) {
        return fail(QStringLiteral("no zip directory"));
    }
    const QByteArray tail = file_.read(tailSize);
    if (tail.size() != tailSize) {
        return fail(QStringLiteral("no zip directory"));
    }
    qint64 end = -1;
    for (qint64 at = tailSize - kEndOfDirectorySize; at >= 0; --at) {
        if (littleEndian(tail, at, 4) == kEndOfDirectorySignature) {
            end = at;
            break;
        }
    }
    if (end < 0) {
        return fail(QStringLiteral("no zip directory"));
    }
    const quint32 count = littleEndian(tail, end + 10, 2);
    const qint64 directorySize = littleEndian(tail, end + 12, 4);
    const qint64 directoryAt = littleEndian(tail, end + 16, 4);
    const qint64 endAt = fileSize_ - tailSize + end;
    if (directorySize > kLargestDirectory || directoryAt + directorySize > endAt ||
        !file_.seek(directoryAt)) {
        return fail(QStringLiteral("the zip directory lies outside the file"));
    }
    const QByteArray directory = file_.read(directorySize);
    if (directory.size() != directorySize) {
        return fail(QStringLiteral("the zip directory lies outside the file"));
    }
    directoryAt_ = directoryAt;
    std::vector<qint64> localHeaders;
    qint64 at = 0;
    for (quint32 i = 0; i < count; ++i) {
        if (at + kDirectoryEntrySize > directorySize ||
            littleEndian(directory, at, 4) != kDirectoryEntrySignature) {
            return fail(QStringLiteral("a zip directory entry is damaged"));
        }
        Entry entry;
        entry.flags = quint16(littleEndian(directory, at + 8, 2));
        entry.method = quint16(littleEndian(directory, at + 10, 2));
        entry.crc = littleEndian(directory, at + 16, 4);
        const quint32 compressed = littleEndian(directory, at + 20, 4);
        const quint32 size = littleEndian(directory, at + 24, 4);
        const qint64 nameSize = littleEndian(directory, at + 28, 2);
        const qint64 extraSize = littleEndian(directory, at + 30, 2);
        const qint64 commentSize = littleEndian(directory, at + 32, 2);
        const quint32 localAt = littleEndian(directory, at + 42, 4);
        if (compressed == kZip64Marker || size == kZip64Marker || localAt == kZip64Marker) {
            return fail(QStringLiteral("ZIP64 packages are not read"));
        }
        if (at + kDirectoryEntrySize + nameSize > directorySize) {
            return fail(QStringLiteral("a zip directory entry is damaged"));
        }
        entry.compressedSize = compressed;
        entry.size = size;
        entry.localHeaderAt = localAt;
        const QString name =
            QString::fromUtf8(directory.mid(int(at + kDirectoryEntrySize), int(nameSize)));
        const QString key = partKey(QLatin1Char('/') + name);
        if (!entries_.contains(key)) {
            entries_.insert(key, entry);
        }
        localHeaders.push_back(entry.localHeaderAt);
        at += kDirectoryEntrySize + nameSize + extraSize + commentSize;
    }
    return boundEntries(localHeaders);
}

bool OpcPackage::boundEntries(std::vector<qint64> localHeaders) {
    // Entries that share their bytes would let a few kilobytes stand for any number of parts,
    // each inflated anew.
    std::sort(localHeaders.begin(), localHeaders.end());
    if (std::adjacent_find(localHeaders.begin(), localHeaders.end()) != localHeaders.end()) {
        return fail(QStringLiteral("zip entries share their data"));
    }
    for (Entry& entry : entries_) {
        const auto later =
            std::upper_bound(localHeaders.begin(), localHeaders.end(), entry.localHeaderAt);
        entry.endsBefore = later == localHeaders.end() ? directoryAt_ : *later;
    }
    return true;
}

bool OpcPackage::hasPart(const QString& name) const {
    return entries_.contains(partKey(name));
}

std::unique_ptr<OpcPackage::PartStream> OpcPackage::openPart(const QString& name, qint64 limit) {
    const auto found = entries_.constFind(partKey(name));
    if (found == entries_.constEnd()) {
        fail(QStringLiteral("the package has no part ") + name);
        return nullptr;
    }
    const Entry entry = *found;
    if (entry.size > limit) {
        fail(QStringLiteral("the part is too large: ") + name);
        refusedForSize_ = true;
        return nullptr;
    }
    if (entry.size > kRatioExempt && entry.size > kLargestRatio * entry.compressedSize) {
        fail(QStringLiteral("the part claims an impossible compression ratio: ") + name);
        return nullptr;
    }
    if ((entry.flags & kEncryptedFlag) != 0 ||
        (entry.method != kStored && entry.method != kDeflated) ||
        (entry.method == kStored && entry.compressedSize != entry.size)) {
        fail(QStringLiteral("the part is stored in a way that is not read: ") + name);
        return nullptr;
    }
    QByteArray local;
    if (entry.localHeaderAt + kLocalHeaderSize <= directoryAt_ && file_.seek(entry.localHeaderAt)) {
        local = file_.read(kLocalHeaderSize);
    }
    if (local.size() != kLocalHeaderSize || littleEndian(local, 0, 4) != kLocalHeaderSignature) {
        fail(QStringLiteral("the part's local header is damaged: ") + name);
        return nullptr;
    }
    const qint64 dataAt = entry.localHeaderAt + kLocalHeaderSize + littleEndian(local, 26, 2) +
                          littleEndian(local, 28, 2);
    // Every part lies before the next local header, the last one before the directory.
    if (dataAt + entry.compressedSize > entry.endsBefore) {
        fail((entry.endsBefore == directoryAt_
                  ? QStringLiteral("the part runs into the zip directory: ")
                  : QStringLiteral("the part runs into another part: ")) +
             name);
        return nullptr;
    }
    return std::unique_ptr<PartStream>(new PartStream(*this, entry, dataAt));
}

bool OpcPackage::readPart(const QString& name, qint64 limit, QByteArray& bytes) {
    bytes.clear();
    const std::unique_ptr<PartStream> stream = openPart(name, limit);
    if (!stream) {
        return false;
    }
    bytes.resize(int(stream->size()));
    qint64 filled = 0;
    for (;;) {
        // One byte of room past the declared size, so that a part inflating further is seen.
        char spare = 0;
        char* out = filled < bytes.size() ? bytes.data() + filled : &spare;
        const qint64 got = stream->read(out, filled < bytes.size() ? bytes.size() - filled : 1);
        if (got < 0) {
            bytes.clear();
            return false;
        }
        if (got == 0) {
            return true;
        }
        filled += got;
    }
}

QStringList OpcPackage::relationshipTargets(const QString& source, const QString& type) {
    const int slash = source.lastIndexOf(QLatin1Char('/'));
    const QString folder = source.left(slash + 1);
    const QString relationships =
        folder + QStringLiteral("_rels/") + source.mid(slash + 1) + QStringLiteral(".rels");
    QStringList targets;
    const std::unique_ptr<PartStream> stream =
        hasPart(relationships) ? openPart(relationships, kRelationshipsLimit) : nullptr;
    if (!stream) {
        return targets;
    }
    const QByteArray wanted = type.toUtf8();
    // A damaged relationships part names the targets before the damage.
    XmlReader xml([&stream](char* out, qint64 max) { return stream->read(out, max); });
    for (XmlReader::Token token = xml.next();
         token == XmlReader::Token::StartElement || token == XmlReader::Token::EndElement;
         token = xml.next()) {
        std::string_view value;
        if (token != XmlReader::Token::StartElement || xml.localName() != "Relationship" ||
            !xml.attribute({}, "Type", value) || value != wanted.constData() ||
            (xml.attribute({}, "TargetMode", value) && value == "External") ||
            !xml.attribute({}, "Target", value)) {
            continue;
        }
        const QString target =
            QUrl::fromPercentEncoding(QByteArray(value.data(), int(value.size())));
        targets.append(
            QDir::cleanPath(target.startsWith(QLatin1Char('/')) ? target : folder + target));
    }
    return targets;
}

QString OpcPackage::thumbnailPart() {
    const QStringList targets = relationshipTargets(QStringLiteral("/"), kThumbnailRelationship);
    for (const QString& target : targets) {
        if (hasPart(target)) {
            return target;
        }
    }
    return {};
}

QStringList OpcPackage::pictureParts() {
    QStringList parts;
    if (hasPart(kFirstPlatePicture)) {
        parts.append(kFirstPlatePicture);
    }
    const QString thumbnail = thumbnailPart();
    if (!thumbnail.isEmpty() && partKey(thumbnail) != partKey(kFirstPlatePicture)) {
        parts.append(thumbnail);
    }
    return parts;
}

OpcPackage::PartStream::PartStream(OpcPackage& package, const Entry& entry, qint64 dataAt)
    : package_(package), entry_(entry), dataAt_(dataAt), inflater_(new Inflater) {}

OpcPackage::PartStream::~PartStream() = default;

qint64 OpcPackage::PartStream::fail(const QString& why) {
    failed_ = true;
    package_.fail(why);
    return -1;
}

qint64 OpcPackage::PartStream::read(char* out, qint64 max) {
    if (failed_) {
        return -1;
    }
    return entry_.method == kStored ? readStored(out, max) : readDeflated(out, max);
}

qint64 OpcPackage::PartStream::readStored(char* out, qint64 max) {
    const qint64 want = qMin(max, entry_.size - produced_);
    if (want == 0) {
        return inflater_->crc == entry_.crc ? 0 : fail(QStringLiteral("a part fails its check"));
    }
    if (!package_.file_.seek(dataAt_ + produced_) || package_.file_.read(out, want) != want) {
        return fail(QStringLiteral("a part cannot be read"));
    }
    return counted(out, want, produced_ + want);
}

qint64 OpcPackage::PartStream::readDeflated(char* out, qint64 max) {
    Inflater& inflater = *inflater_;
    if (!inflater.started) {
        if (inflateInit2(&inflater.stream, -MAX_WBITS) != Z_OK) {
            return fail(QStringLiteral("the inflater cannot start"));
        }
        inflater.started = true;
    }
    while (!inflater.ended) {
        if (inflater.stream.avail_in == 0 && consumed_ < entry_.compressedSize) {
            const qint64 want = qMin(kInputBlock, entry_.compressedSize - consumed_);
            if (!package_.file_.seek(dataAt_ + consumed_)) {
                return fail(QStringLiteral("a part cannot be read"));
            }
            input_ = package_.file_.read(want);
            if (input_.size() != want) {
                return fail(QStringLiteral("a part cannot be read"));
            }
            consumed_ += want;
            inflater.stream.next_in = reinterpret_cast<Bytef*>(input_.data());
            inflater.stream.avail_in = uInt(want);
        }
        const uInt room = uInt(qMin<qint64>(max, 1 << 30));
        inflater.stream.next_out = reinterpret_cast<Bytef*>(out);
        inflater.stream.avail_out = room;
        const int result = inflate(&inflater.stream, Z_NO_FLUSH);
        const qint64 got = room - inflater.stream.avail_out;
        if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) {
            return fail(QStringLiteral("a part's compressed data is damaged"));
        }
        inflater.ended = result == Z_STREAM_END;
        // What the stream itself took: a declared compressed size is believed only as far as
        // the data bears it out, so padding after a short stream buys no ratio.
        const qint64 used = consumed_ - inflater.stream.avail_in;
        if (produced_ + got > kRatioExempt && produced_ + got > kLargestRatio * used) {
            return fail(QStringLiteral("a part inflates at an impossible ratio"));
        }
        if (inflater.ended && used != entry_.compressedSize) {
            return fail(QStringLiteral("a part's compressed data ends before its declared size"));
        }
        if (!inflater.ended && got == 0 && inflater.stream.avail_in == 0 &&
            consumed_ == entry_.compressedSize) {
            return fail(QStringLiteral("a part's compressed data ends early"));
        }
        if (got > 0) {
            return counted(out, got, produced_ + got);
        }
    }
    if (produced_ != entry_.size || inflater.crc != entry_.crc) {
        return fail(QStringLiteral("a part fails its check"));
    }
    return 0;
}

qint64 OpcPackage::PartStream::counted(const char* bytes, qint64 count, qint64 produced) {
    produced_ = produced;
    if (produced_ > entry_.size) {
        return fail(QStringLiteral("a part inflates past its declared size"));
    }
    package_.inflated_ += count;
    if (package_.inflated_ > package_.inflateLimit_) {
        failed_ = true;
        package_.fail(QStringLiteral("the package inflates to more than a thumbnail is worth"));
        package_.refusedForSize_ = true;
        return -1;
    }
    inflater_->crc = crc32(inflater_->crc, reinterpret_cast<const Bytef*>(bytes), uInt(count));
    return count;
}
