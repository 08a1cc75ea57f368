#include "meminfo.h"
#include "windows_api.h"

#include <gtest/gtest.h>

namespace {

constexpr DWORDLONG kKiB = 1024;

TEST(Meminfo, LoadIsTheUsedShareAndPageFileWhatCanStillBeCommitted) {
    MEMORYSTATUSEX status{};
    ASSERT_TRUE(memoryStatusFromMeminfo("MemTotal:       1000000 kB\n"
                                        "MemFree:         100000 kB\n"
                                        "MemAvailable:    250000 kB\n"
                                        "CommitLimit:     900000 kB\n"
                                        "Committed_AS:    600000 kB\n",
                                        status));
    EXPECT_EQ(status.dwMemoryLoad, 75u);
    EXPECT_EQ(status.ullTotalPhys, 1000000 * kKiB);
    EXPECT_EQ(status.ullAvailPhys, 250000 * kKiB);
    EXPECT_EQ(status.ullTotalPageFile, 900000 * kKiB);
    EXPECT_EQ(status.ullAvailPageFile, 300000 * kKiB);
}

TEST(Meminfo, OvercommittedMachineHasNoPageFileLeftRatherThanAHugeOne) {
    MEMORYSTATUSEX status{};
    ASSERT_TRUE(memoryStatusFromMeminfo("MemTotal: 1000 kB\nMemAvailable: 0 kB\n"
                                        "CommitLimit: 500 kB\nCommitted_AS: 700 kB\n",
                                        status));
    EXPECT_EQ(status.dwMemoryLoad, 100u);
    EXPECT_EQ(status.ullAvailPageFile, 0u);
}

TEST(Meminfo, FieldNamesMustMatchWholly) {
    MEMORYSTATUSEX status{};
    // "MemTotalX" is not "MemTotal", and a missing MemAvailable cannot be guessed.
    EXPECT_FALSE(memoryStatusFromMeminfo("MemTotalX: 10 kB\nMemAvailable: 5 kB\n", status));
    EXPECT_FALSE(memoryStatusFromMeminfo("MemTotal: 10 kB\n", status));
    EXPECT_FALSE(memoryStatusFromMeminfo("MemTotal: 0 kB\nMemAvailable: 0 kB\n", status));
    EXPECT_FALSE(memoryStatusFromMeminfo("", status));
}

TEST(GlobalMemoryStatusEx, RequiresTheRecordLengthLikeWindows) {
    MEMORYSTATUSEX status{};
    status.dwLength = 32;
    EXPECT_EQ(GlobalMemoryStatusEx(&status), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    status.dwLength = sizeof(MEMORYSTATUSEX);
    ASSERT_EQ(GlobalMemoryStatusEx(&status), TRUE);
    EXPECT_LE(status.dwMemoryLoad, 100u);
    EXPECT_GT(status.ullTotalPhys, 0u);
    EXPECT_LE(status.ullAvailPhys, status.ullTotalPhys);
}

} // namespace
