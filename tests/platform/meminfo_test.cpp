#include "files.h"
#include "heap_tunables.h"
#include "meminfo.h"
#include "platform_services.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

static std::string mib(DWORDLONG count) {
    return std::to_string(count << 20);
}

// A group's limit, usage and memory.stat below /sys/fs/cgroup, as "path=text;" each.
static std::string group(const std::string& folder, bool v1, const std::string& limit,
                         DWORDLONG usedMiB, const std::string& stat = "") {
    const std::string at = "sys/fs/cgroup/" + folder + "/memory.";
    return at + (v1 ? "limit_in_bytes=" : "max=") + limit + "\n;" + at +
           (v1 ? "usage_in_bytes=" : "current=") + mib(usedMiB) + "\n;" + at + "stat=" + stat + ";";
}

// The reading below a root of its own: the load, then in KiB physical memory, available
// memory, page file and what is left of it.
static void expectReading(const std::string& meminfo, const char* cgroup,
                          const std::string& mountinfo, const std::string& groups,
                          const std::array<DWORDLONG, 5>& kib) {
    static int roots = 0;
    const QString root = testDataHome() + "/" + QString::number(++roots);
    const std::string files = "proc/meminfo=" + meminfo + ";proc/self/cgroup=" + cgroup +
                              ";proc/self/mountinfo=" + mountinfo + ";" + groups;
    for (const QString& file : QString::fromStdString(files).split(';', Qt::SkipEmptyParts)) {
        writeFile(root + "/" + file.section('=', 0, 0), file.section('=', 1).toUtf8());
    }
    MEMORYSTATUSEX s{};
    ASSERT_TRUE(readMemoryStatus(root.toStdString(), s));
    EXPECT_EQ(
        (std::array<DWORDLONG, 5>{s.dwMemoryLoad, s.ullTotalPhys, s.ullAvailPhys,
                                  s.ullTotalPageFile, s.ullAvailPageFile}),
        (std::array<DWORDLONG, 5>{kib[0], kib[1] << 10, kib[2] << 10, kib[3] << 10, kib[4] << 10}));
}

TEST(Meminfo, LoadIsTheUsedSharePageFileWhatCanBeCommittedAndCgroupsNarrowBoth) {
    expectReading("MemTotal:  1000000 kB\nMemAvailable:  250000 kB\n"
                  "CommitLimit:  900000 kB\nCommitted_AS:  600000 kB\n",
                  "", "", "", {75, 1000000, 250000, 900000, 300000});
    // Overcommitted: no page file left rather than a huge one.
    expectReading(
        "MemTotal: 1000 kB\nMemAvailable: 0 kB\nCommitLimit: 500 kB\nCommitted_AS: 700 kB\n", "",
        "", "", {100, 1000, 0, 500, 0});
    // Names match wholly; a total or available figure that is missing or zero is no reading.
    for (const char* meminfo : {"MemTotalX: 10 kB\nMemAvailable: 5 kB\n", "MemTotal: 10 kB\n",
                                "MemTotal: 0 kB\nMemAvailable: 0 kB\n"}) {
        MEMORYSTATUSEX status{};
        EXPECT_FALSE(memoryStatusFromMeminfo(meminfo, status)) << meminfo;
    }

    // Memory cgroups narrow the machine to the tightest limit. 16 GiB, half of it available,
    // and without commit figures all of it left to commit.
    const std::string machine = "MemTotal: 16777216 kB\nMemAvailable: 8388608 kB\n";
    const std::string user = "user.slice/user-1000.slice";
    // Each level on the way up is a limit, "max" and 0 none; inactive cache is available.
    expectReading(machine, "0::/user.slice/user-1000.slice/app.scope\n",
                  "30 23 0:26 / /sys/fs/cgroup rw - cgroup2 cgroup2 rw\n",
                  group(user + "/app.scope", false, "max", 100) +
                      group(user, false, mib(300), 290,
                            "anon 1\ninactive_file " + mib(10) + "\nactive_file 7\n") +
                      group("user.slice", false, "0", 300),
                  {93, 300 << 10, 20 << 10, 16 << 20, 16 << 20});
    // Hybrid: memory on v1, where one of the machine's size binds nothing whatever is used,
    // and the subtree's cache counts; none on the unified tree.
    expectReading(
        machine, "3:cpu:/\n4:memory:/jobs/x\n1:name=systemd:/jobs/x\n0::/jobs/x\n",
        "32 31 0:29 / /sys/fs/cgroup/cpu rw - cgroup cgroup rw,cpu\n"
        "35 31 0:32 / /sys/fs/cgroup/memory rw,relatime shared:5 - cgroup none rw,memory\n"
        "41 31 0:38 / /sys/fs/cgroup/unified rw - cgroup2 cgroup2 rw\n",
        group("memory/jobs/x", true, mib(16384), 16000) +
            group("memory/jobs", true, mib(200), 190,
                  "inactive_file 1\ntotal_inactive_file " + mib(10) + "\n"),
        {90, 200 << 10, 20 << 10, 16 << 20, 16 << 20});
    // A container's mount shows its own group as the root; mountinfo escapes its paths.
    expectReading(machine, "4:memory:/system.slice/a\\x2db.service\n",
                  "35 31 0:32 /system.slice/a\\134x2db.service /sys/fs/cgroup/my\\040memory ro - "
                  "cgroup cgroup rw,memory\n",
                  group("my memory", true, mib(200), 150),
                  {75, 200 << 10, 50 << 10, 16 << 20, 16 << 20});
}

TEST(HugePages, BuffersStartAndEndOnOneAndTheHeapAsksForThemOnce) {
    // Neither end of the block may leave a partial huge page to fault in small pages.
    std::size_t huge = 2u << 20, cases[][2] = {{huge, huge}, {huge + 1, 2 * huge}};
    for (auto [bytes, rounded] : cases) {
        void* block = allocateLargeBuffer(bytes);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % huge, 0u);
        EXPECT_EQ(bytes, rounded);
        std::memset(block, 0x5A, bytes); // all of it is ours, and std::free takes it back
        std::free(block);
    }
    EXPECT_EQ(withHugePageHeap(nullptr), "glibc.malloc.hugetlb=1");
    EXPECT_EQ(withHugePageHeap("glibc.malloc.check=3"),
              "glibc.malloc.check=3:glibc.malloc.hugetlb=1");
    // Set already, by an earlier start or by the user: no restart.
    EXPECT_EQ(withHugePageHeap("glibc.malloc.check=3:glibc.malloc.hugetlb=0"), "");
}
