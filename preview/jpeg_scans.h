#pragma once

#include <QByteArray>

// The number of scans (start-of-scan segments) of a JPEG file, walked segment by segment
// without decoding anything; -1 when its structure is broken, or it ends before a scan.
// A progressive JPEG is decoded scan after scan over the whole picture, so a few bytes per scan
// can stand for minutes of decoding; the scans tell that cost before the decoder is started.
int jpegScanCount(const QByteArray& bytes);
