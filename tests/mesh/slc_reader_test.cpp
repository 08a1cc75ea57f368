#include "mesh_fixture.h"
#include "mesh_writers.h"

namespace {

SlcFile oneSquare(float z = 0.0f) {
    SlcFile file;
    file.layers = {{z, {squareBoundary(10)}}};
    return file;
}

// Triangles stored, nine floats each (the tests read without normals).
int triangles(const mySTLReader& reader) {
    return allFloats(reader).size() / 9;
}

using SlcReader = MeshTest;

TEST_F(SlcReader, EachSegmentBecomesAWallOfTwoTriangles) {
    SlcFile file;
    file.layers = {{2.0f, {{{0, 0}, {4, 0}}}}};
    const mySTLReader reader(writeSource("wall.slc", file.bytes()), true);
    // Layer z = 2, thickness 0.05: (Q1, P0, P1) then (Q0, P0, Q1).
    const float top = 2.0f + 0.05f;
    EXPECT_EQ(allFloats(reader), (QVector<float>{4, 0, top, 0, 0, 2, 4, 0, 2, //
                                                 0, 0, top, 0, 0, 2, 4, 0, top}));
    EXPECT_TRUE(reader.modelValid);
}

TEST_F(SlcReader, BoundariesAreNeverClosedByTheReader) {
    SlcFile open;
    open.layers = {{0.0f, {squareBoundary(10).mid(0, 4)}}};
    EXPECT_EQ(triangles(mySTLReader(writeSource("closed.slc", oneSquare().bytes()), true)), 8);
    EXPECT_EQ(triangles(mySTLReader(writeSource("open.slc", open.bytes()), true)), 6);
    SlcFile single;
    single.layers = {{0.0f, {{{1, 1}}, {}, squareBoundary(1)}}};
    EXPECT_EQ(triangles(mySTLReader(writeSource("single.slc", single.bytes()), true)), 8);
}

TEST_F(SlcReader, ThicknessIsTheLastSampleAtOrBelowTheLayer) {
    SlcFile file;
    file.samples = {{0.0f, 0.05f}, {1.0f, 0.2f}};
    file.layers = {
        {-1.0f, {{{0, 0}, {1, 0}}}}, {0.5f, {{{0, 0}, {1, 0}}}}, {3.0f, {{{0, 0}, {1, 0}}}}};
    const mySTLReader reader(writeSource("samples.slc", file.bytes()), true);
    const QVector<float> floats = allFloats(reader);
    ASSERT_EQ(floats.size(), 3 * 18);
    EXPECT_EQ(floats[2], -1.0f + 0.1f);
    EXPECT_EQ(floats[18 + 2], 0.5f + 0.05f);
    EXPECT_EQ(floats[36 + 2], 3.0f + 0.2f);
}

TEST_F(SlcReader, HeaderTerminatorMustLieWithinTheFirstTwoBlocks) {
    const auto withHeader = [](int length) {
        SlcFile file = oneSquare();
        file.header = QByteArray(length, 'h');
        return file.bytes();
    };
    EXPECT_EQ(triangles(mySTLReader(writeSource("a.slc", withHeader(2045)), true)), 8);
    // Found in the third block, but the count byte would then lie at 2,307 or beyond.
    const mySTLReader late(writeSource("b.slc", withHeader(2048)), true);
    EXPECT_TRUE(late.chunks.empty());
    EXPECT_TRUE(late.renderable);
    EXPECT_TRUE(late.modelValid);
    // Each 1,024-byte block is searched on its own: a terminator across two is not found.
    EXPECT_TRUE(mySTLReader(writeSource("c.slc", withHeader(1023)), true).chunks.empty());
    EXPECT_TRUE(mySTLReader(writeSource("f.slc", withHeader(2046)), true).chunks.empty());
    EXPECT_EQ(triangles(mySTLReader(writeSource("d.slc", withHeader(1021)), true)), 8);
    // A NUL ends a block's text.
    SlcFile nul = oneSquare();
    nul.header = QByteArray("x\0y", 3);
    EXPECT_TRUE(mySTLReader(writeSource("e.slc", nul.bytes()), true).chunks.empty());
    EXPECT_TRUE(log().isEmpty());
}

TEST_F(SlcReader, NoSamplesOrNoLayersGiveNoTriangles) {
    SlcFile noSamples = oneSquare();
    noSamples.samples.clear();
    const mySTLReader a(writeSource("a.slc", noSamples.bytes()), true);
    EXPECT_TRUE(a.chunks.empty());
    EXPECT_TRUE(a.modelValid);

    SlcFile noLayers;
    noLayers.endMarker = false;
    const mySTLReader b(writeSource("b.slc", noLayers.bytes()), true);
    EXPECT_TRUE(b.chunks.empty());
    EXPECT_TRUE(b.renderable);
    EXPECT_TRUE(b.modelValid);
    const mySTLReader c(writeSource("c.slc", SlcFile().bytes()), true);
    EXPECT_TRUE(c.chunks.empty());
    EXPECT_TRUE(c.modelValid);
    EXPECT_TRUE(log().isEmpty());
}

TEST_F(SlcReader, ShortSamplingTableIsLogged) {
    const QByteArray bytes = oneSquare().bytes();
    const int tableStart = oneSquare().header.size() + 3 + 256 + 1;
    const QString path = writeSource("table.slc", bytes.left(tableStart + 10));
    const mySTLReader reader(path, true);
    EXPECT_TRUE(reader.chunks.empty());
    EXPECT_TRUE(reader.renderable);
    EXPECT_TRUE(
        log().endsWith("   information    :    SLC_sampleTbItem_t read less\n" + path + "\r\n"));
}

TEST_F(SlcReader, TruncatedBoundaryKeepsTheWallsBeforeIt) {
    SlcFile file;
    file.layers = {{0.0f, {squareBoundary(10)}}, {0.05f, {squareBoundary(10)}}};
    QByteArray bytes = file.bytes();
    bytes.chop(8 + 12); // the end marker and part of the last boundary's vertices
    const mySTLReader reader(writeSource("cut.slc", bytes), true);
    EXPECT_EQ(triangles(reader), 8);
    EXPECT_TRUE(reader.modelValid);
}

TEST_F(SlcReader, VertexCountTheFileCannotHoldAllocatesNothing) {
    SlcFile file = oneSquare();
    QByteArray bytes = file.bytes();
    // The boundary's vertex count sits right after the first layer's z and count.
    const int countAt = file.header.size() + 3 + 256 + 1 + 16 + 8;
    bytes.replace(countAt, 4, QByteArray("\xff\xff\xff\x7f", 4));
    const mySTLReader reader(writeSource("huge.slc", bytes), true);
    EXPECT_TRUE(reader.chunks.empty());
}

TEST_F(SlcReader, FileLargerThanTheAvailableMemoryIsNotOpened) {
    setMemory(10, 100);
    const QString path = writeSource("big.slc", oneSquare().bytes());
    const mySTLReader reader(path, true);
    EXPECT_FALSE(reader.renderable);
    EXPECT_TRUE(log().endsWith("   information    :    file is too large\n" + path + "\r\n"));
}

} // namespace
