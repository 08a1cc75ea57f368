// Writes one small sample of each supported format into a folder, from our own writers: the
// files the main job makes thumbnails of. Each carries a recognisable picture or model.
//
//   make_samples OUTDIR

#include "dlp_writer.h"
#include "rle16_writer.h"

#include <QDir>
#include <QFile>
#include <QVector>

#include <cmath>
#include <cstdio>

namespace {

// A ring seen from above, as a slicer previews a printed ring: 5-6-5 colours, row-major,
// pixel 0 in the background colour (the readers key on it).
QVector<quint16> ringPicture(int side) {
    const quint16 background = 0x0000;
    const quint16 resin = rgb565(200, 200, 200);
    QVector<quint16> pixels(side * side, background);
    const double centre = (side - 1) / 2.0;
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            const double r = std::hypot(x - centre, y - centre);
            if (r > side * 0.25 && r < side * 0.45) {
                pixels[y * side + x] = resin;
            }
        }
    }
    return pixels;
}

bool save(const QDir& out, const QString& name, const QByteArray& bytes) {
    QFile file(out.filePath(name));
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

DlpFile dlpSample(int headerKind) {
    constexpr int kSide = 160;
    DlpFile file;
    file.headerKind = headerKind;
    file.width = kSide;
    file.height = kSide;
    file.picture = encodeRle16(ringPicture(kSide));
    // Layer data follows the preview in a real file; a little stands in for it.
    file.trailing = QByteArray(256, '\0');
    return file;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(out.path())) {
        return 1;
    }
    bool ok = true;
    ok &= save(out, "sample.kvrdlp", dlpSample(0).bytes());
    ok &= save(out, "sample.lqx", dlpSample(0).bytes());
    ok &= save(out, "sample.photon", dlpSample(0).bytes());
    ok &= save(out, "sample.fdg", dlpSample(1).bytes());
    return ok ? 0 : 1;
}
