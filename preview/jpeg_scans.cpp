#include "jpeg_scans.h"

namespace {

constexpr uchar kMarker = 0xFF;
constexpr uchar kStartOfImage = 0xD8;
constexpr uchar kEndOfImage = 0xD9;
constexpr uchar kStartOfScan = 0xDA;
// Markers that stand alone, without a length: restart markers and TEM.
bool standsAlone(uchar marker) {
    return (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01;
}

} // namespace

int jpegScanCount(const QByteArray& bytes) {
    const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
    const qint64 size = bytes.size();
    if (size < 2 || data[0] != kMarker || data[1] != kStartOfImage) {
        return -1;
    }
    int scans = 0;
    qint64 at = 2;
    while (at < size) {
        if (data[at] != kMarker) {
            return -1;
        }
        // Any number of fill bytes may stand before a marker.
        while (at < size && data[at] == kMarker) {
            ++at;
        }
        if (at >= size) {
            return -1;
        }
        const uchar marker = data[at++];
        if (marker == kEndOfImage) {
            return scans;
        }
        if (standsAlone(marker)) {
            continue;
        }
        if (at + 2 > size) {
            return -1;
        }
        const qint64 length = qint64(data[at]) << 8 | data[at + 1];
        if (length < 2 || at + length > size) {
            return -1;
        }
        at += length;
        if (marker != kStartOfScan) {
            continue;
        }
        ++scans;
        // The entropy-coded data runs to the next marker that is neither a stuffed zero nor a
        // restart marker; a file that ends in it ends its last scan (decoders take that).
        while (at < size) {
            if (data[at] == kMarker && at + 1 < size && data[at + 1] != 0 &&
                !standsAlone(data[at + 1]) && data[at + 1] != kMarker) {
                break;
            }
            ++at;
        }
    }
    return scans > 0 ? scans : -1;
}
