#include "memory_probes.h"

#include <gtest/gtest.h>

namespace {

BOOL heavilyLoaded(LPMEMORYSTATUSEX status) {
    EXPECT_EQ(status->dwLength, 64u);
    status->dwMemoryLoad = 90;
    status->ullAvailPhys = 3ull << 30;
    status->ullAvailPageFile = 5ull << 30;
    return TRUE;
}

BOOL failing(LPMEMORYSTATUSEX status) {
    status->dwMemoryLoad = 99;
    status->ullAvailPhys = 1;
    return FALSE;
}

class MemoryProbes : public ::testing::Test {
protected:
    void TearDown() override { setMemoryStatusSource(nullptr); }
};

TEST_F(MemoryProbes, EachProbeReturnsItsOwnField) {
    setMemoryStatusSource(&heavilyLoaded);
    EXPECT_EQ(memoryLoad(), 90u);
    EXPECT_EQ(availablePhysicalMemory(), 3ull << 30);
    EXPECT_EQ(availablePageFile(), 5ull << 30);
}

TEST_F(MemoryProbes, FailedQueryReadsAsNoLoadAndNothingAvailable) {
    setMemoryStatusSource(&failing);
    EXPECT_EQ(memoryLoad(), 0u);
    EXPECT_EQ(availablePhysicalMemory(), 0u);
    EXPECT_EQ(availablePageFile(), 0u);
}

TEST_F(MemoryProbes, ResettingTheSourceReadsTheMachineAgain) {
    EXPECT_EQ(setMemoryStatusSource(&failing), &GlobalMemoryStatusEx);
    EXPECT_EQ(setMemoryStatusSource(nullptr), &failing);
    EXPECT_GT(availablePhysicalMemory(), 0u);
    EXPECT_LE(memoryLoad(), 100u);
}

} // namespace
