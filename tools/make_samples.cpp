// Writes one small sample of each supported format into a folder, from our own writers: the
// files the main job makes thumbnails of. Each carries a recognisable picture or model.
//
//   make_samples OUTDIR

#include "bgcode_writer.h"
#include "dlp_writer.h"
#include "gcode_writer.h"
#include "gf_writer.h"
#include "mesh_writers.h"
#include "photons_writer.h"
#include "picture_files.h"
#include "ply_writer.h"
#include "ring_picture.h"
#include "rle16_writer.h"
#include "svgx_writer.h"
#include "threemf_writer.h"
#include "voxalis_writer.h"

#include <QBuffer>
#include <QImage>

#include <QDir>
#include <QFile>
#include <QVector>

#include <cmath>
#include <cstdio>

namespace {

constexpr int kSide = 160;

// Every pixel of an image, row by row, in a format's own encoding.
template <typename Container, typename Encode>
Container encodePixels(const QImage& image, Encode encode) {
    Container out;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            out += encode(qRed(p), qGreen(p), qBlue(p));
        }
    }
    return out;
}

bool save(const QDir& out, const QString& name, const QByteArray& bytes) {
    QFile file(out.filePath(name));
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

DlpFile dlpSample(int headerKind) {
    DlpFile file;
    file.headerKind = headerKind;
    file.width = kSide;
    file.height = kSide;
    file.picture = encodeRle16(ringPixels(kSide));
    // Layer data follows the preview in a real file; a little stands in for it.
    file.trailing = QByteArray(256, '\0');
    return file;
}

PhotonsFile photonsSample() {
    PhotonsFile file;
    file.width = kSide;
    file.height = kSide;
    file.pixels = encodePixels<QByteArray>(ringImage(kSide, qRgb(240, 160, 40)), &photonsPixel);
    return file;
}

GfFile gfSample() {
    GfFile file;
    file.width = kSide;
    file.height = kSide;
    file.pixels = encodePixels<QByteArray>(ringImage(kSide, qRgb(220, 220, 220)),
                                           [](int r, int g, int b) { return gfPixel(r, g, b); });
    return file;
}

SvgxFile svgxSample() {
    SvgxFile file;
    file.preview = bmpFile(ringImage(44, qRgb(40, 160, 230)));
    return file;
}

VoxalisFile voxalisSample() {
    VoxalisFile file;
    file.width = kSide;
    file.height = kSide;
    file.picture = encodeRle16(ringPixels(kSide));
    return file;
}

// A ring printed as 120 slices: each layer an outer and an inner circle.
SlcFile slcSample() {
    SlcFile file;
    const auto circle = [](double radius) {
        QVector<QPointF> points;
        for (int i = 0; i <= 72; ++i) {
            const double angle = 2 * M_PI * i / 72;
            points.append({radius * std::cos(angle), radius * std::sin(angle)});
        }
        return points;
    };
    for (int layer = 0; layer < 120; ++layer) {
        file.layers.append({layer * 0.05f, {circle(4.0), circle(2.5)}});
    }
    return file;
}

// A 3MF package as a slicer saves it: the ring as its plate picture, a torus as its model.
// Without the picture it is a CAD export: two tori, the second turned upright, moved, and in
// the amber of its base material.
QByteArray threeMfSample(bool withThumbnail) {
    ThreeMfPackage package;
    const ThreeMfObject torusObject{1, torus(30, 10, 64, 32), {}, {}};
    if (withThumbnail) {
        package.model = threeMfModel({torusObject}, {{1, {}, {}}});
        QBuffer png(&package.thumbnail);
        png.open(QIODevice::WriteOnly);
        ringImage(kSide, qRgb(0x40, 0xA0, 0xE0)).save(&png, "png");
    } else {
        const QByteArray amber = "<basematerials id=\"7\"><base name=\"amber resin\" "
                                 "displaycolor=\"#E08A1E\"/></basematerials>\n";
        const ThreeMfObject amberTorus{3, torusObject.triangles, {}, {}, "pid=\"7\" pindex=\"0\""};
        const ThreeMfObject pair{2, {}, {{1, {}, {}}, {3, "1 0 0 0 0 1 0 -1 0 40 0 0", {}}}, {}};
        package.model = threeMfModel({torusObject, amberTorus, pair}, {{2, {}, {}}}, amber);
    }
    return package.bytes();
}

// A project as Bambu Studio and OrcaSlicer save it: the mesh in a part of its own under
// 3D/Objects, the first plate's picture (the ring on a clear plate) and, as the package
// thumbnail, a cover picture that the plate picture goes before.
QByteArray slicerProjectSample() {
    ThreeMfPackage package;
    package.model = threeMfModel({{2, {}, {{1, {}, "/3D/Objects/object_1.model"}}, {}}},
                                 {{2, "1 0 0 0 1 0 0 0 1 128 128 10", {}}});
    QBuffer cover(&package.thumbnail);
    cover.open(QIODevice::WriteOnly);
    ringImage(kSide, qRgb(0xE0, 0x40, 0x40)).save(&cover, "png");
    package.thumbnailName = "Metadata/cover.png";
    QByteArray plate;
    QBuffer platePng(&plate);
    platePng.open(QIODevice::WriteOnly);
    ringOnClear({512, 512}, qRgb(0x40, 0xA0, 0xE0)).save(&platePng, "png");
    package.extraParts = {{"3D/Objects/object_1.model",
                           threeMfModel({{1, torus(30, 10, 64, 32), {}, {}}}, {}),
                           true,
                           {},
                           {}},
                          {"Metadata/plate_1.png", plate, false, {}, {}}};
    return package.bytes();
}

// A scan as a mesh tool saves it, binary little-endian with int corners and the scanner's
// colours, green below to orange on top; and as a scanner's point cloud, in text: the torus's
// vertices without faces or colours.
QByteArray plySample(bool withFaces) {
    const QVector<Triangle> triangles = torus(30, 10, 64, 32);
    if (withFaces) {
        PlyTable vertices = plyVertices(triangles);
        vertices.columns += {{"uchar", "red"}, {"uchar", "green"}, {"uchar", "blue"}};
        for (QVector<double>& row : vertices.rows) {
            const double up = (row[2] + 10) / 20; // the torus's z runs from -10 to 10
            row += {std::round(60 + 180 * up), std::round(170 - 40 * up), 60};
        }
        return plyFile(PlyForm::LittleEndian,
                       {vertices, plyFaces(triangles.size(), "uchar", "int")});
    }
    PlyTable points = plyVertices(triangles);
    // Each triangle's first corner: every grid point of the torus twice over.
    QVector<QVector<double>> rows;
    for (int i = 0; i < points.rows.size(); i += 3) {
        rows.append(points.rows[i]);
    }
    points.rows = rows;
    return plyFile(PlyForm::Ascii, {points});
}

// A filament print as PrusaSlicer slices it: the ring in three sizes, the middle one QOI, on
// a clear background; at 128 pixels the middle one serves, at 256 the largest.
QByteArray gcodeSample() {
    const QRgb resin = qRgb(0x40, 0xA0, 0xE0);
    GcodeFile file;
    file.previews = {
        {"thumbnail", {16, 16}, pngFile(ringOnClear({16, 16}, resin)), {}, {}, 78, true},
        {"thumbnail_QOI", {220, 124}, qoiFile(ringOnClear({220, 124}, resin)), {}, {}, 78, true},
        {"thumbnail", {480, 240}, pngFile(ringOnClear({480, 240}, resin)), {}, {}, 78, true}};
    file.moves = GcodeFile::gcodeMoves(2000);
    return file.bytes();
}

QByteArray bgcodeSample() {
    const QRgb resin = qRgb(0x40, 0xA0, 0xE0);
    return BgcodeFile::sliced(
               {bgcodeThumbnail(0, {16, 16}, pngFile(ringOnClear({16, 16}, resin))),
                bgcodeThumbnail(2, {313, 173}, qoiFile(ringOnClear({313, 173}, resin))),
                bgcodeThumbnail(0, {480, 240}, pngFile(ringOnClear({480, 240}, resin)))})
        .bytes();
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
    ok &= save(out, "sample.photons", photonsSample().bytes());
    ok &= save(out, "sample.gf", gfSample().bytes());
    ok &= save(out, "sample.svgx", svgxSample().bytes());
    ok &= save(out, "sample.voxalis", voxalisSample().bytes());
    ok &= save(out, "sample.gcode", gcodeSample());
    ok &= save(out, "sample.bgcode", bgcodeSample());
    ok &= save(out, "sample.stl", binaryStl(torus(40, 15, 96, 48), "VOXALIS sample torus"));
    ok &= save(out, "sample-ascii.stl", asciiStl(cube(20), "sample_cube"));
    ok &= save(out, "sample.obj", objFile(torus(30, 10, 64, 32)));
    ok &= save(out, "sample.slc", slcSample().bytes());
    ok &= save(out, "sample.3mf", threeMfSample(true));
    ok &= save(out, "sample-mesh.3mf", threeMfSample(false));
    ok &= save(out, "sample-project.3mf", slicerProjectSample());
    ok &= save(out, "sample.ply", plySample(true));
    ok &= save(out, "sample-cloud.ply", plySample(false));
    return ok ? 0 : 1;
}
