#include "binary_facets.h"
#include "mesh_fixture.h"
#include "mesh_writers.h"

#include <cstring>
#include <limits>

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

// The bytes of floats, so that NaNs compare too.
QByteArray bytesOf(const QVector<float>& floats) {
    return {reinterpret_cast<const char*>(floats.data()), int(floats.size() * sizeof(float))};
}

// Every float a stream hands over, in order, as bytes.
QByteArray streamedBytes(FacetStream& stream) {
    QByteArray bytes;
    while (const VertexChunk* piece = stream.next()) {
        bytes.append(reinterpret_cast<const char*>(piece->data()), int(piece->bytes()));
    }
    return bytes;
}

TEST_F(StlReader, StreamedBinaryGivesTheStoredFacetsFlagsAndBox) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    // Large enough for two threads to measure a half each; the halves differ in the sign of
    // their zeros, which only the order of the comparisons tells apart.
    QVector<Triangle> many;
    for (int i = 0; i < 40000; ++i) {
        const float f = float(i % 977) - 400;
        many.append({{f, 0, i < 20000 ? -0.0f : 0.0f}, {0, -f, 0}, {0, 0, -float(i % 3)}});
    }
    QByteArray cut = binaryStl(many);
    cut.chop(120000);
    // NaNs at the end of the first half, inside the second (the minimum starts again after
    // one) and as the very last vertex.
    QVector<Triangle> nans = many;
    nans[19999].c = {nan, 5, nan};
    nans[30000].a = {nan, nan, 1};
    nans[39990].b = {0, nan, 0};
    nans[39999].c = {1, 2, nan};
    const QVector<Triangle> nanInside = {kTwo[0], {{nan, 1, 1}, {1, nan, 1}, {1, 1, 1}}, kTwo[1]};
    for (const auto& [name, bytes] :
         {std::pair{"many.stl", binaryStl(many)}, std::pair{"cut.stl", cut},
          std::pair{"nans.stl", binaryStl(nans)}, std::pair{"nan.stl", binaryStl(nanInside)},
          std::pair{"none.stl", binaryStl({})}}) {
        for (const auto& [hasGeometry, load] :
             {std::pair{true, 10u}, std::pair{false, 10u}, std::pair{true, 95u}}) {
            SCOPED_TRACE(std::string(name) + (hasGeometry ? "" : " with normals") +
                         (load > 10 ? " over the memory guard" : ""));
            setMemory(load, 8ull << 30);
            const QString path = writeSource(name, bytes);
            const auto entries = [this] { return log().count("\r\n"); };
            const int before = entries();
            const mySTLReader stored(path, hasGeometry);
            const int logged = entries() - before;
            mySTLReader streamed(path, hasGeometry, true);
            EXPECT_EQ(entries() - before, 2 * logged);
            EXPECT_EQ(streamed.renderable, stored.renderable);
            EXPECT_EQ(streamed.modelValid, stored.modelValid);
            EXPECT_TRUE(streamed.chunks.empty());
            const float storedBox[] = {stored.minX, stored.minY, stored.minZ,     stored.maxX,
                                       stored.maxY, stored.maxZ, stored.maxExtent};
            const float streamedBox[] = {streamed.minX,     streamed.minY, streamed.minZ,
                                         streamed.maxX,     streamed.maxY, streamed.maxZ,
                                         streamed.maxExtent};
            EXPECT_EQ(0, std::memcmp(storedBox, streamedBox, sizeof(storedBox)));
            const QVector<float> floats = allFloats(stored);
            ASSERT_EQ(streamed.stream != nullptr, stored.renderable && !floats.isEmpty());
            if (!streamed.stream) {
                continue;
            }
            EXPECT_EQ(streamedBytes(*streamed.stream), bytesOf(floats));
            EXPECT_EQ(streamed.stream->next(), nullptr);
            // Small pieces: many hand-offs, the last one partial.
            const quint32 facets = quint32(floats.size()) / floatsPerFacet(!hasGeometry);
            FacetStream small(path, streamed.dataOffset, facets, !hasGeometry, 3);
            EXPECT_EQ(streamedBytes(small), bytesOf(floats));
            // A stream left after its first piece still ends its worker.
            FacetStream left(path, streamed.dataOffset, facets, !hasGeometry, 3);
            EXPECT_NE(left.next(), nullptr);
        }
    }
}

TEST_F(StlReader, StreamLeavesOutOnlyFacetsClearlyFacingAway) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Triangle front = {{0, 0, 1}, {1, 0, 1}, {0, 1, 1}};
    const Triangle away = {front.a, front.c, front.b};
    // Behind the eye, within the snapping of one pixel's fraction, or with a NaN: kept.
    const QVector<Triangle> kept = {{{0, 0, -1}, {0, 1, -1}, {1, 0, -1}},
                                    {{0, 0, 1}, {0, 1e-4f, 1}, {1e-4f, 0, 1}},
                                    {{0, 0, 1}, {nan, 1, 1}, {1, 0, 1}}};
    // The two pieces the worker may fill before it is told come first, and face the eye.
    const QVector<Triangle> file = QVector<Triangle>{front, front, away, front} + kept;
    const QVector<Triangle> drawn = QVector<Triangle>{front, front, front} + kept;
    for (const bool withNormals : {false, true}) {
        const QString path = writeSource("turned.stl", binaryStl(file));
        // x and y as they are, w = z.
        const float clip[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0};
        FacetStream stream(path, 84, quint32(file.size()), withNormals, 1);
        stream.leaveOutBackFaces(clip, 100);
        EXPECT_EQ(streamedBytes(stream),
                  bytesOf(allFloats(
                      mySTLReader(writeSource("drawn.stl", binaryStl(drawn)), !withNormals))))
            << withNormals;
    }
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
