#include "mesh_fixture.h"
#include "mesh_writers.h"

#include <QFileInfo>

#include <sys/stat.h>

#include <cmath>
#include <limits>

namespace {

const Triangle kTilted{{0, 0, 0}, {2, 0, 0}, {0, 3, 0}};
const Triangle kRaised{{0, 0, 1}, {0, 4, 1}, {5, 0, 1}};

using MeshReader = MeshTest;

TEST_F(MeshReader, WithoutNormalsATriangleIsThreePositions) {
    const mySTLReader reader(writeSource("two.stl", binaryStl({kTilted, kRaised})), true);
    EXPECT_EQ(allFloats(reader), (QVector<float>{0, 0, 0, 2, 0, 0, 0, 3, 0, //
                                                 0, 0, 1, 0, 4, 1, 5, 0, 1}));
    EXPECT_TRUE(reader.renderable);
    EXPECT_TRUE(reader.modelValid);
}

TEST_F(MeshReader, WithNormalsEveryPositionIsFollowedByItsFacetNormal) {
    const mySTLReader reader(writeSource("two.stl", binaryStl({kTilted, kRaised})), false);
    // (p2 - p1) x (p3 - p2): +z for the first, -z for the second.
    EXPECT_EQ(allFloats(reader),
              (QVector<float>{0, 0, 0, 0, 0, 1,  2, 0, 0, 0, 0, 1,  0, 3, 0, 0, 0, 1, //
                              0, 0, 1, 0, 0, -1, 0, 4, 1, 0, 0, -1, 5, 0, 1, 0, 0, -1}));
}

TEST_F(MeshReader, BoundingBoxComesFromPositionsOnly) {
    // The second facet's normal is (0, 0, -1): counted as a position it would pull minZ to -1.
    const mySTLReader reader(writeSource("box.stl", binaryStl({kTilted, kRaised})), false);
    EXPECT_EQ(reader.minX, 0);
    EXPECT_EQ(reader.maxX, 5);
    EXPECT_EQ(reader.minY, 0);
    EXPECT_EQ(reader.maxY, 4);
    EXPECT_EQ(reader.minZ, 0);
    EXPECT_EQ(reader.maxZ, 1);
    EXPECT_EQ(reader.maxExtent, 5);
}

TEST_F(MeshReader, LargestExtentMustBePositiveAndAtMostTenThousand) {
    const auto read = [this](const char* name, float width) {
        return std::make_unique<mySTLReader>(
            writeSource(name, binaryStl({{{0, 0, 0}, {width, 0, 0}, {0, 1, 0}}})), true);
    };
    EXPECT_TRUE(read("ok.stl", 10000.0f)->modelValid);
    const auto tooWide = read("wide.stl", 10000.5f);
    EXPECT_FALSE(tooWide->modelValid);
    EXPECT_FALSE(tooWide->renderable);
    // A flat model only needs one extent.
    EXPECT_TRUE(read("flat.stl", 3.0f)->modelValid);
    const auto point = std::make_unique<mySTLReader>(
        writeSource("point.stl", binaryStl({{{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}})), true);
    EXPECT_EQ(point->maxExtent, 0);
    EXPECT_FALSE(point->modelValid);
}

TEST_F(MeshReader, NotANumberThatReachesTheBoxMakesTheModelInvalid) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    // "minX takes x unless x > minX": a NaN is taken, and the next finite x replaces it.
    for (const QVector3D& bad :
         {QVector3D(nan, 0, 0), QVector3D(0, nan, 0), QVector3D(0, 0, nan)}) {
        const mySTLReader last(
            writeSource("last.stl", binaryStl({kTilted, {{1, 1, 1}, {2, 0, 2}, bad}})), true);
        EXPECT_FALSE(last.modelValid);
        const mySTLReader first(
            writeSource("first.stl", binaryStl({{bad, {1, 1, 1}, {2, 0, 2}}, kTilted})), true);
        EXPECT_TRUE(first.modelValid);
        EXPECT_EQ(first.maxExtent, 3);
    }
    const float inf = std::numeric_limits<float>::infinity();
    const mySTLReader infinite(
        writeSource("inf.stl", binaryStl({{{0, 0, 0}, {inf, 0, 0}, {0, 1, 0}}})), true);
    EXPECT_FALSE(infinite.modelValid);
}

TEST_F(MeshReader, EmptyFileOfAnyKindIsNoModelAndSuffixCaseDoesNotMatter) {
    for (const QString suffix : {"STL", "Obj", "slc"}) {
        const QString empty = writeSource("empty." + suffix, {});
        // A FIFO is never opened (that would block): it reads as an empty file.
        const QString fifo = QFileInfo(empty).path() + "/fifo." + suffix;
        ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        for (const QString& path : {empty, fifo}) {
            const mySTLReader reader(path, true);
            EXPECT_FALSE(reader.renderable) << qPrintable(path);
            EXPECT_FALSE(reader.modelValid) << qPrintable(path);
        }
    }
    const mySTLReader upper(writeSource("cube.STL", binaryStl(cube(1))), true);
    EXPECT_EQ(upper.kind, MeshStl);
    EXPECT_TRUE(upper.modelValid);
    const mySTLReader other(writeSource("cube.ply", binaryStl(cube(1))), true);
    EXPECT_TRUE(other.chunks.empty());
    EXPECT_TRUE(other.renderable);
}

TEST_F(MeshReader, AppendTriangleClosesFullChunksAndRunsTheGuard) {
    mySTLReader reader(writeSource("none.xyz", {}), true);
    // 50 MiB of floats without normals is 1,456,356 triangles (nine floats each).
    const int perChunk = 52428800 / 36 + 1;
    for (int i = 0; i < perChunk - 1; ++i) {
        ASSERT_FALSE(reader.appendTriangle({0, 0, 0}, {1, 0, 0}, {0, 1, 0}));
    }
    EXPECT_TRUE(reader.chunks.empty());
    setMemory(90, 8ull << 30);
    EXPECT_TRUE(reader.appendTriangle({0, 0, 0}, {1, 0, 0}, {0, 1, 0}));
    ASSERT_EQ(reader.chunks.size(), 1u);
    EXPECT_EQ(reader.chunks[0].size() % 9, 0u);
    EXPECT_FALSE(reader.renderable);
    EXPECT_TRUE(reader.modelValid);
    EXPECT_TRUE(log().contains(QStringLiteral("内存已经超过百分之90     ") + reader.filePath));
}

TEST_F(MeshReader, GuardStopsAtNinetyPercentNotBelow) {
    const QByteArray faces = objFile(cube(1));
    setMemory(89, 8ull << 30);
    EXPECT_TRUE(mySTLReader(writeSource("busy.obj", faces), true).renderable);
    setMemory(90, 8ull << 30);
    const mySTLReader stopped(writeSource("full.obj", faces), true);
    EXPECT_FALSE(stopped.renderable);
    EXPECT_TRUE(stopped.modelValid);
}

} // namespace
