#include "platform_services.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

namespace {

// A holder keeps the lock for one picture save; short first naps answer that case quickly,
// longer ones keep a long wait from spinning.
constexpr auto kFirstNap = std::chrono::milliseconds(1);
constexpr auto kLongestNap = std::chrono::milliseconds(20);

} // namespace

std::intptr_t lockFileExclusively(const char* path, std::uint32_t milliseconds) {
    const int descriptor = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (descriptor < 0) {
        return -1;
    }
    // flock has no time limit of its own: try without blocking until the deadline.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    auto nap = std::chrono::steady_clock::duration(kFirstNap);
    while (flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) {
            continue;
        }
        const auto now = std::chrono::steady_clock::now();
        if (errno != EWOULDBLOCK || now >= deadline) {
            close(descriptor);
            return errno == EWOULDBLOCK ? kLockTimedOut : -1;
        }
        std::this_thread::sleep_for(std::min(nap, deadline - now));
        nap = std::min<std::chrono::steady_clock::duration>(nap * 2, kLongestNap);
    }
    return descriptor;
}

void unlockFile(std::intptr_t lock) {
    if (lock >= 0) {
        // Closing the only descriptor of the open file releases its lock.
        close(static_cast<int>(lock));
    }
}
