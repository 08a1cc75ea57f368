#include "memory_probes.h"
#include "mesh_sink.h"

#include <gtest/gtest.h>

namespace {

const QVector3D kA(0, 0, 0), kB(1, 0, 0), kC(0, 1, 0);
const MeshColour kRed = {255, 0, 0, 255}, kGreen = {0, 255, 0, 255}, kBlue = {0, 0, 255, 128};

quint32 load = 10;

class MeshSinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        load = 10;
        setMemoryStatusSource([](LPMEMORYSTATUSEX status) {
            status->dwMemoryLoad = load;
            status->ullAvailPhys = 8ull << 30;
            return TRUE;
        });
    }
};

// Colours that first come after chunks were stored give every vertex before them the model's
// one colour, chunk by chunk, so the colours stay in step with the vertices they belong to.
TEST_F(MeshSinkTest, ColoursThatStartLateAreInStepWithEveryChunkBefore) {
    for (const bool withNormals : {false, true}) {
        SCOPED_TRACE(withNormals ? "with normals" : "positions only");
        MeshSink sink(withNormals, 100, "p");
        sink.storeTriangle(kA, kB, kC);
        sink.storeTriangle(kA, kB, kC);
        sink.closeChunk();
        sink.storeTriangle(kA, kB, kC);
        const MeshColour corners[3] = {kRed, kGreen, kBlue};
        sink.storeTriangle(kA, kB, kC, corners);
        sink.storeTriangle(kA, kB, kC);
        sink.closeLastChunk();
        sink.closeLastChunk();

        ASSERT_TRUE(sink.hasColours());
        ASSERT_EQ(sink.chunks().size(), 2u);
        ASSERT_EQ(sink.colourChunks().size(), 2u);
        const std::size_t floatsPerVertex = withNormals ? 6 : 3;
        EXPECT_EQ(sink.chunks()[0].size(), 6 * floatsPerVertex);
        EXPECT_EQ(sink.chunks()[1].size(), 9 * floatsPerVertex);
        EXPECT_EQ(sink.colourChunks()[0], std::vector<MeshColour>(6, kModelColour));
        const std::vector<MeshColour> second = {kModelColour, kModelColour, kModelColour,
                                                kRed,         kGreen,       kBlue,
                                                kModelColour, kModelColour, kModelColour};
        EXPECT_EQ(sink.colourChunks()[1], second);
    }
}

// How many triangles' entries the text readers count until the chunk closes.
int countsToClose(MeshSink& sink) {
    int counts = 1;
    while (!sink.countTextEntries()) {
        ++counts;
    }
    return counts;
}

// The text readers' count closes a chunk at kEntriesPerTextChunk entries, three or six a
// triangle; a chunk closed for its bytes starts it afresh, and only a full chunk runs the
// memory guard.
TEST_F(MeshSinkTest, AFullChunkClosesRestartsTheCountAndAsksTheGuard) {
    MeshSink withNormals(true, ~quint64{0}, "p");
    EXPECT_EQ(countsToClose(withNormals), (kEntriesPerTextChunk + 5) / 6);
    MeshSink sink(false, ~quint64{0}, "p");
    EXPECT_EQ(countsToClose(sink), (kEntriesPerTextChunk + 2) / 3);
    const std::size_t full = kChunkLimitBytes / 36 + 1;
    load = 95;
    for (std::size_t i = 1; i < full; ++i) {
        ASSERT_FALSE(sink.appendTriangle(kA, kB, kC));
    }
    EXPECT_FALSE(sink.countTextEntries());
    EXPECT_TRUE(sink.appendTriangle(kA, kB, kC));
    ASSERT_EQ(sink.chunks().size(), 2u);
    EXPECT_EQ(sink.chunks()[1].size(), 9 * full);
    EXPECT_EQ(sink.lines(), QStringList{"内存已经超过百分之90     p"});
    EXPECT_EQ(countsToClose(sink), (kEntriesPerTextChunk + 2) / 3);
    EXPECT_EQ(sink.chunks().size(), 3u);
}

} // namespace
