// Helpers of bench/compare.
//
//   compare_tool meshes OUTDIR   the comparison's meshes: closed tori from our own writer
//   compare_tool coverage PNG    the share of pixels that differ from the corner pixel, in %
//   compare_tool slices OUTDIR N N lqx files with a ring preview

#include "mesh_writers.h"
#include "ring_picture.h"

#include <QDir>
#include <QFile>
#include <QImage>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool save(const QDir& out, const char* name, const QByteArray& bytes) {
    QFile file(out.filePath(QString::fromLatin1(name)));
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

int meshes(const QDir& out) {
    QDir().mkpath(out.path());
    // 2 x rings x sides triangles each.
    bool ok = save(out, "torus-10k.stl", binaryStl(torus(40, 15, 100, 50)));
    ok &= save(out, "torus-100k.stl", binaryStl(torus(40, 15, 500, 100)));
    ok &= save(out, "torus-1m.stl", binaryStl(torus(40, 15, 1000, 500)));
    ok &= save(out, "torus-4m.stl", binaryStl(torus(40, 15, 2000, 1000)));
    ok &= save(out, "torus-100k-ascii.stl", asciiStl(torus(40, 15, 500, 100)));
    ok &= save(out, "torus-1m.obj", objFile(torus(40, 15, 1000, 500)));
    return ok ? 0 : 1;
}

int slices(const QDir& out, int count) {
    QDir().mkpath(out.path());
    const QByteArray bytes = ringLqx(160);
    bool ok = true;
    for (int i = 0; i < count; ++i) {
        const QByteArray name =
            QStringLiteral("part%1.lqx").arg(i, 4, 10, QLatin1Char('0')).toLatin1();
        ok &= save(out, name.constData(), bytes);
    }
    return ok ? 0 : 1;
}

int coverage(const QString& path) {
    const QImage image = QImage(path).convertToFormat(QImage::Format_ARGB32);
    if (image.isNull()) {
        std::printf("0\n");
        return 1;
    }
    const QRgb corner = image.pixel(0, 0);
    qint64 differing = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            differing += image.pixel(x, y) != corner ? 1 : 0;
        }
    }
    std::printf("%.1f\n", 100.0 * differing / (qint64(image.width()) * image.height()));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "meshes") == 0) {
        return meshes(QDir(QString::fromLocal8Bit(argv[2])));
    }
    if (argc == 4 && std::strcmp(argv[1], "slices") == 0) {
        return slices(QDir(QString::fromLocal8Bit(argv[2])), std::atoi(argv[3]));
    }
    if (argc == 3 && std::strcmp(argv[1], "coverage") == 0) {
        return coverage(QString::fromLocal8Bit(argv[2]));
    }
    std::fprintf(stderr, "usage: %s meshes OUTDIR | coverage PNG | slices OUTDIR N\n", argv[0]);
    return 2;
}
