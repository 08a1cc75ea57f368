#include "mesh_fixture.h"
#include "mesh_writers.h"

namespace {

const QVector<Triangle> kTwo = {{{0, 0, 0}, {2, 0, 0}, {0, 3, 0}},
                                {{0, 0, 1}, {0, 4, 1}, {5, 0, 1}}};

// The sizes of a reader's chunks, in facets.
QVector<std::size_t> chunkFacets(const mySTLReader& reader) {
    QVector<std::size_t> facets;
    for (const VertexChunk& chunk : reader.chunks) {
        facets.append(chunk.size() / (reader.withNormals ? 18 : 9));
    }
    return facets;
}

using StlReader = MeshTest;

TEST_F(StlReader, AsciiAndBinaryFormsGiveTheSameVertices) {
    const mySTLReader binary(writeSource("b.stl", binaryStl(kTwo)), true);
    const mySTLReader ascii(writeSource("a.stl", asciiStl(kTwo)), true);
    EXPECT_EQ(allFloats(ascii), allFloats(binary));
    EXPECT_EQ(ascii.maxExtent, 5);
}

TEST_F(StlReader, BinaryHeaderStartingWithSolidIsStillBinary) {
    const mySTLReader reader(writeSource("solid.stl", binaryStl(kTwo, "solid but binary")), true);
    EXPECT_EQ(allFloats(reader).size(), 18);
    EXPECT_EQ(reader.dataOffset, 84);
    // Only a second line with "facet" makes it text; "endsolid" on the first line counts.
    const QByteArray text = "  endsolid x\nfacet normal 0 0 0\nvertex 1 2 3\nvertex 4\t5   6\n"
                            "vertex 7 8 9\nvertex 1 1 1\n";
    const mySTLReader ascii(writeSource("text.stl", text), true);
    EXPECT_EQ(allFloats(ascii), (QVector<float>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    // Blank lines before "facet" are passed over; binary bytes after them are not.
    const mySTLReader spaced(writeSource("spaced.stl", "  endsolid x\n\n \t\r\n" + text.mid(13)),
                             true);
    EXPECT_EQ(allFloats(spaced), allFloats(ascii));
    const mySTLReader gap(writeSource("gap.stl", binaryStl(kTwo, "solid\n\n\n")), true);
    EXPECT_EQ(allFloats(gap).size(), 18);
}

TEST_F(StlReader, StoredNormalsNeverMatter) {
    const mySTLReader zero(writeSource("zero.stl", binaryStl(kTwo, "x", std::nullopt, {0, 0, 0})),
                           false);
    const mySTLReader odd(writeSource("odd.stl", binaryStl(kTwo, "x", std::nullopt, {9, -9, 9})),
                          false);
    EXPECT_EQ(allFloats(zero), allFloats(odd));
}

TEST_F(StlReader, BlocksFollowTheFacetCountAndHalveWithNormals) {
    const QByteArray small = binaryStl(QVector<Triangle>(200000, kTwo[0]));
    EXPECT_EQ(chunkFacets(mySTLReader(writeSource("small.stl", small), true)),
              (QVector<std::size_t>{200000}));
    EXPECT_EQ(chunkFacets(mySTLReader(writeSource("small.stl", small), false)),
              (QVector<std::size_t>{100000, 100000}));

    const QByteArray large = binaryStl(QVector<Triangle>(2000000, kTwo[1]));
    EXPECT_EQ(chunkFacets(mySTLReader(writeSource("large.stl", large), true)),
              (QVector<std::size_t>{1456355, 543645}));
    EXPECT_EQ(chunkFacets(mySTLReader(writeSource("large.stl", large), false)),
              (QVector<std::size_t>{728177, 728177, 543646}));
}

TEST_F(StlReader, OneFacetWithNormalsIsStillRead) {
    const mySTLReader reader(writeSource("one.stl", binaryStl({kTwo[0]})), false);
    EXPECT_EQ(chunkFacets(reader), (QVector<std::size_t>{1}));
}

TEST_F(StlReader, ShortBinaryFileDrawsTheWholeFacetsThatArrived) {
    QByteArray bytes = binaryStl(kTwo + kTwo, "x", 1000);
    bytes.chop(30); // the fourth facet is cut
    const mySTLReader reader(writeSource("short.stl", bytes), true);
    EXPECT_EQ(chunkFacets(reader), (QVector<std::size_t>{3}));
    EXPECT_TRUE(reader.renderable);
    EXPECT_EQ(reader.maxExtent, 5);
    EXPECT_TRUE(log().endsWith("   information    :    read less\r\n"));

    const mySTLReader nothing(writeSource("cut.stl", binaryStl({}, "x", 5) + QByteArray(49, '\0')),
                              true);
    EXPECT_TRUE(nothing.chunks.empty());
    EXPECT_FALSE(nothing.modelValid);
}

TEST_F(StlReader, FacetCountBeyondMemoryIsRefusedQuietly) {
    // 0xFFFFFFFF facets would need 144 GiB.
    const mySTLReader reader(writeSource("huge.stl", binaryStl(kTwo, "x", 0xFFFFFFFF)), true);
    EXPECT_FALSE(reader.renderable);
    EXPECT_TRUE(reader.modelValid);
    EXPECT_TRUE(reader.chunks.empty());
    EXPECT_TRUE(log().isEmpty());
    // Within two thirds of the available memory the same file is read (and found short).
    setMemory(10, 0xFFFFFFFFull * 36 / 2 * 3 + 3);
    EXPECT_TRUE(
        mySTLReader(writeSource("huge.stl", binaryStl(kTwo, "x", 0xFFFFFFFF)), true).renderable);
}

TEST_F(StlReader, AsciiVertexLinesOutsideWholeTrianglesAreDropped) {
    const QByteArray text =
        "solid t\nfacet normal 0 0 0\n"
        "vertex 0 0 0\nvertex 1 0 0\nvertex 0 1 0\nvertex 5 5 5\nvertex 6 6 6\n";
    const mySTLReader reader(writeSource("partial.stl", text), true);
    EXPECT_EQ(allFloats(reader), (QVector<float>{0, 0, 0, 1, 0, 0, 0, 1, 0}));
    EXPECT_EQ(reader.maxExtent, 1);
}

TEST_F(StlReader, AsciiNumbersThatAreMissingReadAsZero) {
    const QByteArray text = "solid t\nfacet\nvertex 3\nvertex\nvertex x 2 3\n";
    const mySTLReader reader(writeSource("missing.stl", text), true);
    EXPECT_EQ(allFloats(reader), (QVector<float>{3, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(StlReader, OverlongLinesArriveInPiecesAndNeverOverrun) {
    // A 3,000-byte line: "vertex" beyond the first 1,023 bytes is found in a later piece.
    QByteArray text = "solid t\nfacet\n";
    text += QByteArray(1500, ' ') + "vertex 1 2 3" + QByteArray(1500, ' ') + "\n";
    text += "vertex 4 5 6\nvertex 7 8 9\n";
    text += "vertex" + QByteArray(5000, '9') + "\n";
    const mySTLReader reader(writeSource("long.stl", text), true);
    EXPECT_EQ(allFloats(reader), (QVector<float>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
}

TEST_F(StlReader, AsciiFileWithoutTrianglesIsAnEmptyButDrawableModel) {
    const mySTLReader reader(writeSource("none.stl", "solid x\nfacet normal\nendsolid x\n"), true);
    EXPECT_TRUE(reader.chunks.empty());
    EXPECT_TRUE(reader.renderable);
    EXPECT_TRUE(reader.modelValid);
}

} // namespace
