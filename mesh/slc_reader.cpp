#include "my_stl_reader.h"

#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

// The header ends with CR LF ^Z; it is searched for in at most three blocks of 1,024 bytes,
// each on its own as zero-terminated text.
constexpr qint64 kSearchBlock = 1024;
constexpr qint64 kSearchEndsAfter = 2048;
constexpr char kTerminator[] = "\r\n\x1a";
// After the terminator: 256 reserved bytes, then the sampling table's record count.
constexpr qint64 kReservedAfterTerminator = 256;
// The count byte must lie before this file position, which bounds the header to 2,046 bytes.
constexpr qint64 kCountMustEndBefore = 2307;
constexpr int kSampleRecordSize = 16;
constexpr quint32 kEndOfContours = 0xFFFFFFFF;
// Layers below every sampling record are this thick.
constexpr float kDefaultLayerThickness = 0.1f;

float floatAt(const uchar* bytes) {
    return qFromLittleEndian<float>(bytes);
}

// Offset of the terminator, or -1. Leaves the file where the search stopped.
qint64 findHeaderTerminator(QFile& file) {
    char block[kSearchBlock + 1];
    for (;;) {
        const qint64 start = file.pos();
        const qint64 got = file.read(block, kSearchBlock);
        if (got <= 0) {
            return -1;
        }
        block[got] = '\0';
        if (const char* found = std::strstr(block, kTerminator)) {
            return start + (found - block);
        }
        if (file.pos() > kSearchEndsAfter) {
            return -1;
        }
    }
}

bool readExactly(QFile& file, void* into, qint64 size) {
    return file.read(static_cast<char*>(into), size) == size;
}

// The layer records read through one buffer: a file of empty layers is eight bytes a layer,
// and a read call for each would cost more than everything else put together.
class RecordReader {
public:
    explicit RecordReader(QFile& file) : file_(file), buffer_(kBufferBytes) {}

    // The next 8 bytes, a layer's or a boundary's header, straight from the buffer when it
    // holds them: a file of empty layers is nothing but these.
    bool takeHeader(uchar (&into)[8]) {
        if (end_ - at_ >= sizeof(into)) {
            std::memcpy(into, buffer_.data() + at_, sizeof(into));
            at_ += sizeof(into);
            return true;
        }
        return take(into, sizeof(into));
    }

    // The next `size` bytes; false when the file ends first.
    bool take(void* into, qint64 size) {
        auto* out = static_cast<uchar*>(into);
        while (size > 0) {
            if (at_ == end_) {
                const qint64 got =
                    file_.read(reinterpret_cast<char*>(buffer_.data()), qint64(buffer_.size()));
                if (got <= 0) {
                    return false;
                }
                at_ = 0;
                end_ = std::size_t(got);
            }
            const std::size_t part = std::min(std::size_t(size), end_ - at_);
            std::memcpy(out, buffer_.data() + at_, part);
            at_ += part;
            out += part;
            size -= qint64(part);
        }
        return true;
    }

private:
    static constexpr std::size_t kBufferBytes = 1 << 20;
    QFile& file_;
    std::vector<uchar> buffer_;
    std::size_t at_ = 0;
    std::size_t end_ = 0;
};

// The sampling table as a layer's thickness is looked up in it: the walk from the first record
// that stops at the first one whose minimum Z is above the layer (or NaN), asked in logarithmic
// time. That record is also the first whose running maximum of minimum Z lies above the layer,
// and the running maximum only grows, so a binary search finds it.
class ThicknessLookup {
public:
    explicit ThicknessLookup(const QVector<SLC_sampleTbItem_t>& table) : table_(table) {
        float highest = -std::numeric_limits<float>::infinity();
        for (const SLC_sampleTbItem_t& record : table) {
            // A NaN stops every walk that reaches it: above every height, +inf included.
            blocked_.push_back(blocked_.empty() ? std::isnan(record.minZ)
                                                : blocked_.back() || std::isnan(record.minZ));
            highest = std::isnan(record.minZ) ? highest : std::max(highest, record.minZ);
            runningMax_.push_back(highest);
        }
    }

    float at(float z) const {
        if (std::isnan(z)) {
            return kDefaultLayerThickness;
        }
        std::size_t low = 0;
        std::size_t high = table_.size();
        while (low < high) {
            const std::size_t middle = (low + high) / 2;
            if (blocked_[middle] || z < runningMax_[middle]) {
                high = middle;
            } else {
                low = middle + 1;
            }
        }
        return low == 0 ? kDefaultLayerThickness : table_[int(low - 1)].layerThickness;
    }

private:
    const QVector<SLC_sampleTbItem_t>& table_;
    std::vector<bool> blocked_;
    std::vector<float> runningMax_;
};

} // namespace

MeshEnd mySTLReader::readSlc() {
    if (!file.open(QIODevice::ReadOnly)) {
        return MeshEnd::AsItIs;
    }
    const qint64 terminator = findHeaderTerminator(file);
    if (terminator >= 0) {
        file.seek(terminator + 3 + kReservedAfterTerminator);
    }
    uchar count = 0;
    if (!file.getChar(reinterpret_cast<char*>(&count))) {
        count = 0;
    }
    if (count == 0 || file.pos() >= kCountMustEndBefore) {
        return MeshEnd::AsItIs;
    }

    std::vector<uchar> table(static_cast<std::size_t>(count) * kSampleRecordSize);
    if (!readExactly(file, table.data(), static_cast<qint64>(table.size()))) {
        sink.inform(QStringLiteral("SLC_sampleTbItem_t read less"));
        return MeshEnd::AsItIs;
    }
    for (int i = 0; i < count; ++i) {
        const uchar* record = table.data() + i * kSampleRecordSize;
        slcSampleTable.append(
            {floatAt(record), floatAt(record + 4), floatAt(record + 8), floatAt(record + 12)});
    }

    const ThicknessLookup thicknessAt(slcSampleTable);
    RecordReader records(file);
    // Where the records start, for the bytes still ahead of the reader.
    const qint64 recordsAt = file.pos();
    qint64 taken = 0;
    std::vector<uchar> vertices;
    uchar header[8];
    while (records.takeHeader(header)) {
        taken += sizeof(header);
        const float z = floatAt(header);
        const quint32 boundaries = qFromLittleEndian<quint32>(header + 4);
        if (boundaries == kEndOfContours) {
            break;
        }
        // A layer without boundaries needs no thickness: a file of them costs its reading only.
        const float top = boundaries == 0 ? z : z + thicknessAt.at(z);
        for (quint32 b = 0; b < boundaries; ++b) {
            if (!records.takeHeader(header)) {
                return MeshEnd::Finished;
            }
            taken += sizeof(header);
            const quint64 vertexCount = qFromLittleEndian<quint32>(header);
            if (vertexCount == 0) {
                continue;
            }
            // Vertices the rest of the file cannot hold are a short read, not an allocation.
            const qint64 bytes = static_cast<qint64>(8 * vertexCount);
            if (bytes > file.size() - recordsAt - taken) {
                return MeshEnd::Finished;
            }
            vertices.resize(static_cast<std::size_t>(bytes));
            taken += bytes;
            if (!records.take(vertices.data(), bytes)) {
                return MeshEnd::Finished;
            }
            // Each segment becomes a wall one layer high: two triangles sharing P0-Q1.
            for (quint64 i = 1; i < vertexCount; ++i) {
                const uchar* v0 = vertices.data() + 8 * (i - 1);
                const uchar* v1 = vertices.data() + 8 * i;
                const QVector3D p0(floatAt(v0), floatAt(v0 + 4), z);
                const QVector3D p1(floatAt(v1), floatAt(v1 + 4), z);
                const QVector3D q0(p0.x(), p0.y(), top);
                const QVector3D q1(p1.x(), p1.y(), top);
                if (sink.appendTriangle(q1, p0, p1) || sink.appendTriangle(q0, p0, q1)) {
                    return MeshEnd::Hidden;
                }
                if (sink.reachLimit(2)) {
                    return MeshEnd::Finished;
                }
            }
        }
    }
    return MeshEnd::Finished;
}
