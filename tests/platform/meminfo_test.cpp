#include "meminfo.h"
#include "windows_api.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

constexpr DWORDLONG kKiB = 1024;
constexpr DWORDLONG kMiB = 1024 * kKiB;

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

std::string mib(DWORDLONG count) {
    return std::to_string(count * kMiB);
}

void writeFile(const QString& root, const std::string& path, const std::string& text) {
    const QString name = root + '/' + QString::fromStdString(path);
    ASSERT_TRUE(QDir().mkpath(name.section('/', 0, -2)));
    QFile file(name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text.data(), static_cast<qint64>(text.size()));
}

TEST(Meminfo, MemoryCgroupsNarrowTheMachineToTheTightestLimit) {
    // A 16 GiB machine with half of it available.
    const std::string machine = "MemTotal: 16777216 kB\nMemAvailable: 8388608 kB\n";
    const std::string v2Mount = "30 23 0:26 / /sys/fs/cgroup rw - cgroup2 cgroup2 rw\n";
    const std::string v1Mount =
        "32 31 0:29 / /sys/fs/cgroup/cpu rw - cgroup cgroup rw,cpu\n"
        "35 31 0:32 / /sys/fs/cgroup/memory rw,relatime shared:5 - cgroup cgroup rw,memory\n";
    const std::string v2 = "sys/fs/cgroup/app.slice/a.service/";
    const std::string v1 = "sys/fs/cgroup/memory/jobs/x/";
    struct Case {
        const char* name;
        std::string cgroup;
        std::string mountinfo;
        std::vector<std::pair<std::string, std::string>> files;
        DWORDLONG availPhys;
        DWORD load;
        DWORDLONG totalPhys;
    };
    const DWORDLONG machineAvail = 8192 * kMiB;
    const DWORDLONG machineTotal = 16384 * kMiB;
    const std::vector<Case> cases = {
        {"v2 limit, inactive cache counts as available",
         "0::/app.slice/a.service\n",
         v2Mount,
         {{v2 + "memory.max", mib(200) + "\n"},
          {v2 + "memory.current", mib(150)},
          {v2 + "memory.stat", "anon 1\ninactive_file " + mib(10) + "\nactive_file 7\n"}},
         60 * kMiB,
         70,
         200 * kMiB},
        {"v2 max is no limit",
         "0::/app.slice/a.service\n",
         v2Mount,
         {{v2 + "memory.max", "max\n"}, {v2 + "memory.current", mib(150)}},
         machineAvail,
         50,
         machineTotal},
        {"v1 limit counts the subtree's inactive cache",
         "3:cpu:/\n4:memory:/jobs/x\n",
         v1Mount,
         {{v1 + "memory.limit_in_bytes", mib(200)},
          {v1 + "memory.usage_in_bytes", mib(150)},
          {v1 + "memory.stat", "inactive_file 1\ntotal_inactive_file " + mib(10) + "\n"}},
         60 * kMiB,
         70,
         200 * kMiB},
        {"v1 near 2^63 is no limit",
         "4:memory:/jobs/x\n",
         v1Mount,
         {{v1 + "memory.limit_in_bytes", "9223372036854771712\n"},
          {v1 + "memory.usage_in_bytes", mib(150)}},
         machineAvail,
         50,
         machineTotal},
        {"hybrid: memory on v1, none on the unified tree",
         "4:memory:/jobs/x\n1:name=systemd:/jobs/x\n0::/jobs/x\n",
         v1Mount + "41 31 0:38 / /sys/fs/cgroup/unified rw - cgroup2 cgroup2 rw\n",
         {{v1 + "memory.limit_in_bytes", mib(200)},
          {v1 + "memory.usage_in_bytes", mib(190)},
          {"sys/fs/cgroup/unified/jobs/x/cgroup.procs", "1\n"}},
         10 * kMiB,
         95,
         200 * kMiB},
        {"nested: the middle level is the tightest",
         "0::/user.slice/user-1000.slice/app.scope\n",
         v2Mount,
         {{"sys/fs/cgroup/user.slice/user-1000.slice/app.scope/memory.max", mib(500)},
          {"sys/fs/cgroup/user.slice/user-1000.slice/app.scope/memory.current", mib(100)},
          {"sys/fs/cgroup/user.slice/user-1000.slice/memory.max", mib(300)},
          {"sys/fs/cgroup/user.slice/user-1000.slice/memory.current", mib(280)},
          {"sys/fs/cgroup/user.slice/memory.max", mib(1024)},
          {"sys/fs/cgroup/user.slice/memory.current", mib(300)}},
         20 * kMiB,
         93,
         300 * kMiB},
        {"a container's mount shows its own group as the root",
         "4:memory:/docker/abc\n",
         "35 31 0:32 /docker/abc /sys/fs/cgroup/memory ro - cgroup cgroup rw,memory\n",
         {{"sys/fs/cgroup/memory/memory.limit_in_bytes", mib(200)},
          {"sys/fs/cgroup/memory/memory.usage_in_bytes", mib(150)}},
         50 * kMiB,
         75,
         200 * kMiB},
        {"no /sys in a sandbox",
         "0::/app.slice/a.service\n",
         "22 1 0:5 / /proc rw - proc proc rw\n",
         {},
         machineAvail,
         50,
         machineTotal},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir root;
        ASSERT_TRUE(root.isValid());
        writeFile(root.path(), "proc/meminfo", machine);
        writeFile(root.path(), "proc/self/cgroup", c.cgroup);
        writeFile(root.path(), "proc/self/mountinfo", c.mountinfo);
        for (const auto& [path, text] : c.files) {
            writeFile(root.path(), path, text);
        }
        MEMORYSTATUSEX status{};
        ASSERT_TRUE(readMemoryStatus(root.path().toStdString(), status));
        EXPECT_EQ(status.ullAvailPhys, c.availPhys);
        EXPECT_EQ(status.dwMemoryLoad, c.load);
        EXPECT_EQ(status.ullTotalPhys, c.totalPhys);
    }
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
