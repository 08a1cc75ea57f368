// Writes the seed corpus of every fuzz target from our own writers: one small valid file of
// each format and a few that take the readers' other paths.
//
//   make_seeds OUTDIR        (OUTDIR/<target>/<seed>)

#include "bgcode_writer.h"
#include "dlp_writer.h"
#include "gcode_writer.h"
#include "gf_writer.h"
#include "jpeg_writer.h"
#include "mesh_writers.h"
#include "photons_writer.h"
#include "picture_files.h"
#include "ply_writer.h"
#include "rle16_writer.h"
#include "svgx_writer.h"
#include "threemf_writer.h"
#include "voxalis_writer.h"

#include <QDir>
#include <QFile>

#include <cstdio>

namespace {

QDir out;
bool ok = true;

void seed(const char* target, const char* name, const QByteArray& bytes) {
    const QString folder = out.filePath(QString::fromLatin1(target));
    QDir().mkpath(folder);
    QFile file(folder + QLatin1Char('/') + QLatin1String(name));
    ok &=
        file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QByteArray picture() {
    return Rle16Writer().run(0, 5).pixel(0x8410).run(0x1234, 3).word(0x0020).bytes();
}

// Packages small enough to mutate: a thumbnail of a few pixels, a model with components, a
// Production part and stored entries, so that both the picture and the model paths are seeded.
void threeMfSeeds() {
    const QVector<Triangle> triangle = {{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}};
    ThreeMfPackage plain;
    plain.model = threeMfModel({{1, triangle, {}, {}}}, {{1, "2 0 0 0 2 0 0 0 2 1 1 1", {}}});
    seed("threemf", "mesh", plain.bytes());
    ThreeMfPackage stored = plain;
    stored.deflate = false;
    seed("threemf", "stored", stored.bytes());
    ThreeMfPackage pictured = plain;
    pictured.thumbnail = pngDeclaring(2, 2);
    seed("threemf", "thumbnail", pictured.bytes());
    ThreeMfPackage assembled;
    assembled.model = threeMfModel(
        {{1, triangle, {}, {}}, {2, {}, {{1, {}, {}}, {3, {}, "/3D/p.model"}}, {}}}, {{2, {}, {}}});
    assembled.extraParts = {
        {"3D/p.model", threeMfModel({{3, triangle, {}, {}}}, {}), true, {}, {}}};
    seed("threemf", "components", assembled.bytes());
    // Stored, so that mutations reach the XML and the zip directory rather than a deflate
    // stream: relationships of several kinds, components reaching into parts of their own,
    // entries that share their data, a progressive JPEG, entities and comments.
    ThreeMfPackage shapes = assembled;
    shapes.deflate = false;
    shapes.thumbnail = progressiveJpeg(16, 8, 3);
    shapes.thumbnailName = "Metadata/t.jpeg";
    shapes.extraParts = {{"3D/p.model",
                          threeMfModel({{3, triangle, {}, {}}}, {}) + "<!-- a > b -->",
                          false,
                          {},
                          {}}};
    QVector<ZipEntry> entries = shapes.entries();
    entries[1].data.replace("</Relationships>",
                            "<Relationship Target=\"p.model\" Id=\"x\" Type=\"other\" "
                            "TargetMode=\"External\"/></Relationships>");
    seed("threemf", "shapes", zipArchive(entries));
    QVector<ZipEntry> sharing = entries;
    sharing.append({"3D/q.model", {}, false, {}, {}, {}, int(entries.size()) - 1});
    seed("threemf", "shared entries", zipArchive(sharing));
    QVector<ZipEntry> declaring = entries;
    declaring[2].data.replace("<model ", "<!DOCTYPE m [<!ENTITY e \"x\">]><model a=\"&e;&amp;\" ");
    seed("threemf", "entities", zipArchive(declaring));
    // A slicer project: its first plate's picture declares 50,000 x 50,000 pixels, before a
    // package thumbnail that can be shown, and its mesh lies in a part of its own.
    ThreeMfPackage project = assembled;
    project.deflate = false;
    project.thumbnail = pngDeclaring(2, 2);
    project.extraParts.append({"Metadata/plate_1.png", pngDeclaring(50000, 50000), false, {}, {}});
    seed("threemf", "plate picture", project.bytes());
    // Stored colours: base materials and a colour group named by the object and by corners.
    ThreeMfPackage painted;
    painted.deflate = false;
    ThreeMfObject object{1, {}, {}, {}, "pid=\"5\" pindex=\"0\""};
    object.rawMesh = "<vertices><vertex x=\"0\" y=\"0\" z=\"0\"/><vertex x=\"1\" y=\"0\" "
                     "z=\"0\"/><vertex x=\"0\" y=\"1\" z=\"0\"/></vertices><triangles>"
                     "<triangle v1=\"0\" v2=\"1\" v3=\"2\"/><triangle v1=\"0\" v2=\"2\" "
                     "v3=\"1\" pid=\"6\" p1=\"0\" p2=\"1\" p3=\"2\"/></triangles>";
    painted.model = threeMfModel(
        {object}, {{1, {}, {}}},
        "<basematerials id=\"5\"><base name=\"a\" displaycolor=\"#FF000080\"/></basematerials>"
        "<m:colorgroup id=\"6\"><m:color color=\"#00FF00\"/><m:color color=\"#0000FF\"/>"
        "<m:color color=\"#123456\"/></m:colorgroup>");
    seed("threemf", "colours", painted.bytes());
}

// PLY in each encoding, with the properties scanners add, a point cloud, and the hostile
// shapes: vertices beyond the file, a list of billions, corners negative or past the vertices.
void plySeeds() {
    const QVector<Triangle> triangles = cube(2);
    const PlyTable vertices = plyVertices(triangles);
    const PlyTable faces = plyFaces(triangles.size(), "uchar", "int");
    seed("ply", "text", plyFile(PlyForm::Ascii, {vertices, faces}));
    seed("ply", "little-endian", plyFile(PlyForm::LittleEndian, {vertices, faces}));
    seed("ply", "big-endian", plyFile(PlyForm::BigEndian, {vertices, faces}));
    seed("ply", "cloud", plyFile(PlyForm::Ascii, {vertices}));
    PlyTable coloured = vertices;
    coloured.columns += {{"uchar", "red"}, {"float", "green"}, {"double", "s", "ushort"}};
    for (QVector<double>& row : coloured.rows) {
        row += {200, 0.5, 1, 3};
    }
    PlyTable polygons = {"face",
                         {{"uchar", "flags"}, {"short", "vertex_index", "uint"}},
                         {{0, 5, 0, 1, 2, 3, 4}, {0, 3, 0, -1, 2}, {0, 3, 0, 400, 2}}};
    seed("ply", "scanned", plyFile(PlyForm::BigEndian, {coloured, polygons}));
    PlyTable claiming = vertices;
    claiming.declaredCount = 4000000000u;
    seed("ply", "vertices beyond the file", plyFile(PlyForm::LittleEndian, {claiming}));
    seed("ply", "list of billions",
         plyFile(PlyForm::LittleEndian,
                 {vertices, PlyTable{"face",
                                     {{"uint", "vertex_indices", "uint"}},
                                     {{4294967295.0, 0, 1, 2}, {3, 4294967295.0, 1, 2}}}}));
}

void dlpSeeds(const char* target, int headerKind) {
    DlpFile file;
    file.headerKind = headerKind;
    file.width = 3;
    file.height = 3;
    file.picture = picture();
    seed(target, "valid", file.bytes());
    DlpFile wide = file;
    wide.width = 40;
    wide.height = 2;
    seed(target, "wide", wide.bytes());
    DlpFile guard = file;
    guard.guardOffset = 100000;
    seed(target, "guard", guard.bytes());
}

// A picture of a few pixels with alpha, in each embedded format.
QImage tinyPicture() {
    QImage image(3, 2, QImage::Format_ARGB32);
    image.fill(qRgba(20, 200, 90, 255));
    image.setPixel(0, 0, qRgba(200, 20, 20, 100));
    image.setPixel(2, 1, 0);
    return image;
}

// Text G-code with a block of each variant, OrcaSlicer's wrapping and CRLF lines; binary G-code
// with and without checksums, its metadata deflated.
void gcodeSeeds() {
    const QImage image = tinyPicture();
    GcodeFile text;
    text.moves = GcodeFile::gcodeMoves(3);
    text.previews = {{"thumbnail", image.size(), pngFile(image), {}, {}, 78, true},
                     {"thumbnail_QOI", {2, 2}, qoiFile(image.copy(0, 0, 2, 2)), {}, {}, 78, true}};
    seed("gcode", "prusa", text.bytes());
    text.previews = {{"thumbnail_JPG", image.size(), jpegFile(image), {}, {}, 78, true}};
    text.thumbnailBlock = true;
    text.lineEnd = "\r\n";
    seed("gcode", "orca", text.bytes());
    BgcodeFile binary =
        BgcodeFile::sliced({bgcodeThumbnail(0, image.size(), pngFile(image)),
                            bgcodeThumbnail(2, {2, 2}, qoiFile(image.copy(0, 0, 2, 2)))},
                           1);
    seed("bgcode", "checksums", binary.bytes());
    binary.checksumType = 0;
    binary.blocks[2] = bgcodeThumbnail(1, image.size(), jpegFile(image));
    seed("bgcode", "plain", binary.bytes());
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
        return 2;
    }
    out = QDir(QString::fromLocal8Bit(argv[1]));
    for (const char* target : {"kvrdlp", "lqx", "photon"}) {
        dlpSeeds(target, 0);
    }
    dlpSeeds("fdg", 1);

    PhotonsFile photons;
    photons.width = 3;
    photons.height = 2;
    photons.pixels = photonsPixel(10, 200, 30).repeated(6);
    seed("photons", "valid", photons.bytes());

    GfFile gf;
    gf.width = 3;
    gf.height = 3;
    gf.pixels = gfPixel(1, 2, 3).repeated(4) + gfPixel(900, 20, 3).repeated(5);
    seed("gf", "valid", gf.bytes());

    SvgxFile svgx;
    QImage bmp(44, 44, QImage::Format_RGB32);
    bmp.fill(qRgb(40, 160, 230));
    svgx.preview = bmpFile(bmp);
    seed("svgx", "valid", svgx.bytes());
    svgx.previewOffset = 0;
    seed("svgx", "old-version", svgx.bytes());

    VoxalisFile project;
    project.width = 20;
    project.height = 10;
    project.picture = picture();
    seed("voxalis", "valid", project.bytes());
    project.reference = 0;
    seed("voxalis", "old-version", project.bytes());

    gcodeSeeds();

    // The fuzzers put the STL forms' own prefix in front of every input.
    threeMfSeeds();
    seed("binary_stl", "cube", binaryStl(cube(2)).mid(80));
    seed("streamed_stl", "cube", binaryStl(cube(2)).mid(80));
    // Far from the origin the cull's slack grows; a count above the facets ends the stream
    // early.
    seed("streamed_stl", "far-sphere", binaryStl(sphere(1, 6, 12, {1e5f, 7e4f, -4e4f})).mid(80));
    seed("streamed_stl", "short", binaryStl(cube(2), "", 40).mid(80));
    const QByteArray ascii = asciiStl(cube(2));
    seed("ascii_stl", "cube", ascii.mid(ascii.indexOf('\n') + 1));
    seed("obj", "cube", objFile(cube(2)));
    seed("obj", "polygon",
         "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0 2 1\nf 1 2 3 4 5\nf 1/1/1 2//2 3\n");
    SlcFile slc;
    slc.layers = {{0.0f, {squareBoundary(5)}}, {0.05f, {squareBoundary(5), {{1, 1}}}}};
    seed("slc", "band", slc.bytes());
    plySeeds();
    return ok ? 0 : 1;
}
