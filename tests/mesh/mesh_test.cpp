#include "facet_convert.h"
#include "files.h"
#include "jpeg_writer.h"
#include "kept_pictures.h"
#include "log.h"
#include "memory_probes.h"
#include "mesh_writers.h"
#include "my_stl_reader.h"
#include "opc_package.h"
#include "picture_files.h"
#include "ply_writer.h"
#include "preview_picture.h"
#include "preview_suffix.h"
#include "threemf_writer.h"

#include <QFileInfo>
#include <QImage>

#include <cfloat>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

namespace {

const float kNaN = float(qQNaN());
const QVector<Triangle> kTwo = {{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}},
                                {{0, 0, 1}, {0, 1, 1}, {1, 0, 1}}};

// The memory state the probes report, and the messages the readers log.
quint32 load = 10;
qint64 available = 8ll << 30;
QStringList logged;

class MeshReader : public ::testing::Test {
protected:
    void SetUp() override {
        setMemoryStatusSource([](LPMEMORYSTATUSEX status) {
            status->dwMemoryLoad = load;
            status->ullAvailPhys = quint64(available);
            return TRUE;
        });
        setLogSink([](const QString& message) { logged.append(message); });
    }
};

QVector<float> allFloats(const mySTLReader& reader) {
    QVector<float> floats;
    for (const VertexChunk& chunk : reader.chunks) {
        floats += QVector<float>(chunk.data(), chunk.data() + chunk.size());
    }
    return floats;
}

// The bytes of floats, so that NaNs and signed zeros compare too.
QByteArray bytesOf(const QVector<float>& floats) {
    return {reinterpret_cast<const char*>(floats.data()), int(floats.size() * sizeof(float))};
}

QByteArray streamedBytes(FacetStream& stream) {
    QByteArray bytes;
    while (const VertexChunk* piece = stream.next()) {
        bytes.append(reinterpret_cast<const char*>(piece->data()), int(piece->bytes()));
    }
    return bytes;
}

// The plain conversion, which processors without the vector one use, agrees with it bit for
// bit on a binary STL's whole records, and so does the box measured in two parts joined.
void expectPlainConversionAgrees(const QByteArray& file) {
    const qint64 facets = (file.size() - 84) / kFacetRecordSize;
    const QByteArray padded = file + QByteArray(16, '\0');
    const uchar* records = reinterpret_cast<const uchar*>(padded.constData()) + 84;
    const FacetBox open = {{FLT_MAX, FLT_MAX, FLT_MAX, 0}, {-FLT_MAX, -FLT_MAX, -FLT_MAX, 0}};
    const auto bytes = [](const FacetBox& box) {
        return QByteArray(reinterpret_cast<const char*>(box.low), 12) +
               QByteArray(reinterpret_cast<const char*>(box.high), 12) +
               QByteArray(reinterpret_cast<const char*>(box.nanLanes), 12);
    };
    for (const bool withNormals : {false, true}) {
        const std::size_t floats = std::size_t(facets) * floatsPerFacet(withNormals);
        std::vector<float> vector(floats + 1), plain(floats + 1);
        FacetBox vectorBox = open, plainBox = open;
        convertFacets(records, facets, withNormals, vector.data(), vectorBox);
        convertFacetsPlain(records, facets, withNormals, plain.data(), plainBox);
        EXPECT_EQ(std::memcmp(vector.data(), plain.data(), floats * sizeof(float)), 0);
        EXPECT_EQ(bytes(vectorBox), bytes(plainBox));
    }
    // Measured without storing, as the two threads do, in halves.
    const qint64 split = facets / 2;
    FacetBox vectorBox = open, plainBox = open, vectorLater = open, plainLater = open;
    convertFacets(records, split, false, nullptr, vectorBox);
    convertFacetsPlain(records, split, false, nullptr, plainBox);
    const uchar* later = records + split * kFacetRecordSize;
    convertFacets(later, facets - split, false, nullptr, vectorLater);
    convertFacetsPlain(later, facets - split, false, nullptr, plainLater);
    appendBox(vectorBox, vectorLater);
    appendBoxPlain(plainBox, plainLater);
    EXPECT_EQ(bytes(vectorBox), bytes(plainBox));
}

// What a reader made of a file: facets per chunk ("-" for none), the largest extent, the flags
// that keep it from being drawn, and what it logged.
QString outcome(const mySTLReader& r) {
    QStringList chunks;
    for (const VertexChunk& chunk : r.chunks) {
        chunks << QString::number(chunk.size() / floatsPerFacet(r.withNormals));
    }
    QString text =
        (chunks.isEmpty() ? "-" : chunks.join('+')) + " extent " + QString::number(r.maxExtent);
    // A package places its objects: its whole box, low corner then high, shows where.
    if (r.filePath.endsWith(".3mf", Qt::CaseInsensitive)) {
        text += " box";
        for (const float bound : {r.minX, r.minY, r.minZ, r.maxX, r.maxY, r.maxZ}) {
            text += ' ' + QString::number(bound);
        }
    }
    text += QString(r.renderable ? "" : " hidden") + (r.modelValid ? "" : " invalid");
    for (const QString& message : logged) {
        text += " log: " + message;
    }
    return text.replace(kInfoLabel, "info ").replace(r.filePath, "PATH");
}

// Layers sampled 0.05 thick from z = 0, under a header of one byte unless told.
QByteArray slc(const QVector<SlcLayer>& layers, const QByteArray& header = "h") {
    return SlcFile{header, {{0, 0.05f}}, layers}.bytes();
}

ThreeMfObject meshObject(quint32 id, const QVector<Triangle>& triangles) {
    return {id, triangles, {}, {}};
}

ThreeMfObject assembly(quint32 id, const QVector<ThreeMfReference>& components) {
    return {id, {}, components, {}};
}

// A package building object 1 unless told.
QByteArray package(const QVector<ThreeMfObject>& objects,
                   const QVector<ThreeMfReference>& build = {{1, {}, {}}}, bool deflate = true) {
    ThreeMfPackage p;
    p.model = threeMfModel(objects, build);
    p.deflate = deflate;
    return p.bytes();
}

// The package with one entry of its root model part changed.
QByteArray withModelEntry(const QByteArray& model, std::optional<quint32> size,
                          std::optional<quint32> compressed = std::nullopt) {
    ThreeMfPackage p;
    p.model = model;
    QVector<ZipEntry> entries = p.entries();
    entries[2].declaredSize = size;
    entries[2].declaredCompressedSize = compressed;
    return zipArchive(entries);
}

QByteArray picture(const char* format, int width, int height, QRgb colour) {
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(colour);
    return qstrcmp(format, "png") == 0 ? pngFile(image) : jpegFile(image);
}

QByteArray withThumbnail(const QByteArray& thumbnail, const QByteArray& name = "Metadata/t.png") {
    ThreeMfPackage p;
    p.model = threeMfModel({meshObject(1, cube(1))}, {{1, {}, {}}});
    p.thumbnail = thumbnail;
    p.thumbnailName = name;
    return p.bytes();
}

// A package whose model the reader refused: nothing read, the box still empty.
const QString kUnread = "- extent 0 box 3.40282e+38 3.40282e+38 3.40282e+38 -3.40282e+38 "
                        "-3.40282e+38 -3.40282e+38 hidden";

// Damaged, it is invalid too (level 1); sound but too large to read, only hidden (level 2).
QString refused(int level, const QString& why) {
    return kUnread + (level == 1 ? " invalid" : "") +
           " log: info mySTLReader::readThreeMf : " + QString::number(level) + ' ' + why + "\nPATH";
}

struct Case {
    QString name;
    QByteArray bytes;
    QString outcome;
    QVector<float> floats = {}; // compared unless empty
    bool hasGeometry = true;
    quint32 load = 10;
    qint64 available = 8ll << 30;
    quint64 facetLimit = kStoredFacetLimit;
};

TEST_F(MeshReader, ReadsEachFileToItsOutcomeStreamedOrNot) {
    const QVector<float> two = {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 1, 0, 1};
    // (p2 - p1) x (p3 - p2) after each position: +z for the first, -z for the second.
    const QVector<float> twoNormals = {0, 0, 0, 0, 0, 1,  1, 0, 0, 0, 0, 1,  0, 1, 0, 0, 0, 1, //
                                       0, 0, 1, 0, 0, -1, 0, 1, 1, 0, 0, -1, 1, 0, 1, 0, 0, -1};
    const QByteArray oddNormals = binaryStl(kTwo, "", {}, {9, -9, 9});
    const QByteArray obj = objFile(cube(1));
    const QString guard = " hidden log: 内存已经超过百分之90     PATH";
    const QString tooLarge = "- extent 0 hidden log: info file is too large\nPATH";
    const QString readLess = " log: info read less";
    const QString cut = " log: info too many facets, read in part\nPATH";
    // 0xFFFFFFFF facets need 144 GiB; memory up to one and a half times that refuses them.
    const QByteArray facets = binaryStl(kTwo, "x", 0xFFFFFFFF);
    const qint64 limit = 0xFFFFFFFFll * 36 / 2 * 3;
    const QByteArray large = binaryStl(QVector<Triangle>(1456356, kTwo[1]));
    // Large enough for two threads to measure a half each; the halves differ in the sign of
    // their zeros, which only the order of the comparisons tells apart.
    QVector<Triangle> many;
    for (int i = 0; i < 40000; ++i) {
        const float f = float(i % 977) - 400;
        many.append({{f, 0, i < 20000 ? -0.0f : 0.0f}, {0, -f, 0}, {0, 0, -float(i % 3)}});
    }
    const QByteArray whole = binaryStl(many);
    // NaNs at the end of the first half, inside the second (the minimum starts again after
    // one) and as the very last vertex.
    many[19999].c = {kNaN, 5, kNaN};
    many[30000].a = {kNaN, kNaN, 1};
    many[39990].b = {0, kNaN, 0};
    many[39999].c = {1, 2, kNaN};
    const QByteArray inside =
        binaryStl({kTwo[0], {{kNaN, 1, 1}, {1, kNaN, 1}, {1, 1, 1}}, kTwo[1]});
    const QByteArray text = "  endsolid x\nfacet normal 0 0 0\nvertex 1 2 3\nvertex 4\t5   6\n"
                            "vertex 7 8 9\nvertex 50 50 50\n";
    const QVector<float> nine = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    const QVector<float> three = {0, 0, 0, 3, 0, 0, 0, 0, 0};
    // Vertex n at x = n, so the corners name the references.
    const QByteArray faces =
        "v 1 0 0\nv 2 0 0\nv 3 0 0\nv 4 0 0\nv 5 0 0\nv 6 0 0\nv 7 0 0\nv 8 0 0\n"
        "f 1 2 3 4\nf 1 2 3 4 5 6 7 8\n"                            // fans over every corner
        "vt 0 0\nvn 0 0 1\nf 1/1/1 2/2/2 3/3/3\nf 4//1 5//1 6//1\n" // the number before a slash
        "f -1 -2 -3\nf 1 2 -1\nf 1 2 9\nv 9 0 0\nf 1 2 9\n"         // up to one no vertex yet
        "f 1\t2\t3\nf 1 2 3 \nf 010 0x2 3\n"     // tabs, a trailing blank, octal and hex
        "v -4 0 -1\nv\t50 50 50\nvn 60 60 60\n"; // only "v " widens
    QVector<float> fans;
    for (const char corner : QByteArray("123134123134145156167178123456129123823")) {
        fans << corner - '0' << 0 << 0;
    }
    // A polygon of 499 triangles on one line.
    const QByteArray polygon = "f 1" + QByteArray(" 2 3").repeated(250) + "\n";
    SlcFile walls{"h", {{0, 0.05f}, {1, 0.2f}}, {}};
    QVector<float> wallFloats;
    // Below every sample a layer is 0.1 thick; (Q1, P0, P1) then (Q0, P0, Q1).
    const float samples[][2] = {{-1, 0.1f}, {0.5f, 0.05f}, {1, 0.2f}, {3, 0.2f}};
    for (const auto& [z, t] : samples) {
        walls.layers.append({z, {{{0, 0}, {4, 0}}}});
        wallFloats += {4, 0, z + t, 0, 0, z, 4, 0, z, 0, 0, z + t, 0, 0, z, 4, 0, z + t};
    }
    // The walk through the sampling table stops at the first record above the layer or NaN,
    // whatever order the table is in.
    SlcFile unsorted{"h", {{0, 0.05f}, {2, 0.3f}, {1, 0.2f}, {kNaN, 0.4f}, {0.5f, 0.7f}}, {}};
    QVector<float> unsortedFloats;
    const float unsortedSamples[][2] = {{-1, 0.1f}, {0.5f, 0.05f}, {1.5f, 0.05f}, {2.5f, 0.2f}};
    for (const auto& [z, t] : unsortedSamples) {
        unsorted.layers.append({z, {{{0, 0}, {4, 0}}}});
        unsortedFloats += {4, 0, z + t, 0, 0, z, 4, 0, z, 0, 0, z + t, 0, 0, z, 4, 0, z + t};
    }
    const QVector<QPointF> square = squareBoundary(10);
    // Empty layers of eight bytes, so many that the last layer's vertices straddle the end of
    // the reader's first mebibyte of records.
    QVector<SlcLayer> empty(131067, {0, {}});
    empty.append({0, {square}});
    const QByteArray one = slc({{0, {square}}});
    const QByteArray layers = slc({{0, {square}}, {0.05f, {square}}});
    // A chunk's 50 MiB hold 1,456,356 triangles without normals; this wall has two more.
    const QByteArray flat = slc({{0, {QVector<QPointF>(728180)}}});
    const QByteArray quads =
        "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\n" + QByteArray("f 1 2 4 3\n").repeated(3);
    const QByteArray plain = package({meshObject(1, cube(2))});
    const QByteArray unpacked = package({meshObject(1, cube(2))}, {{1, {}, {}}}, false);
    // A component moved by 10 in x inside an item scaled by 2: (p + 10) * 2, never p * 2 + 10.
    // The other item's x is z - y.
    const QByteArray nested =
        package({meshObject(1, cube(1)), assembly(2, {{1, "1 0 0 0 1 0 0 0 1 10 0 0", {}}})},
                {{2, "2 0 0 0 2 0 0 0 2 0 0 5", {}}, {1, "0 1 0 -1 0 0 1 0 1 0 0 0", {}}});
    ThreeMfPackage production;
    production.model =
        threeMfModel({assembly(5, {{1, {}, "/3D/Objects/part.model"}})},
                     {{5, {}, {}}, {1, "1 0 0 0 1 0 0 0 1 0 3 0", "/3D/objects/PART.model"}});
    production.extraParts = {
        {"3D/Objects/part.model", threeMfModel({meshObject(1, cube(1))}, {}), true, {}, {}}};
    // A cube under `levels` assemblies, each holding `copies` components of the one below.
    const auto chain = [](quint32 levels, int copies = 1) {
        QVector<ThreeMfObject> objects;
        for (quint32 id = 1; id <= levels; ++id) {
            objects.append(assembly(id, QVector<ThreeMfReference>(copies, {id + 1, {}, {}})));
        }
        objects.append(meshObject(levels + 1, cube(1)));
        return package(objects);
    };
    const QByteArray model = threeMfModel({meshObject(1, cube(2))}, {{1, {}, {}}});
    const QByteArray bomb = model + "<!--" + QByteArray(20 << 20, ' ') + "-->";
    const QByteArray outOfRange = "<vertices><vertex x=\"0\" y=\"0\" z=\"0\"/></vertices>"
                                  "<triangles><triangle v1=\"0\" v2=\"0\" v3=\"1\"/></triangles>";
    // Entities that double ten times over: a kilobyte of text standing for gigabytes.
    QByteArray laughs = "<?xml version=\"1.0\"?><!DOCTYPE model [<!ENTITY l0 \"lol\">";
    for (int i = 1; i <= 30; ++i) {
        laughs += "<!ENTITY l" + QByteArray::number(i) + " \"&l" + QByteArray::number(i - 1) +
                  ";&l" + QByteArray::number(i - 1) + ";\">";
    }
    laughs += "]><model xmlns=\"http://schemas.microsoft.com/3dmanufacturing/core/2015/02\">"
              "<metadata name=\"x\">&l30;</metadata></model>";
    // A second model part whose directory entry points at the root's local header and data.
    ThreeMfPackage sharing;
    sharing.model = threeMfModel({meshObject(1, cube(1)), assembly(2, {{1, {}, "/3D/b.model"}})},
                                 {{2, {}, {}}});
    QVector<ZipEntry> shared = sharing.entries();
    shared.append({"3D/b.model", {}, true, {}, {}, {}, 2});
    // The root part's data declared to run on over the next entry's local header.
    ThreeMfPackage overrun;
    overrun.model = model;
    overrun.extraParts = {{"Metadata/notes.txt", "notes", true, {}, {}}};
    QVector<ZipEntry> overruns = overrun.entries();
    overruns[2].declaredCompressedSize = quint32(overrun.model.size());
    // Two mebibytes of text deflate to a few kilobytes; padding after the stream lifts the
    // declared compressed size to where the declared ratio passes.
    const QByteArray spaced = model + "<!--" + QByteArray(2 << 20, ' ') + "-->";
    ZipEntry padded{
        "3D/3dmodel.model", spaced, true, {}, {}, QByteArray(spaced.size() / 200, '\0')};
    ThreeMfPackage paddedPackage;
    QVector<ZipEntry> paddedEntries = paddedPackage.entries();
    paddedEntries[2] = padded;
    QVector<ZipEntry> shortPadding = paddedEntries;
    shortPadding[2].data = model;
    shortPadding[2].padding = QByteArray(1, '\0');
    ThreeMfPackage declaring;
    declaring.model = model;
    QVector<ZipEntry> declaringEntries = declaring.entries();
    declaringEntries[1].data =
        "<!DOCTYPE r [<!ENTITY e \"x\">]>" + declaringEntries[1].data.mid(39);
    const QByteArray mirrored = package({meshObject(1, {{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}})},
                                        {{1, "-1 0 0 0 1 0 0 0 1 0 0 0", {}}});
    const QVector<float> turnedOver = {0, 0, 0, 0, 0, -1, -1, 0, 0, 0, 0, -1, 0, 1, 0, 0, 0, -1};
    const QVector<Case> cases = {
        // Drawn with a largest extent above 0 and up to 10,000.
        {"a.stl", binaryStl({{{0, 0, 0}, {10000, 0, 0}, {0, 1, 0}}}), "1 extent 10000"},
        {"b.stl", binaryStl({{{0, 0, 0}, {10000.5f, 0, 0}, {0, 1, 0}}}),
         "1 extent 10000.5 hidden invalid"},
        {"c.stl", binaryStl({{{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}}), "1 extent 0 hidden invalid"},
        // Other suffixes are not read.
        {"cube.amf", binaryStl(cube(1)), "- extent 0"},
        // Stored normals never matter; all forms give the same; normals never widen the box.
        {"two.stl", oddNormals, "2 extent 1", two},
        {"twoN.stl", oddNormals, "1+1 extent 1", twoNormals, false},
        {"twoN.obj", objFile(kTwo), "2 extent 1", twoNormals, false},
        {"textN.stl", asciiStl(kTwo), "2 extent 1", twoNormals, false},
        // The guard stops at a load of 90 %; OBJ and SLC files must fit the available memory,
        // binary STL facets two thirds of it.
        {"a.obj", obj, "12 extent 1", {}, true, 89},
        {"b.obj", obj, "- extent 0" + guard, {}, true, 90},
        {"c.obj", obj, "12 extent 1", {}, true, 10, obj.size()},
        {"d.obj", obj, tooLarge, {}, true, 10, obj.size() - 1},
        {"f.stl", asciiStl(cube(1)), "12 extent 1", {}, true, 10, 10},
        {"h.stl", facets, "- extent 0 hidden", {}, true, 10, limit},
        {"i.stl", facets, "2 extent 1" + readLess, {}, true, 10, limit + 2},
        // Binary blocks follow the facet count and halve with normals; a file shorter than its
        // count gives the whole facets that arrived.
        {"2.stl", large, "1456355+1 extent 1"},
        {"3.stl", large, "728177+728177+2 extent 1", {}, false},
        {"5.stl", binaryStl({}, "x", 5) + QByteArray(49, '\0'),
         "- extent 0 hidden invalid" + readLess},
        {"6.stl", binaryStl({}), "- extent -inf"},
        // Streamed, these are measured by two threads; bytes past the counted facets are none.
        {"m1.stl", whole + QByteArray(100, '\1'), "40000 extent 976"},
        {"m3.stl", whole, "40000 extent 0" + guard, {}, true, 95},
        {"m4.stl", whole.chopped(120000), "37600 extent 976" + readLess},
        {"m6.stl", binaryStl(many), "40000 extent 976 hidden invalid"},
        {"m8.stl", inside, "3 extent 1"},
        {"m9.stl", inside, "1+1+1 extent 1", {}, false},
        // Text is "solid" (or "endsolid") on the first line and "facet" on the next that is not
        // blank; a vertex line outside a whole triangle is dropped.
        {"t1.stl", text, "1 extent 6", nine},
        {"t2.stl", "  endsolid x\n\n \t\r\n" + text.mid(13), "1 extent 6", nine},
        {"t3.stl", binaryStl(kTwo, "solid but binary"), "2 extent 1"},
        // "facet" after a blank line does not make a file text that is exactly as long as a
        // binary one with its count; a byte more or less and it is text.
        {"t8.stl", binaryStl(kTwo, "solid x\n\nfacet normal 0 0 1\n"), "2 extent 1"},
        {"t9.stl", binaryStl(kTwo, "solid x\n\nfacet normal 0 0 1\n") + ' ', "- extent -inf"},
        {"t10.stl", binaryStl(kTwo, "solid x\nfacet normal 0 0 1\n"), "- extent -inf"},
        // Missing numbers read as 0, also on a last line whose buffer still holds "3".
        {"t5.stl", "solid t\nfacet\nvertex x 2 3\nvertex 3\nvertex", "1 extent 3", three},
        // A line is read in pieces of 1,023 bytes, also where the first spans the reader's 64 KiB
        // buffer: "vertex" ending the first piece is found (its numbers, in the next piece, are
        // not), one across two pieces is not, and one beyond the first piece is found later.
        {"t6.stl",
         "solid t\nfacet\n" + QByteArray(65000, '\n') + QByteArray(1017, ' ') + "vertex 7\n" +
             QByteArray(1018, ' ') + "vertex 8\n" + QByteArray(1500, ' ') +
             "vertex 1 2 3\nvertex 4 5 6\n",
         "1 extent 6",
         {0, 0, 0, 1, 2, 3, 4, 5, 6}},
        {"t7.stl", "solid x\nfacet normal\nendsolid x\n", "- extent -inf"},
        // Forms only strtof reads are read as it reads them, up to where it stops: hex, a plus
        // sign, out of range, an exponent without digits, a second point.
        {"t11.stl",
         "solid t\nfacet\nvertex 0x1p3 +.5 1e-50\nvertex -1e-40 1e 7\nvertex 1.2.3\n",
         "1 extent 8",
         {8, 0.5f, 0, -1e-40f, 1, 0, 1.2f, 0.3f, 0}},
        // OBJ faces are fans over their references; polygons close chunks by their bytes too;
        // vertices alone are an empty model.
        {"faces.obj", faces, "13 extent 13", fans},
        {"long.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\n" + polygon.repeated(2919),
         "1456356+225 extent 1"},
        {"points.obj", "v 0 0 0\nv 1 2 3\n", "- extent 3"},
        // Vertices past the limit are not kept, and a face that names one ends before it.
        {"vertices past the limit.obj",
         "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 0 0 1\nv 5 5 5\nf 1 2 3\nf 1 2 5\n",
         "1 extent 1 log: info too many vertices, read in part\nPATH",
         {},
         true,
         10,
         8ll << 30,
         4},

        // The last read of 64 KiB finds a single byte, the face's last reference.
        {"last byte.obj",
         QByteArray("v 0 0 0\nv 1 0 0\nv 0 1 0\n#").leftJustified(65529, ' ') + "\nf 1 2 3",
         "1 extent 1"},
        // SLC segments are walls as thick as the last sample at or below their layer, and
        // boundaries are never closed by the reader; appending closes a chunk at 50 MiB and
        // runs the guard then.
        {"walls.slc", walls.bytes(), "8 extent 4.2", wallFloats},
        {"unsorted.slc", unsorted.bytes(), "8 extent 4", unsortedFloats},
        {"empty layers.slc", slc(empty), "8 extent 10"},
        {"full.slc", flat, "1456356 extent 0" + guard, {}, true, 90},
        {"s2.slc", slc({{0, {square.mid(0, 4)}}}), "6 extent 10"},
        {"s3.slc", slc({{0, {{{1, 1}}, {}, squareBoundary(1)}}}), "8 extent 1"},
        // The header's terminator is searched for in 1,024-byte blocks, each on its own and up
        // to a NUL; found in the third, it leaves the count byte too late.
        {"h1.slc", slc({{0, {square}}}, QByteArray(1021, 'h')), "8 extent 10"},
        {"h2.slc", slc({{0, {square}}}, QByteArray(1022, 'h')), "- extent 0"},
        {"h3.slc", slc({{0, {square}}}, QByteArray(2045, 'h')), "8 extent 10"},
        {"h5.slc", slc({{0, {square}}}, QByteArray(2048, 'h')), "- extent 0"},
        {"h7.slc", slc({{0, {square}}}, QByteArray("x\0y", 3)), "- extent 0"},
        // No samples, no layers, no end marker; a last boundary that ends the file exactly, and
        // one a byte short; a vertex count (at 285) the file cannot hold; a short table.
        {"s4.slc", SlcFile{"h", {}, {{0, {square}}}}.bytes(), "- extent 0"},
        {"s5.slc", slc({}), "- extent -inf"},
        {"s6.slc", SlcFile{"h", {{0, 0.05f}}, {}, false}.bytes(), "- extent -inf"},
        {"s7.slc", layers.chopped(8), "16 extent 10"},
        {"s8.slc", layers.chopped(9), "8 extent 10"},
        {"s9.slc", QByteArray(one).replace(285, 4, "\xff\xff\xff\x7f"), "- extent -inf"},
        {"s10.slc", one.left(271), "- extent 0 log: info SLC_sampleTbItem_t read less\nPATH"},
        // Text and SLC files stop after the face line, facet or segment that reaches the limit
        // of stored facets, and keep what they read.
        {"cut.obj", quads, "4 extent 1" + cut, {}, true, 10, 8ll << 30, 4},
        {"cut.stl", asciiStl(cube(1)), "5 extent 1" + cut, {}, true, 10, 8ll << 30, 5},
        {"cut.slc", layers, "10 extent 10" + cut, {}, true, 10, 8ll << 30, 10},
        // 3MF packages: items and components placed by their transforms, production parts,
        // and packages damaged, nested without end, or multiplying past every limit.
        {"deflated.3MF", plain, "12 extent 2 box 0 0 0 2 2 2"},
        {"stored.3MF", unpacked, "12 extent 2 box 0 0 0 2 2 2"},
        {"two items, nested transforms.3MF", nested, "24 extent 23 box -1 0 0 22 2 7"},
        {"production parts, names in any case.3MF", production.bytes(),
         "24 extent 4 box 0 0 0 1 4 1"},
        {"no build items.3MF", package({meshObject(1, cube(2))}, {}),
         kUnread.chopped(7).replace("0 box", "-inf box")},
        {"vertex index out of range.3MF", package({{1, {}, {}, outOfRange}}),
         refused(1, "a triangle names a vertex that does not exist")},
        {"cycle of two.3MF", package({assembly(1, {{2, {}, {}}}), assembly(2, {{1, {}, {}}})}),
         refused(1, "a component contains itself")},
        {"nesting 64 deep.3MF", chain(64), "12 extent 1 box 0 0 0 1 1 1"},
        {"nesting 65 deep.3MF", chain(65), refused(1, "components are nested too deeply")},
        {"build item names a missing object.3MF", package({meshObject(1, cube(1))}, {{7, {}, {}}}),
         refused(1, "a build item names an object that does not exist")},
        {"component names a missing object.3MF", package({assembly(1, {{9, {}, {}}})}),
         refused(1, "a component names an object that does not exist")},
        {"external part missing.3MF", package({assembly(1, {{1, {}, "/3D/gone.model"}})}),
         refused(1, "the package has no part /3D/gone.model")},
        {"bad transform.3MF", package({meshObject(1, cube(1))}, {{1, "1 0 0", {}}}),
         refused(1, "a build item is damaged")},
        // Ten copies of the next object, seven levels: ten million instances of one cube.
        {"components multiply.3MF", chain(7, 10), refused(2, "the build makes too many triangles")},
        // 2^21 - 1 instances, objects and components counted, are too many even when their
        // triangles are not.
        {"instances multiply.3MF", chain(20, 2), refused(2, "the build makes too many triangles")},
        {"zip bomb.3MF", withModelEntry(bomb, std::nullopt),
         refused(1, "the part claims an impossible compression ratio: /3D/3dmodel.model")},
        {"inflates past its declared size.3MF", withModelEntry(model, quint32(model.size() - 1)),
         refused(1, "a part inflates past its declared size")},
        {"inflates short of its declared size.3MF",
         withModelEntry(model, quint32(model.size() + 1)), refused(1, "a part fails its check")},
        {"a model part of gigabytes.3MF", withModelEntry(model, 3000000000u, 300000000u),
         refused(2, "the part is too large: /3D/3dmodel.model")},
        {"data past the end of the file.3MF", withModelEntry(model, std::nullopt, 1u << 30),
         refused(1, "the part runs into the zip directory: /3D/3dmodel.model")},
        {"truncated archive.3MF", plain.left(plain.size() - 30), refused(1, "no zip directory")},
        {"no XML.3MF", withModelEntry("<model><", std::nullopt),
         refused(1, "the model part ends early: /3D/3dmodel.model")},
        {"empty file.3MF", "", kUnread + " invalid"},
        {"a byte changed in a stored part.3MF",
         QByteArray(unpacked).replace("millimeter", "millimetre"),
         refused(1, "a part fails its check")},
        {"ZIP64 sizes.3MF", withModelEntry(model, 0xFFFFFFFFu),
         refused(1, "ZIP64 packages are not read")},
        {"entities that multiply.3MF", withModelEntry(laughs, std::nullopt),
         refused(1, "the model part is no XML: the document declares a document type")},
        // Zip entries that share bytes, or claim more of them than their stream uses.
        {"sharing data.3MF", zipArchive(shared), refused(1, "zip entries share their data")},
        {"running into the next part.3MF", zipArchive(overruns),
         refused(1, "the part runs into another part: /3D/3dmodel.model")},
        {"padded past its stream.3MF", zipArchive(paddedEntries),
         refused(1, "a part inflates at an impossible ratio")},
        {"padded, small.3MF", zipArchive(shortPadding),
         refused(1, "a part's compressed data ends before its declared size")},
        {"relationships with a document type.3MF", zipArchive(declaringEntries),
         refused(1, "the package names no model part")},
        // 2^19 cubes: instances within their limit, their triangles not.
        {"triangles multiply.3MF", chain(19, 2), refused(2, "the build makes too many triangles")},
        // Mirrored in x, the facet turns over: its normal comes from the corners as placed.
        {"mirrored.3mf", mirrored, "1 extent 1 box -1 0 0 0 1 0", turnedOver, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(qPrintable(c.name));
        load = c.load;
        available = c.available;
        logged.clear();
        const QString path = writeSource(c.name, c.bytes);
        const mySTLReader stored(path, c.hasGeometry, false, c.facetLimit);
        EXPECT_EQ(outcome(stored), c.outcome);
        const QVector<float> floats = allFloats(stored);
        if (!c.floats.isEmpty()) {
            EXPECT_EQ(floats, c.floats);
        }
        // Streamed, a binary STL (one with a facet count) is measured alike, bit for bit, and
        // when it can be drawn its facets come through a stream instead of chunks, in pieces
        // of 29,127 facets, the last one partial.
        logged.clear();
        mySTLReader streamed(path, c.hasGeometry, true, c.facetLimit);
        const bool binary = stored.facetCount > 0;
        EXPECT_EQ(outcome(streamed),
                  binary ? "-" + c.outcome.mid(c.outcome.indexOf(' ')) : c.outcome);
        const auto box = [](const mySTLReader& r) {
            return bytesOf({r.minX, r.minY, r.minZ, r.maxX, r.maxY, r.maxZ, r.maxExtent});
        };
        EXPECT_EQ(box(streamed), box(stored));
        ASSERT_EQ(streamed.stream != nullptr, binary && stored.renderable && stored.modelValid);
        if (streamed.stream) {
            EXPECT_EQ(streamedBytes(*streamed.stream), bytesOf(floats));
        }
        if (binary && c.bytes.size() >= 84 + kFacetRecordSize) {
            expectPlainConversionAgrees(c.bytes);
        }
    }
}

// What the preview path showed: outcome, size, a preview's centre pixel, and the log.
QString shown(const QString& path, int size) {
    PreviewOutcome outcome = PreviewOutcome::Refused;
    const QImage image = previewPicture(path, size, &outcome);
    keepForFailure(image, QFileInfo(path).fileName());
    const char* const outcomes[] = {"preview", "placeholder", "refused", "model"};
    QString text =
        outcomes[int(outcome)] + QStringLiteral(" %1x%2").arg(image.width()).arg(image.height());
    if (outcome == PreviewOutcome::Preview) {
        text += ' ' + QString::number(image.pixel(image.width() / 2, image.height() / 2), 16);
    }
    for (const QString& message : logged) {
        text += " log: " + message;
    }
    return text.replace(kInfoLabel + "myFileThumbnail::loadThreeMf : ", "").replace(path, "PATH");
}

// A package with a slicer's plate picture, with `thumbnail` as its package thumbnail if any.
QByteArray withPlate(const QByteArray& plate, const QByteArray& thumbnail = {}) {
    ThreeMfPackage p;
    p.model = threeMfModel({meshObject(1, cube(1))}, {{1, {}, {}}});
    p.thumbnail = thumbnail;
    p.extraParts = {{"Metadata/plate_1.png", plate, false, {}, {}}};
    return p.bytes();
}

// Only a package whose plate picture or thumbnail part is there takes the preview path; then
// the first plate's picture, else the thumbnail, is shown in its own shape and alpha, never
// enlarged, or the model is drawn and the line says what is wrong with the picture.
TEST_F(MeshReader, ShowsAThreeMfPlatePictureOrThumbnailInItsOwnShapeNeverEnlarged) {
    const QByteArray redPng = picture("png", 64, 32, qRgb(255, 0, 0));
    const QByteArray red = withThumbnail(redPng);
    const QByteArray small = withThumbnail(picture("png", 4, 4, 0));
    const QByteArray greenPlate = picture("png", 24, 48, qRgb(0, 255, 0));
    ThreeMfPackage dangling;
    dangling.model = threeMfModel({meshObject(1, cube(1))}, {{1, {}, {}}});
    dangling.thumbnail = picture("png", 4, 4, 0);
    // The thumbnail part is the last entry.
    QVector<ZipEntry> entries = dangling.entries();
    entries.removeLast();
    const struct {
        QString name;
        QByteArray bytes;
        int size;
        bool previewPath;
        QString shown;
    } cases[] = {
        {"smaller than asked.3mf", red, 256, true, "preview 64x32 ffff0000"},
        {"larger than asked.3mf", red, 16, true, "preview 16x8 ffff0000"},
        {"jpeg.3mf", withThumbnail(picture("jpeg", 40, 40, qRgb(0, 0, 255)), "Metadata/t.jpeg"),
         256, true, "preview 40x40 ff0000fe"},
        {"transparent, kept clear.3mf", small, 256, true, "preview 4x4 0"},
        // The plate picture goes before the package thumbnail, and serves without one.
        {"plate and thumbnail.3mf", withPlate(greenPlate, redPng), 256, true,
         "preview 24x48 ff00ff00"},
        {"plate only.3mf", withPlate(greenPlate), 16, true, "preview 8x16 ff00ff00"},
        {"plate named as thumbnail.3mf", withThumbnail(greenPlate, "Metadata/PLATE_1.png"), 256,
         true, "preview 24x48 ff00ff00"},
        // A plate picture that cannot be used gives way to the thumbnail, then to the model,
        // with the plate picture's line.
        {"hostile plate, thumbnail.3mf", withPlate(pngDeclaring(50000, 50000), redPng), 256, true,
         "preview 64x32 ffff0000"},
        {"hostile plate.3mf", withPlate(pngDeclaring(50000, 50000)), 256, true,
         "model 0x0 log: 4 the thumbnail declares 50000 x 50000 pixels\nPATH"},
        {"hostile plate, hostile thumbnail.3mf", withPlate("GIF89a", pngDeclaring(9000, 10)), 256,
         true, "model 0x0 log: 3 the thumbnail is no PNG or JPEG\nPATH"},
        {"plate bomb.3mf", withPlate(pngDeclaring(10, 10) + QByteArray(17 << 20, '\0')), 256, true,
         "model 0x0 log: 2 the part is too large: /Metadata/plate_1.png\nPATH"},
        // A thumbnail that cannot be used leaves the model to be drawn.
        {"declaring 100,000 x 100,000.3mf", withThumbnail(pngDeclaring(100000, 100000)), 256, true,
         "model 0x0 log: 4 the thumbnail declares 100000 x 100000 pixels\nPATH"},
        {"not a picture.3mf", withThumbnail("GIF89a and more"), 256, true,
         "model 0x0 log: 3 the thumbnail is no PNG or JPEG\nPATH"},
        {"naming the model.3mf", withThumbnail(threeMfModel({}, {}), "3D/other.model"), 256, true,
         "model 0x0 log: 3 the thumbnail is no PNG or JPEG\nPATH"},
        {"cut picture.3mf", withThumbnail(picture("png", 64, 32, 0).left(80)), 256, true,
         "model 0x0 log: 5 the thumbnail cannot be decoded\nPATH"},
        {"thumbnail bomb.3mf", withThumbnail(pngDeclaring(10, 10) + QByteArray(17 << 20, '\0')),
         256, true, "model 0x0 log: 2 the part is too large: /Metadata/t.png\nPATH"},
        // Each scan of a progressive JPEG is a pass over the whole picture.
        {"few scans.3mf", withThumbnail(progressiveJpeg(48, 32, 2), "Metadata/t.jpeg"), 256, true,
         "preview 48x32 ff808080"},
        {"many scans.3mf", withThumbnail(progressiveJpeg(48, 32, 64), "Metadata/t.jpeg"), 256, true,
         "model 0x0 log: 6 the thumbnail's JPEG has 65 scans\nPATH"},
        {"truncated.3mf", small.left(100), 256, false, "refused 0x0 log: 1 no zip directory\nPATH"},
        {"without.3mf", package({meshObject(1, cube(1))}), 256, false,
         "model 0x0 log: 2 the package has no thumbnail\nPATH"},
        {"dangling.3mf", zipArchive(entries), 256, false,
         "model 0x0 log: 2 the package has no thumbnail\nPATH"},
        {"package.stl", small, 256, false, "refused 0x0"},
    };
    for (const auto& c : cases) {
        logged.clear();
        const QString path = writeSource(c.name, c.bytes);
        EXPECT_EQ(takesPreviewPath(path), c.previewPath) << c.name.toStdString();
        EXPECT_EQ(shown(path, c.size), c.shown) << c.name.toStdString();
    }
}

// The four corners of the unit square in z = 0, counter-clockwise, and a face over all four.
PlyTable squareCorners(const QByteArray& type = "float") {
    return {"vertex",
            {{type, "x"}, {type, "y"}, {type, "z"}},
            {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}};
}

PlyTable faceTable(const QVector<QVector<double>>& rows, const QByteArray& countType = "uchar",
                   const QByteArray& indexType = "int") {
    return {"face", {{indexType, "vertex_indices", countType}}, rows};
}

// PLY in each encoding and type, with what scanners add (normals, colours, further elements),
// and files cut short, hostile or no PLY at all: what is read of them.
TEST_F(MeshReader, ReadsPlyMeshesAndPointCloudsToTheirOutcome) {
    // The square fanned from its first corner: (0, 1, 2) and (0, 2, 3).
    const QVector<float> square = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 0, 0, 1, 1, 0, 0, 1, 0};
    const PlyTable quad = faceTable({{4, 0, 1, 2, 3}});
    const auto ply = [](PlyForm form, const QVector<PlyTable>& tables,
                        const QByteArray& extra = {}) { return plyFile(form, tables, extra); };
    PlyTable scanned = squareCorners();
    scanned.columns = {{"float", "x"},           {"float", "y"},     {"float", "z"},
                       {"float", "nx"},          {"float", "ny"},    {"float", "nz"},
                       {"uchar", "red"},         {"uchar", "green"}, {"uchar", "blue"},
                       {"int", "ranks", "uchar"}};
    for (QVector<double>& row : scanned.rows) {
        row += {0, 0, 1, 200, 100, 50, 2, 7, 8};
    }
    PlyTable flagged = {"face",
                        {{"uchar", "flags"}, {"uint", "vertex_index", "ushort"}, {"float", "q"}},
                        {{1, 4, 0, 1, 2, 3, 0.5}}};
    const PlyTable material = {"material", {{"uchar", "r"}, {"double", "shine"}}, {{1, 2}, {3, 4}}};
    const QByteArray binary =
        ply(PlyForm::LittleEndian, {squareCorners(), faceTable({{3, 0, 1, 2}, {3, 0, 2, 3}})});
    PlyTable manyVertices = squareCorners();
    manyVertices.declaredCount = 1000000000;
    // 1 + 2/256: each point's tetrahedron reaches 1/256 of the cloud's extent beyond it.
    const QString cloud = "16 extent 1.00781";
    const QString ended = " log: info mySTLReader::readPly : 2 the PLY body ends early, read in "
                          "part\nPATH";
    const QString cannotBe = " log: info mySTLReader::readPly : 2 the PLY body holds a value that "
                             "cannot be, read in part\nPATH";
    const auto damaged = [](const char* why) {
        return QStringLiteral(
                   "- extent 0 hidden invalid log: info mySTLReader::readPly : 1 %1\nPATH")
            .arg(why);
    };
    const Case cases[] = {
        {"ascii.ply", ply(PlyForm::Ascii, {squareCorners(), quad}), "2 extent 1", square},
        {"little-endian.PLY", ply(PlyForm::LittleEndian, {squareCorners(), quad}), "2 extent 1",
         square},
        {"big-endian, uint lists.ply",
         ply(PlyForm::BigEndian, {squareCorners(), faceTable({{4, 0, 1, 2, 3}}, "uint", "uint")}),
         "2 extent 1", square},
        {"doubles, short corners.ply",
         ply(PlyForm::BigEndian,
             {squareCorners("double"), faceTable({{4, 0, 1, 2, 3}}, "int", "short")}),
         "2 extent 1", square},
        {"int8 corners, float64 names.ply",
         ply(PlyForm::LittleEndian,
             {squareCorners("float64"), faceTable({{4, 0, 1, 2, 3}}, "uint8", "int8")}),
         "2 extent 1", square},
        {"ushort corners, text.ply",
         ply(PlyForm::Ascii, {squareCorners(), faceTable({{4, 0, 1, 2, 3}}, "int16", "ushort")}),
         "2 extent 1", square},
        // Properties and elements the picture does not use are read past, in both forms.
        {"scanned, binary.ply", ply(PlyForm::BigEndian, {material, scanned, flagged}), "2 extent 1",
         square},
        {"scanned, text.ply", ply(PlyForm::Ascii, {scanned, flagged, material}), "2 extent 1",
         square},
        {"carriage returns.ply",
         QByteArray(ply(PlyForm::Ascii, {squareCorners(), quad})).replace("\n", "\r\n"),
         "2 extent 1", square},
        {"pentagon.ply",
         ply(PlyForm::Ascii, {PlyTable{"vertex",
                                       squareCorners().columns,
                                       {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0.5, 2, 0}, {0, 1, 0}}},
                              faceTable({{5, 0, 1, 2, 3, 4}})}),
         "3 extent 2",
         {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 0, 0, 1, 1, 0, 0.5, 2, 0, 0, 0, 0, 0.5, 2, 0, 0, 1, 0}},
        // Faces naming no vertex that was read are left out, the others drawn.
        {"negative corner.ply",
         ply(PlyForm::LittleEndian, {squareCorners(), faceTable({{3, 0, -1, 2}, {3, 0, 2, 3}})}),
         "1 extent 1", square.mid(9)},
        {"corner past the vertices.ply",
         ply(PlyForm::BigEndian,
             {squareCorners(),
              faceTable({{3, 0, 4294967295.0, 2}, {3, 0, 4, 2}, {3, 0, 2, 3}}, "uchar", "uint")}),
         "1 extent 1", square.mid(9)},
        {"fractional corner.ply",
         ply(PlyForm::Ascii,
             {squareCorners(), faceTable({{3, 0, 1.5, 2}, {3, 0, 2, 3}}, "uchar", "float")}),
         "1 extent 1", square.mid(9)},
        {"two corners.ply",
         ply(PlyForm::Ascii, {squareCorners(), faceTable({{2, 0, 1}, {3, 0, 2, 3}})}), "1 extent 1",
         square.mid(9)},
        // Cut short, a file is drawn as far as it goes.
        {"cut in its second face.ply", binary.chopped(5), "1 extent 1" + ended, square.mid(0, 9)},
        {"cut in its vertices.ply", binary.left(binary.indexOf("end_header\n") + 11 + 40),
         "- extent 1" + ended},
        {"a billion vertices declared.ply", ply(PlyForm::LittleEndian, {manyVertices}),
         cloud + ended},
        {"a list of four billion.ply",
         ply(PlyForm::LittleEndian,
             {squareCorners(), faceTable({{4294967295.0, 0, 1, 2}}, "uint")}),
         "- extent 1" + ended},
        {"a negative list count.ply",
         ply(PlyForm::LittleEndian, {squareCorners(), faceTable({{-3, 0, 1, 2}}, "char")}),
         "- extent 1" + cannotBe},
        {"a polygon longer than any.ply",
         ply(PlyForm::LittleEndian,
             {squareCorners(),
              faceTable({QVector<double>{70000} + QVector<double>(70000, 1), {3, 0, 1, 2}},
                        "int")}),
         "1 extent 1", square.mid(0, 9)},
        {"a word among the numbers.ply",
         QByteArray(ply(PlyForm::Ascii, {squareCorners(), quad}))
             .replace("\n1 1 0\n", "\n1 one 0\n"),
         "- extent 1" + cannotBe},
        // Without faces, each point is a small tetrahedron.
        {"point cloud.ply", ply(PlyForm::Ascii, {squareCorners()}), cloud},
        {"no faces in the face element.ply",
         ply(PlyForm::BigEndian, {squareCorners(), faceTable({})}), cloud},
        {"one point.ply",
         ply(PlyForm::Ascii, {PlyTable{"vertex", squareCorners().columns, {{3, 4, 5}}}}),
         "4 extent 0 hidden invalid"},
        // The stored facet limit holds for faces and points alike.
        {"faces past the limit.ply", binary,
         "1 extent 1 log: info too many facets, read in part\nPATH", square.mid(0, 9), true, 10,
         8ll << 30, 1},
        {"points past the limit.ply",
         ply(PlyForm::Ascii, {squareCorners()}),
         "6 extent 1.00781 log: info too many facets, read in part\nPATH",
         {},
         true,
         10,
         8ll << 30,
         6},
        // Headers that cannot be read: the damaged file's placeholder, and the reason.
        {"empty.ply", "", "- extent 0 hidden invalid"},
        {"no magic.ply", "plx\nformat ascii 1.0\nend_header\n", damaged("the file is no PLY")},
        {"no format.ply", "ply\nelement vertex 0\nend_header\n",
         damaged("the PLY header names no format")},
        {"middle-endian.ply", "ply\nformat binary_middle_endian 1.0\nend_header\n",
         damaged("the PLY format line is not read")},
        {"version 2.ply", "ply\nformat ascii 2.0\nend_header\n",
         damaged("the PLY format line is not read")},
        {"float128.ply",
         "ply\nformat ascii 1.0\nelement vertex 1\nproperty float128 x\nend_header\n",
         damaged("a PLY header line is not read")},
        {"float list counts.ply",
         "ply\nformat ascii 1.0\nelement face 1\nproperty list float int "
         "vertex_indices\nend_header\n",
         damaged("a PLY header line is not read")},
        {"property before element.ply", "ply\nformat ascii 1.0\nproperty float x\nend_header\n",
         damaged("a PLY header line is not read")},
        {"negative count.ply", "ply\nformat ascii 1.0\nelement vertex -1\nend_header\n",
         damaged("a PLY element line is damaged")},
        {"no z.ply",
         "ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\nproperty float "
         "y\nend_header\n0 0\n",
         damaged("the PLY vertices have no x, y and z")},
        {"no vertex element.ply", ply(PlyForm::Ascii, {quad}),
         damaged("the PLY vertices have no x, y and z")},
        {"faces without corners.ply",
         ply(PlyForm::Ascii,
             {squareCorners(), PlyTable{"face", {{"int", "corners", "uchar"}}, {}}}),
         damaged("the PLY faces have no vertex indices")},
        {"endless header.ply",
         ply(PlyForm::Ascii, {squareCorners(), quad}, "comment " + QByteArray(70000, 'x') + "\n"),
         damaged("the PLY header does not end")},
        {"header cut.ply", "ply\nformat ascii 1.0\nelement vertex 1",
         damaged("the PLY header does not end")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(qPrintable(c.name));
        load = c.load;
        logged.clear();
        const mySTLReader reader(writeSource(c.name, c.bytes), c.hasGeometry, false, c.facetLimit);
        EXPECT_EQ(outcome(reader), c.outcome);
        if (!c.floats.isEmpty()) {
            EXPECT_EQ(allFloats(reader), c.floats);
        }
    }
}

// A point's tetrahedron shows its lit faces from outside: each facet's normal points away from
// the point, whatever side the camera is on.
TEST_F(MeshReader, WindsEachPointsTetrahedronOutwards) {
    const mySTLReader reader(writeSource("points.ply", plyFile(PlyForm::Ascii, {squareCorners()})),
                             true);
    const QVector<float> floats = allFloats(reader);
    ASSERT_EQ(floats.size(), 4 * 4 * 9);
    for (int facet = 0; facet < 16; ++facet) {
        const float* f = floats.constData() + 9 * facet;
        const QVector3D a(f[0], f[1], f[2]), b(f[3], f[4], f[5]), c(f[6], f[7], f[8]);
        const int point = facet / 4;
        const QVector3D centre(point == 1 || point == 2, point >= 2, 0);
        EXPECT_GT(QVector3D::dotProduct(facetNormal(a, b, c), (a + b + c) / 3 - centre), 0)
            << facet;
    }
}

} // namespace

namespace {

// Every vertex's colour as "rrggbbaa" in storing order, after checking that the colours keep
// step with the chunks; "none" for a model without colours.
QString colours(const mySTLReader& r) {
    if (!r.hasColours) {
        return r.colourChunks.empty() ? "none" : "colours without the flag";
    }
    if (r.colourChunks.size() != r.chunks.size()) {
        return "colour chunks out of step";
    }
    QStringList out;
    for (std::size_t c = 0; c < r.chunks.size(); ++c) {
        if (r.colourChunks[c].size() * floatsPerFacet(r.withNormals) / 3 != r.chunks[c].size()) {
            return "a colour chunk out of step";
        }
        for (const MeshColour& colour : r.colourChunks[c]) {
            out << QString::asprintf("%02x%02x%02x%02x", colour[0], colour[1], colour[2],
                                     colour[3]);
        }
    }
    return out.join(' ');
}

// "n x colour" for n corners of one colour.
QString times(int n, const char* colour) {
    QStringList corners;
    for (int i = 0; i < n; ++i) {
        corners << colour;
    }
    return corners.join(' ');
}

} // namespace

// Base materials and colour groups, by the triangle's pid and p1..p3 or the object's pid and
// pindex; objects without a colour drawn in the model's one, before and after coloured ones;
// what the file names wrongly falls back to that colour rather than spoiling the model.
TEST_F(MeshReader, KeepsTheColoursA3MfGivesEachCorner) {
    const QByteArray resources =
        "<basematerials id=\"5\"><base name=\"red\" displaycolor=\"#FF0000\"/>"
        "<base name=\"green\" displaycolor=\"#00ff0080\"/></basematerials>\n"
        "<m:colorgroup id=\"6\"><m:color color=\"#0000FF\"/><m:color color=\"#102030\"/>"
        "<m:color color=\"#12345\"/><m:color color=\"#GG0000\"/></m:colorgroup>\n";
    const QByteArray vertices = "<vertices><vertex x=\"0\" y=\"0\" z=\"0\"/>"
                                "<vertex x=\"1\" y=\"0\" z=\"0\"/><vertex x=\"0\" y=\"1\" z=\"0\"/>"
                                "</vertices>";
    const auto triangles = [&](const QVector<QByteArray>& properties) {
        QByteArray xml = vertices + "<triangles>";
        for (const QByteArray& p : properties) {
            xml += "<triangle v1=\"0\" v2=\"1\" v3=\"2\" " + p + "/>";
        }
        return xml + "</triangles>";
    };
    ThreeMfObject painted{1, {}, {}, {}, "pid=\"5\" pindex=\"1\""};
    painted.rawMesh = triangles({"", "pid=\"6\" p1=\"0\" p2=\"1\" p3=\"2\"", "pid=\"6\" p1=\"1\"",
                                 "p1=\"0\" p2=\"1\"", "pid=\"5\" p1=\"7\"", "pid=\"77\" p1=\"0\"",
                                 "pid=\"6\" p1=\"3\" p2=\"x\""});
    ThreeMfObject groupOnly{2, {}, {}, {}, {}};
    groupOnly.rawMesh = triangles({"", "pid=\"6\" p1=\"1\""});
    const ThreeMfObject plain = meshObject(3, kTwo);
    const ThreeMfObject holder = assembly(4, {{1, "1 0 0 0 1 0 0 0 1 5 0 0", {}}});
    const QString blue = "28a4e6ff";
    const QString paintedColours =
        QStringList{times(3, "00ff0080"),         "0000ffff 102030ff " + blue, times(3, "102030ff"),
                    "ff0000ff 00ff0080 ff0000ff", times(3, "28a4e6ff"),        times(3, "28a4e6ff"),
                    times(3, "28a4e6ff")}
            .join(' ');
    const struct {
        const char* name;
        QVector<ThreeMfObject> objects;
        QVector<ThreeMfReference> build;
        QString colours;
    } cases[] = {
        {"painted", {painted}, {{1, {}, {}}}, paintedColours},
        // The plain object's six corners are stored before a colour is seen.
        {"plain first",
         {painted, plain},
         {{3, {}, {}}, {1, {}, {}}},
         times(6, "28a4e6ff") + ' ' + paintedColours},
        {"plain after",
         {painted, plain},
         {{1, {}, {}}, {3, {}, {}}},
         paintedColours + ' ' + times(6, "28a4e6ff")},
        {"through a component", {painted, holder}, {{4, {}, {}}}, paintedColours},
        {"a triangle's group only",
         {groupOnly},
         {{2, {}, {}}},
         times(3, "28a4e6ff") + ' ' + times(3, "102030ff")},
        // The writer's colour group, which nothing names.
        {"unused group", {plain}, {{3, {}, {}}}, "none"},
    };
    for (const auto& c : cases) {
        logged.clear();
        ThreeMfPackage p;
        p.model = threeMfModel(c.objects, c.build, resources);
        const mySTLReader reader(writeSource(QString(c.name) + ".3mf", p.bytes()), true);
        EXPECT_TRUE(reader.renderable && reader.modelValid) << c.name;
        EXPECT_EQ(colours(reader), c.colours) << c.name;
        EXPECT_EQ(colours(mySTLReader(writeSource(QString(c.name) + " n.3mf", p.bytes()), false)),
                  c.colours)
            << c.name << " with normals";
    }
}

// Vertex colours as bytes, 16-bit or floating-point channels under either name scanners use,
// interpolated nowhere but carried to every fanned triangle and point; a vertex element
// without all three channels has no colours.
TEST_F(MeshReader, KeepsThePlyVertexColoursOfFacesAndPoints) {
    const auto coloured = [](const QByteArray& type, const QByteArray& prefix,
                             const QVector<QVector<double>>& channels) {
        PlyTable table = squareCorners();
        for (const char* channel : {"red", "green", "blue"}) {
            table.columns.append(PlyColumn{type, prefix + channel});
        }
        table.columns.append(PlyColumn{"uchar", "alpha"});
        for (int i = 0; i < 4; ++i) {
            table.rows[i] += channels[i] + QVector<double>{9};
        }
        return table;
    };
    const PlyTable bytes =
        coloured("uchar", "", {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {16, 32, 48}});
    const PlyTable floats =
        coloured("float", "diffuse_", {{1, 0, 0.5}, {2, -1, 0}, {0, 0, 1}, {kNaN, 0.25, 0.75}});
    const PlyTable wide =
        coloured("ushort", "", {{65535, 0, 257}, {0, 65535, 0}, {0, 0, 65535}, {4112, 8224, 0}});
    PlyTable twoChannels = squareCorners();
    twoChannels.columns += {{"uchar", "red"}, {"uchar", "green"}};
    for (QVector<double>& row : twoChannels.rows) {
        row += {1, 2};
    }
    const PlyTable quad = faceTable({{4, 0, 1, 2, 3}});
    // The fan (0, 1, 2), (0, 2, 3) of the corners' colours.
    const auto fan = [](const QStringList& corner) {
        return QStringList{corner[0], corner[1], corner[2], corner[0], corner[2], corner[3]}.join(
            ' ');
    };
    const QStringList byteCorners = {"ff0000ff", "00ff00ff", "0000ffff", "102030ff"};
    const QStringList floatCorners = {"ff0080ff", "ff0000ff", "0000ffff", "0040bfff"};
    const QStringList wideCorners = {"ff0001ff", "00ff00ff", "0000ffff", "102000ff"};
    const struct {
        const char* name;
        QByteArray file;
        QString colours;
    } cases[] = {
        {"bytes.ply", plyFile(PlyForm::Ascii, {bytes, quad}), fan(byteCorners)},
        {"floats.ply", plyFile(PlyForm::BigEndian, {floats, quad}), fan(floatCorners)},
        {"16-bit.ply", plyFile(PlyForm::LittleEndian, {wide, quad}), fan(wideCorners)},
        {"two channels.ply", plyFile(PlyForm::LittleEndian, {twoChannels, quad}), "none"},
        {"points.ply", plyFile(PlyForm::Ascii, {bytes}),
         QStringList{times(12, "ff0000ff"), times(12, "00ff00ff"), times(12, "0000ffff"),
                     times(12, "102030ff")}
             .join(' ')},
    };
    for (const auto& c : cases) {
        const mySTLReader reader(writeSource(c.name, c.file), true);
        EXPECT_TRUE(reader.renderable && reader.modelValid) << c.name;
        EXPECT_EQ(colours(reader), c.colours) << c.name;
    }
}
