#include "mesh_fixture.h"
#include "mesh_writers.h"

namespace {

// Vertices 1 to 8 at x = 1..8, so a triangle's corners name its references.
const QByteArray kVertices = "v 1 0 0\nv 2 0 0\nv 3 0 0\nv 4 0 1\nv 5 0 2\nv 6 0 3\n"
                             "v 7 0 4\nv 8 0 5\n";

// The x of each corner of each stored triangle.
QVector<float> cornersX(const mySTLReader& reader) {
    QVector<float> xs;
    const QVector<float> floats = allFloats(reader);
    for (int i = 0; i < floats.size(); i += 3) {
        xs.append(floats[i]);
    }
    return xs;
}

using ObjReader = MeshTest;

TEST_F(ObjReader, FacesBecomeFansOverAllTheirCorners) {
    const mySTLReader quad(writeSource("quad.obj", kVertices + "f 1 2 3 4\n"), true);
    EXPECT_EQ(cornersX(quad), (QVector<float>{1, 2, 3, 1, 3, 4}));
    // More corners than six: the whole polygon.
    const mySTLReader octagon(writeSource("octagon.obj", kVertices + "f 1 2 3 4 5 6 7 8\n"), true);
    EXPECT_EQ(cornersX(octagon),
              (QVector<float>{1, 2, 3, 1, 3, 4, 1, 4, 5, 1, 5, 6, 1, 6, 7, 1, 7, 8}));
}

TEST_F(ObjReader, LongPolygonsCloseChunksByTheirBytes) {
    // Each line is one polygon of about 500 corners (under the 1,023 bytes of a line): counted
    // per face line its 498 triangles would never fill a chunk.
    QByteArray face = "f 1";
    while (face.size() < 1000) {
        face += " 2 3";
    }
    const int trianglesPerLine = (face.size() - 3) / 2 - 1;
    const int lines = 52428800 / (36 * trianglesPerLine) + 1;
    QByteArray text = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
    for (int i = 0; i < lines; ++i) {
        text += face + "\n";
    }
    const mySTLReader reader(writeSource("long.obj", text), true);
    ASSERT_EQ(reader.chunks.size(), 2u);
    for (const VertexChunk& chunk : reader.chunks) {
        EXPECT_LT(chunk.bytes(), 52428800u + 36u);
        EXPECT_EQ(chunk.size() % 9, 0u);
    }
    EXPECT_EQ(reader.chunks[0].bytes() + reader.chunks[1].bytes(),
              std::size_t{36} * trianglesPerLine * lines);
}

TEST_F(ObjReader, OnlyTheNumberBeforeTheFirstSlashCounts) {
    const mySTLReader reader(
        writeSource("slashes.obj", kVertices + "vt 0 0\nvn 0 0 1\n"
                                               "f 1/1/1 2/2/2 3/3/3\nf 4//1 5//1 6//1\n"),
        true);
    EXPECT_EQ(cornersX(reader), (QVector<float>{1, 2, 3, 4, 5, 6}));
}

TEST_F(ObjReader, ListEndsAtTheFirstReferenceThatIsNoVertexYet) {
    const QByteArray text = kVertices + "f -1 -2 -3\n"                // relative: nothing
                                        "f 1 2 -1\n"                  // two kept: nothing
                                        "f 1 2 9\nv 9 0 0\nf 1 2 9\n" // 9 only once it exists
                                        "f 1\t2\t3\n"                 // tabs: one reference
                                        "f 1 2 3 \n"                  // trailing blank: harmless
                                        "f 010 0x2 3\n";              // octal 8, hex 2
    const mySTLReader reader(writeSource("refs.obj", text), true);
    EXPECT_EQ(cornersX(reader), (QVector<float>{1, 2, 9, 1, 2, 3, 8, 2, 3}));
}

TEST_F(ObjReader, EveryVertexLineWidensTheBoxButNotVariants) {
    const QByteArray text = "v 0 0 0\nv 1 1 1\nv\t50 50 50\nvn 9 9 9\nv -4 0 0\nf 1 2 1\n";
    const mySTLReader reader(writeSource("box.obj", text), true);
    EXPECT_EQ(reader.minX, -4);
    EXPECT_EQ(reader.maxX, 1);
    EXPECT_EQ(reader.maxExtent, 5);
    EXPECT_EQ(reader.objPositions.size(), 9);
}

TEST_F(ObjReader, VerticesWithoutFacesAreAnEmptyDrawableModel) {
    const mySTLReader reader(writeSource("points.obj", "v 0 0 0\nv 1 2 3\n"), true);
    EXPECT_TRUE(reader.chunks.empty());
    EXPECT_TRUE(reader.renderable);
    EXPECT_TRUE(reader.modelValid);
}

TEST_F(ObjReader, WithNormalsFacesCarryTheirFacetNormal) {
    const mySTLReader reader(writeSource("n.obj", "v 0 0 0\nv 2 0 0\nv 0 3 0\nf 1 2 3\n"), false);
    EXPECT_EQ(allFloats(reader),
              (QVector<float>{0, 0, 0, 0, 0, 1, 2, 0, 0, 0, 0, 1, 0, 3, 0, 0, 0, 1}));
}

TEST_F(ObjReader, FileLargerThanTheAvailableMemoryIsNotOpened) {
    setMemory(10, 10);
    const QString path = writeSource("big.obj", kVertices);
    const mySTLReader reader(path, true);
    EXPECT_FALSE(reader.renderable);
    EXPECT_TRUE(reader.modelValid);
    EXPECT_TRUE(log().endsWith("   information    :    file is too large\n" + path + "\r\n"));
}

} // namespace
