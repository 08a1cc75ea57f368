#include "log.h"
#include "my_stl_reader.h"

#include <QtEndian>

#include <cstring>
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

} // namespace

void mySTLReader::readSlc() {
    if (!checkSize(true) || !file.open(QIODevice::ReadOnly)) {
        return;
    }
    const qint64 terminator = findHeaderTerminator(file);
    if (terminator >= 0) {
        file.seek(terminator + 3 + kReservedAfterTerminator);
    }
    chunk = VertexChunk();
    uchar count = 0;
    if (!file.getChar(reinterpret_cast<char*>(&count))) {
        count = 0;
    }
    if (count == 0 || file.pos() >= kCountMustEndBefore) {
        file.close();
        return;
    }

    std::vector<uchar> table(static_cast<std::size_t>(count) * kSampleRecordSize);
    if (!readExactly(file, table.data(), static_cast<qint64>(table.size()))) {
        file.close();
        writeLog(kInfoLabel + QStringLiteral("%1\n%2").arg(
                                  QStringLiteral("SLC_sampleTbItem_t read less"), filePath));
        return;
    }
    for (int i = 0; i < count; ++i) {
        const uchar* record = table.data() + i * kSampleRecordSize;
        slcSampleTable.append(
            {floatAt(record), floatAt(record + 4), floatAt(record + 8), floatAt(record + 12)});
    }

    std::vector<uchar> vertices;
    uchar header[8];
    while (readExactly(file, header, sizeof(header))) {
        const float z = floatAt(header);
        const quint32 boundaries = qFromLittleEndian<quint32>(header + 4);
        if (boundaries == kEndOfContours) {
            break;
        }
        // Thickness of the last record at or below z, for a table in ascending order.
        float thickness = kDefaultLayerThickness;
        for (const SLC_sampleTbItem_t& record : slcSampleTable) {
            if (!(z >= record.minZ)) {
                break;
            }
            thickness = record.layerThickness;
        }
        const float top = z + thickness;
        for (quint32 b = 0; b < boundaries; ++b) {
            if (!readExactly(file, header, sizeof(header))) {
                finishModel();
                return;
            }
            const quint64 vertexCount = qFromLittleEndian<quint32>(header);
            if (vertexCount == 0) {
                continue;
            }
            // Vertices the rest of the file cannot hold are a short read, not an allocation.
            const qint64 bytes = static_cast<qint64>(8 * vertexCount);
            if (bytes > file.size() - file.pos()) {
                finishModel();
                return;
            }
            vertices.resize(static_cast<std::size_t>(bytes));
            if (!readExactly(file, vertices.data(), bytes)) {
                finishModel();
                return;
            }
            // Each segment becomes a wall one layer high: two triangles sharing P0-Q1.
            for (quint64 i = 1; i < vertexCount; ++i) {
                const uchar* v0 = vertices.data() + 8 * (i - 1);
                const uchar* v1 = vertices.data() + 8 * i;
                const QVector3D p0(floatAt(v0), floatAt(v0 + 4), z);
                const QVector3D p1(floatAt(v1), floatAt(v1 + 4), z);
                const QVector3D q0(p0.x(), p0.y(), top);
                const QVector3D q1(p1.x(), p1.y(), top);
                if (appendTriangle(q1, p0, p1) || appendTriangle(q0, p0, q1)) {
                    return;
                }
                if (storedReachLimit(2)) {
                    finishModel();
                    return;
                }
            }
        }
    }
    finishModel();
}
