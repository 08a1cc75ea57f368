#include "windows_api.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

// Far longer than the other holder keeps the lock.
constexpr DWORD kWaitLong = 60000;

TEST(FileLock, SecondHolderWaitsUntilTheFirstLetsGo) {
    QTemporaryDir folder;
    const QByteArray path = QFile::encodeName(folder.filePath(".lock"));
    const std::intptr_t first = lockFileExclusively(path.constData(), kWaitLong);
    ASSERT_GE(first, 0);
    // A holder that keeps it past the wait: the second gives up.
    EXPECT_EQ(lockFileExclusively(path.constData(), 20), kLockTimedOut);
    std::atomic<bool> released{false};
    std::atomic<bool> sawRelease{false};
    std::thread second([&] {
        const std::intptr_t lock = lockFileExclusively(path.constData(), kWaitLong);
        sawRelease = released.load();
        unlockFile(lock);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    released = true;
    unlockFile(first);
    second.join();
    EXPECT_TRUE(sawRelease);
    // The file stays for the next holder; a folder that cannot hold it gives no lock.
    EXPECT_TRUE(QFile::exists(folder.filePath(".lock")));
    EXPECT_EQ(
        lockFileExclusively(QFile::encodeName(folder.filePath("missing/.lock")).constData(), 0),
        -1);
}

} // namespace
