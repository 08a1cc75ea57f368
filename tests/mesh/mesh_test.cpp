#include "draw_view.h"
#include "files.h"
#include "log.h"
#include "memory_probes.h"
#include "mesh_text.h"
#include "mesh_writers.h"
#include "my_stl_reader.h"

#include <QBuffer>
#include <QRandomGenerator>

#include <sys/stat.h>

#include <cstring>

#include <gtest/gtest.h>

namespace {

const float kNaN = float(qQNaN());
const float kInf = float(qInf());
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

TEST(FloatText, AgreesWithStrtofBitForBitAndInWhereItStops) {
    // The forms mesh files hold, those the fast path must leave to strtof, and random ones:
    // mostly decimals, some with an exponent, a quarter of them noise.
    QByteArrayList texts =
        QByteArray("0|-0|1|1.5|-1.5|.5|-.5|5.|1e3|1E-3|1.25e+02|  7|\t-8|\n9|+3|+.5|1e|1e+|-|.||"
                   "abc|e5|1.2.3|0x1p3|-0X10|inf|-INF|infinity|nan|NaN(123)|1e50|-1e50|1e-50|"
                   "1e-40|3.4028235e38|3.4028236e38|1.17549435e-38|123456789012345678901234|"
                   "0.1000000000000000055511151231257827|1,5|2 3|4\t5|0000001.000")
            .split('|');
    QRandomGenerator random(20261205);
    for (int i = 0; i < 200000; ++i) {
        QByteArray text = QByteArray::number(random.bounded(2e5) - 1e5, 'f', random.bounded(7)) +
                          (i % 3 ? "" : "e" + QByteArray::number(random.bounded(-45, 45)));
        for (int n = i % 4 ? 0 : text.size(); n > 0; --n) {
            text[n - 1] = "0123456789.eE+- \t"[random.bounded(17)];
        }
        texts.append(text);
    }
    for (const QByteArray& text : texts) {
        char* strtofEnd = nullptr;
        const float expected = strtofC(text.constData(), &strtofEnd);
        const char* end = nullptr;
        const float actual = parseFloat(text.constData(), text.constData() + text.size(), &end);
        ASSERT_EQ(end, strtofEnd) << text.constData();
        ASSERT_EQ(std::memcmp(&expected, &actual, sizeof(float)), 0) << text.constData();
    }
}

TEST(LineReader, HandsOutTheLinesAndPiecesThatReadLineDoes) {
    // Lines around the 1,023-byte piece limit, empty lines, CR LF, and lines crossing the
    // reader's buffer boundaries; the file ends without a line break.
    QByteArray text;
    for (const int length : {0, 1, 1021, 1022, 1023, 1024, 2045, 2046, 2047, 5000}) {
        text += QByteArray(length, 'a') + '\n';
    }
    for (QRandomGenerator random(3); text.size() < 300000;) {
        const int length = random.bounded(4) ? random.bounded(60) : random.bounded(3000);
        text += QByteArray(length, char('a' + random.bounded(26))) +
                (random.bounded(5) ? "\n" : "\r\n");
    }
    // The reader's last read of 64 KiB finds a single byte.
    text += QByteArray(5 * 65536 - 12 - text.size(), 'z') + "\nvertex 1 2 3";
    QBuffer byQt(&text);
    QBuffer byReader(&text);
    ASSERT_TRUE(byQt.open(QIODevice::ReadOnly) && byReader.open(QIODevice::ReadOnly));
    LineReader reader(byReader);
    char expected[kLineLimit + 1];
    char actual[kLineLimit + 1];
    for (qint64 got = 1; got > 0;) {
        // Poisoned before each read, so a missing terminator or a stale byte shows.
        std::memset(actual, 'X', sizeof(actual));
        // The limit written out, not the reader's constant, so a moved constant shows.
        got = byQt.readLine(expected, 1024);
        ASSERT_EQ(reader.next(actual), got > 0) << byQt.pos();
        if (got > 0) {
            ASSERT_EQ(QByteArray(actual, int(got) + 1), QByteArray(expected, int(got) + 1))
                << byQt.pos();
        }
    }
}

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

// What a reader made of a file: facets per chunk ("-" for none), the largest extent, the flags
// that keep it from being drawn, and what it logged.
QString outcome(const mySTLReader& r) {
    QStringList chunks;
    for (const VertexChunk& chunk : r.chunks) {
        chunks << QString::number(chunk.size() / floatsPerFacet(r.withNormals));
    }
    QString text = (chunks.isEmpty() ? "-" : chunks.join('+')) + " extent " +
                   QString::number(r.maxExtent) + (r.renderable ? "" : " hidden") +
                   (r.modelValid ? "" : " invalid");
    for (const QString& message : logged) {
        text += " log: " + message;
    }
    return text.replace(kInfoLabel, "info ").replace(r.filePath, "PATH");
}

// Layers sampled 0.05 thick from z = 0, under a header of one byte unless told.
QByteArray slc(const QVector<SlcLayer>& layers, const QByteArray& header = "h") {
    return SlcFile{header, {{0, 0.05f}}, layers}.bytes();
}

struct Case {
    QString name;
    QByteArray bytes; // null: a FIFO
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
    const QVector<QPointF> square = squareBoundary(10);
    const QByteArray one = slc({{0, {square}}});
    const QByteArray layers = slc({{0, {square}}, {0.05f, {square}}});
    // A chunk's 50 MiB hold 1,456,356 triangles without normals; this wall has two more.
    const QByteArray flat = slc({{0, {QVector<QPointF>(728180)}}});
    const QByteArray quads =
        "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\n" + QByteArray("f 1 2 4 3\n").repeated(3);
    // The folder writeSource writes to.
    const QString sources = writeSource("x", {}).chopped(1);
    QVector<Case> cases = {
        // Drawn with a largest extent above 0 and up to 10,000.
        {"a.stl", binaryStl({{{0, 0, 0}, {10000, 0, 0}, {0, 1, 0}}}), "1 extent 10000"},
        {"b.stl", binaryStl({{{0, 0, 0}, {10000.5f, 0, 0}, {0, 1, 0}}}),
         "1 extent 10000.5 hidden invalid"},
        {"c.stl", binaryStl({{{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}}), "1 extent 0 hidden invalid"},
        {"d.stl", binaryStl({{{0, 0, 0}, {kInf, 0, 0}, {0, 1, 0}}}), "1 extent inf hidden invalid"},
        // Other suffixes are not read; empty files and FIFOs are no model, whatever the case
        // of the suffix.
        {"cube.ply", binaryStl(cube(1)), "- extent 0"},
        {"fifo.STL", {}, "- extent 0 hidden invalid"},
        {"fifo.Obj", {}, "- extent 0 hidden invalid"},
        {"fifo.slc", {}, "- extent 0 hidden invalid"},
        {"empty.slc", "", "- extent 0 hidden invalid"},
        // Stored normals never matter; all forms give the same; normals never widen the box.
        {"two.stl", oddNormals, "2 extent 1", two},
        {"twoN.stl", oddNormals, "1+1 extent 1", twoNormals, false},
        {"two.obj", objFile(kTwo), "2 extent 1", two},
        {"twoN.obj", objFile(kTwo), "2 extent 1", twoNormals, false},
        {"text.stl", asciiStl(kTwo), "2 extent 1", two},
        {"textN.stl", asciiStl(kTwo), "2 extent 1", twoNormals, false},
        // The guard stops at a load of 90 %; OBJ and SLC files must fit the available memory,
        // binary STL facets two thirds of it.
        {"a.obj", obj, "12 extent 1", {}, true, 89},
        {"b.obj", obj, "- extent 0" + guard, {}, true, 90},
        {"c.obj", obj, "12 extent 1", {}, true, 10, obj.size()},
        {"d.obj", obj, tooLarge, {}, true, 10, obj.size() - 1},
        {"e.slc", one, tooLarge, {}, true, 10, one.size() - 1},
        {"f.stl", asciiStl(cube(1)), "12 extent 1", {}, true, 10, 10},
        {"g.stl", facets, "- extent 0 hidden"},
        {"h.stl", facets, "- extent 0 hidden", {}, true, 10, limit},
        {"i.stl", facets, "2 extent 1" + readLess, {}, true, 10, limit + 2},
        // Binary blocks follow the facet count and halve with normals; a file shorter than its
        // count gives the whole facets that arrived.
        {"1.stl", binaryStl({kTwo[1]}), "1 extent 1", {}, false},
        {"2.stl", large, "1456355+1 extent 1"},
        {"3.stl", large, "728177+728177+2 extent 1", {}, false},
        {"4.stl", binaryStl(kTwo + kTwo, "x", 1000).chopped(30), "3 extent 1" + readLess},
        {"5.stl", binaryStl({}, "x", 5) + QByteArray(49, '\0'),
         "- extent 0 hidden invalid" + readLess},
        {"6.stl", binaryStl({}), "- extent -inf"},
        // Streamed, these are measured by two threads; bytes past the counted facets are none.
        {"m1.stl", whole + QByteArray(100, '\1'), "40000 extent 976"},
        {"m2.stl", whole, "20000+20000 extent 976", {}, false},
        {"m3.stl", whole, "40000 extent 0" + guard, {}, true, 95},
        {"m4.stl", whole.chopped(120000), "37600 extent 976" + readLess},
        {"m5.stl", whole.chopped(120000), "20000+17600 extent 976" + readLess, {}, false},
        {"m6.stl", binaryStl(many), "40000 extent 976 hidden invalid"},
        {"m8.stl", inside, "3 extent 1"},
        {"m9.stl", inside, "1+1+1 extent 1", {}, false},
        // Text is "solid" (or "endsolid") on the first line and "facet" on the next that is not
        // blank; a vertex line outside a whole triangle is dropped.
        {"t1.stl", text, "1 extent 6", nine},
        {"t2.stl", "  endsolid x\n\n \t\r\n" + text.mid(13), "1 extent 6", nine},
        {"t3.stl", binaryStl(kTwo, "solid but binary"), "2 extent 1"},
        {"t4.stl", binaryStl(kTwo, "solid\n\n\n"), "2 extent 1"},
        // "facet" after a blank line does not make a file text that is exactly as long as a
        // binary one with its count; a byte more or less and it is text.
        {"t8.stl", binaryStl(kTwo, "solid x\n\nfacet normal 0 0 1\n"), "2 extent 1"},
        {"t9.stl", binaryStl(kTwo, "solid x\n\nfacet normal 0 0 1\n") + ' ', "- extent -inf"},
        {"t10.stl", binaryStl(kTwo, "solid x\nfacet normal 0 0 1\n"), "- extent -inf"},
        // Missing numbers read as 0, also on a last line whose buffer still holds "3".
        {"t5.stl", "solid t\nfacet\nvertex x 2 3\nvertex 3\nvertex", "1 extent 3", three},
        // "vertex" beyond the first 1,023 bytes of a line is found in a later piece.
        {"t6.stl",
         "solid t\nfacet\n" + QByteArray(1500, ' ') + "vertex 1 2 3" + QByteArray(1500, ' ') +
             "\nvertex 4 5 6\nvertex 7 8 9\nvertex" + QByteArray(5000, '9') + "\n",
         "1 extent 6", nine},
        {"t7.stl", "solid x\nfacet normal\nendsolid x\n", "- extent -inf"},
        // OBJ faces are fans over their references; polygons close chunks by their bytes too;
        // vertices alone are an empty model.
        {"faces.obj", faces, "13 extent 13", fans},
        {"long.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\n" + polygon.repeated(2919),
         "1456356+225 extent 1"},
        {"points.obj", "v 0 0 0\nv 1 2 3\n", "- extent 3"},
        // SLC segments are walls as thick as the last sample at or below their layer, and
        // boundaries are never closed by the reader; appending closes a chunk at 50 MiB and
        // runs the guard then.
        {"walls.slc", walls.bytes(), "8 extent 4.2", wallFloats},
        {"s1.slc", one, "8 extent 10"},
        {"full.slc", flat, "1456356 extent 0" + guard, {}, true, 90},
        {"s2.slc", slc({{0, {square.mid(0, 4)}}}), "6 extent 10"},
        {"s3.slc", slc({{0, {{{1, 1}}, {}, squareBoundary(1)}}}), "8 extent 1"},
        // The header's terminator is searched for in 1,024-byte blocks, each on its own and up
        // to a NUL; found in the third, it leaves the count byte too late.
        {"h1.slc", slc({{0, {square}}}, QByteArray(1021, 'h')), "8 extent 10"},
        {"h2.slc", slc({{0, {square}}}, QByteArray(1022, 'h')), "- extent 0"},
        {"h3.slc", slc({{0, {square}}}, QByteArray(2045, 'h')), "8 extent 10"},
        {"h4.slc", slc({{0, {square}}}, QByteArray(2046, 'h')), "- extent 0"},
        {"h5.slc", slc({{0, {square}}}, QByteArray(2048, 'h')), "- extent 0"},
        {"h6.slc", slc({{0, {square}}}, ""), "8 extent 10"},
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
        {"whole.obj", quads, "6 extent 1", {}, true, 10, 8ll << 30, 7},
        {"cut.stl", asciiStl(cube(1)), "5 extent 1" + cut, {}, true, 10, 8ll << 30, 5},
        {"cut.slc", layers, "10 extent 10" + cut, {}, true, 10, 8ll << 30, 10},
        {"whole.slc", layers, "16 extent 10", {}, true, 10, 8ll << 30, 17},
    };
    // The minimum takes a NaN, and the next finite value replaces it: only a last one stays.
    for (int axis = 0; axis < 3; ++axis) {
        QVector3D bad;
        bad[axis] = kNaN;
        cases.append({"last.stl", binaryStl({kTwo[0], {{1, 1, 1}, {2, 0, 2}, bad}}),
                      axis == 0 ? "2 extent nan hidden invalid" : "2 extent 2 hidden invalid"});
        cases << Case{"first.stl", binaryStl({{bad, {1, 1, 1}, {2, 0, 2}}, kTwo[0]}), "2 extent 2"};
    }
    // A FIFO is never opened (that would block): it reads as an empty file.
    for (const char* fifo : {"fifo.STL", "fifo.Obj", "fifo.slc"}) {
        ASSERT_EQ(mkfifo(QFile::encodeName(sources + fifo).constData(), 0600), 0);
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(qPrintable(c.name));
        load = c.load;
        available = c.available;
        logged.clear();
        const QString path = c.bytes.isNull() ? sources + c.name : writeSource(c.name, c.bytes);
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
            const quint32 count = quint32(floats.size()) / floatsPerFacet(!c.hasGeometry);
            // A stream left after its first piece still ends its worker.
            EXPECT_NE(FacetStream(path, 84, count, !c.hasGeometry, 1).next(), nullptr);
        }
    }
}

// The clip matrix as a projection, with nothing else around it, and a box of the positions.
DrawView viewOf(const float* columns, int side, QVector3D low, QVector3D high) {
    QMatrix4x4 clip;
    std::memcpy(clip.data(), columns, 16 * sizeof(float));
    return DrawView(clip, QMatrix4x4(), QMatrix4x4(), side, low, high);
}

// A stream hands on the facets that fit the fill budget, from the first piece on, in pieces of
// any size, leaving out only those clearly turned away from the eye.
TEST_F(MeshReader, StreamEndsAtTheFillBudgetAndLeavesOutFacetsClearlyTurnedAway) {
    // In a picture of side 2 under the identity a window pixel is a unit: `half` covers half a
    // pixel facing the eye and none facing away; one that cannot be placed counts the whole
    // picture.
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    const DrawView unit = viewOf(identity, 2, {-1, -1, 0}, {9, 9, 0});
    const Triangle half = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    const Triangle back = {half.a, half.c, half.b};
    const Triangle big = {{-1, -1, 0}, {9, -1, 0}, {-1, 9, 0}};
    const Triangle nan = {{0, 0, 0}, {kNaN, 0, 0}, {0, 1, 0}};
    // x moved by -2 z, y by -x, w = z: shears that keep a facet's turn only when each term
    // takes its own column. The bound on the vertex stage's rounding is taken over the facets
    // in front of the eye.
    const float clip[16] = {1, -1, 0, 0, 0, 1, 0, 0, -2, 0, 1, 1, 0, 0, 0, 0};
    const DrawView sheared = viewOf(clip, 100, {0, 0, 1}, {1, 1, 1});
    const Triangle front = {{0, 0, 1}, {1, 0, 1}, {0, 1, 1}};
    const Triangle away = {front.a, front.c, front.b};
    // Behind the eye, within the snapping of one pixel's fraction, or with a NaN: kept.
    const QVector<Triangle> kept = {{{0, 0, -1}, {0, 1, -1}, {1, 0, -1}},
                                    {{0, 0, 1}, {0, 1e-4f, 1}, {1e-4f, 0, 1}},
                                    {{0, 0, 1}, {kNaN, 1, 1}, {1, 0, 1}}};
    // A facet 0.02 units across, 10^5 from the origin, halved by the fit: 2 pixels wide in a
    // picture of 400 whose unit is 200 pixels. The vertex stage's float rounding moves its
    // corners by about a pixel there, so only a facet turned away by far more is left out.
    const float x = 1e5f;
    QMatrix4x4 model;
    model.scale(0.5f);
    model.translate(-x, 0, 0);
    const DrawView far(QMatrix4x4(), QMatrix4x4(), model, 400, {x - 2, -2, -2}, {x + 2, 2, 2});
    const DrawView near(QMatrix4x4(), QMatrix4x4(), QMatrix4x4(), 400, {-1, -1, -1}, {1, 1, 1});
    const auto turned = [](float left, float size) {
        return Triangle{{left, 0, 0}, {left, size, 0}, {left + size, 0, 0}};
    };
    const struct {
        const DrawView& view;
        QVector<Triangle> facets;
        double budget;
        QByteArray drawn; // per facet that fits: '+' handed on, '-' left out as turned away
    } rows[] = {
        {unit, {half, back, back, half, half}, 1.0, "+--+"}, // the last half pixel does not fit
        {unit, {half, back, half}, 1.0, "+-+"},              // exactly spent
        {unit, {big, half}, 4.0, "+"},                       // a facet covers at most the picture
        {unit, {half, big}, 4.0, "+"},                       //
        {unit, {nan, half}, 4.5, "++"},                      // unplaced: the whole picture
        {unit, {nan, half}, 4.25, "+"},                      //
        {unit, {half, half, half, half, half}, 0.4, ""},     // nothing fits
        {sheared, QVector<Triangle>{away, front, front, away, front, front} + kept,
         kFillBudgetPixels, "-++-+++++"},
        {near, {turned(0, 0.01f)}, kFillBudgetPixels, "-"},
        {far, {turned(x, 0.02f), turned(x, 2.0f)}, kFillBudgetPixels, "+-"},
    };
    for (const auto& row : rows) {
        const QString path = writeSource("budget.stl", binaryStl(row.facets));
        const QVector<float> floats = allFloats(mySTLReader(path, true));
        const bool cut = row.drawn.size() < row.facets.size();
        FillBudget budget(row.budget);
        EXPECT_EQ(budget.take(row.view, floats.data(), std::size_t(row.facets.size()), 3),
                  std::size_t(row.drawn.size()))
            << row.drawn.constData();
        EXPECT_EQ(budget.exhausted(), cut) << row.drawn.constData();
        QVector<Triangle> handedOn;
        for (int f = 0; f < row.drawn.size(); ++f) {
            if (row.drawn[f] == '+') {
                handedOn.append(row.facets[f]);
            }
        }
        const QString keptPath = writeSource("kept.stl", binaryStl(handedOn));
        for (const bool withNormals : {false, true}) {
            const QVector<float> expected = allFloats(mySTLReader(keptPath, !withNormals));
            for (const quint32 piece : {1u, 2u, 29127u}) {
                FacetStream stream(path, 84, quint32(row.facets.size()), withNormals, piece);
                stream.drawWith(row.view, row.budget);
                EXPECT_EQ(streamedBytes(stream), bytesOf(expected))
                    << row.drawn.constData() << " in pieces of " << piece << ", " << withNormals;
                EXPECT_EQ(stream.cut(), cut) << row.drawn.constData();
            }
        }
    }
}

} // namespace
