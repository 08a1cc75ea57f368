#include "platform_services.h"

#include <netdb.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// An X server listens on TCP port 6000 + its display number.
constexpr int kXTcpPortBase = 6000;
constexpr int kLastTcpPort = 65535;
// A display that does not answer at once is as good as none to a thumbnailer: a stopped
// server accepts connections into its queue and never replies, a stalled one sends part of its
// reply, a name server may never answer, and Qt would wait for ever. The whole probe of one
// display, name look-up included, gets this long.
constexpr int kAnswerTimeoutMs = 250;
// The key of our own platform plug-in (qpa/voxalis-egl.json): desktop OpenGL through EGL,
// needing no display at all.
constexpr const char* kDisplayFreePlatform = "voxalis-egl";
// Qt's platform without any OpenGL: where the driver cannot start, the renderer's context
// fails and reports it, and previews still work.
constexpr const char* kPlatformWithoutOpenGl = "minimal";
// What Mesa's drivers map while they start: LLVM's code generator and one stack per
// rasteriser thread. llvmpipe on two cores crashed with less than about 450 MiB of room above
// what the thumbnailer maps before it starts (64 MiB); each further core adds an 8 MiB stack,
// and the mesh needs room beside. A failed map there is a SIGSEGV inside the driver, not an
// error it returns, so the room is looked at before.
constexpr std::uint64_t kOpenGlAddressSpace = std::uint64_t(1) << 30;

// The X connection set-up with no authorisation, least significant byte first, protocol
// 11.0: every X server replies to it, if only to refuse.
constexpr unsigned char kXSetupRequest[12] = {'l', 0, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0};
// Every set-up reply (failed, success or authenticate) opens with 8 bytes, the last two the
// length of what follows in 4-byte units, in the byte order asked for.
constexpr std::size_t kXReplyHead = 8;
// A Wayland message opens with the object and a word holding its size in bytes (high half)
// and its opcode.
constexpr std::size_t kWaylandHead = 8;

using Clock = std::chrono::steady_clock;

// Milliseconds left until `deadline`, never less than 0.
int millisecondsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

std::string environmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

class Socket {
public:
    explicit Socket(int domain)
        : fd(socket(domain, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)) {}
    ~Socket() {
        if (fd >= 0) {
            close(fd);
        }
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    const int fd;
};

// The length of a whole reply from the bytes that have arrived, or 0 while too few have.
using ReplyLength = std::size_t (*)(const std::vector<unsigned char>& arrived);

std::size_t xReplyLength(const std::vector<unsigned char>& arrived) {
    if (arrived.size() < kXReplyHead) {
        return 0;
    }
    return kXReplyHead + 4 * (std::size_t(arrived[6]) | std::size_t(arrived[7]) << 8);
}

std::size_t waylandMessageLength(const std::vector<unsigned char>& arrived) {
    if (arrived.size() < kWaylandHead) {
        return 0;
    }
    std::uint32_t sizeAndOpcode = 0;
    std::memcpy(&sizeAndOpcode, arrived.data() + 4, sizeof(sizeAndOpcode));
    const std::size_t size = sizeAndOpcode >> 16;
    // A message shorter than its own head is no message; the length is then unreachable.
    return size >= kWaylandHead ? size : std::numeric_limits<std::size_t>::max();
}

// Waits until the connecting socket is connected, or the deadline.
bool connectedBy(int fd, Clock::time_point deadline) {
    pollfd wait{fd, POLLOUT, 0};
    int error = 0;
    socklen_t size = sizeof(error);
    return poll(&wait, 1, millisecondsLeft(deadline)) == 1 &&
           getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
}

// Sends `request` on a connected socket and waits until a whole reply has arrived, as
// `length` measures it, or the deadline.
bool repliesTo(int fd, const void* request, std::size_t size, ReplyLength length,
               Clock::time_point deadline) {
    if (send(fd, request, size, MSG_NOSIGNAL) != static_cast<ssize_t>(size)) {
        return false;
    }
    std::vector<unsigned char> arrived;
    unsigned char block[256];
    for (;;) {
        const std::size_t whole = length(arrived);
        if (whole != 0 && arrived.size() >= whole) {
            return true;
        }
        pollfd wait{fd, POLLIN, 0};
        if (poll(&wait, 1, millisecondsLeft(deadline)) != 1) {
            return false;
        }
        const ssize_t got = recv(fd, block, sizeof(block), MSG_DONTWAIT);
        if (got <= 0) {
            return false;
        }
        // Past the longest reply there is (256 KiB of X set-up data) nothing more is needed.
        arrived.insert(arrived.end(), block, block + got);
        if (arrived.size() > (std::size_t(1) << 18)) {
            return true;
        }
    }
}

// A server on the Unix socket (the file `path`, or the abstract name `path`) replies to
// `request`. A full listening queue means a server too busy or stopped: no answer either.
bool localSocketAnswers(const std::string& path, bool abstract, const void* request,
                        std::size_t size, ReplyLength length, Clock::time_point deadline) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    // An abstract name starts with a zero byte and is not terminated; a file path is. Either
    // way the address is one byte longer than the name.
    if (path.size() + 1 > sizeof(address.sun_path)) {
        return false;
    }
    std::memcpy(address.sun_path + (abstract ? 1 : 0), path.data(), path.size());
    const auto addressLength =
        static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + 1);
    const Socket s(AF_UNIX);
    return s.fd >= 0 &&
           connect(s.fd, reinterpret_cast<const sockaddr*>(&address), addressLength) == 0 &&
           repliesTo(s.fd, request, size, length, deadline);
}

// A name look-up that the caller may stop waiting for: glibc's resolver waits for a silent
// name server for half a minute and cannot be cancelled, so it runs on a thread of its own,
// which finishes (and frees what it found) whenever the resolver returns.
class Lookup {
public:
    static std::shared_ptr<Lookup> start(const std::string& host, int port) {
        auto lookup = std::make_shared<Lookup>();
        std::thread([lookup, host, port] {
            addrinfo hints{};
            hints.ai_socktype = SOCK_STREAM;
            addrinfo* found = nullptr;
            const bool ok =
                getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) == 0;
            const std::lock_guard<std::mutex> lock(lookup->mutex_);
            lookup->found_ = ok ? found : nullptr;
            lookup->done_ = true;
            lookup->arrived_.notify_all();
        }).detach();
        return lookup;
    }
    ~Lookup() {
        if (found_ != nullptr) {
            freeaddrinfo(found_);
        }
    }

    // The addresses, or null when the look-up failed or did not end by the deadline.
    const addrinfo* waitUntil(Clock::time_point deadline) {
        std::unique_lock<std::mutex> lock(mutex_);
        return arrived_.wait_until(lock, deadline, [this] { return done_; }) ? found_ : nullptr;
    }

private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    bool done_ = false;
    addrinfo* found_ = nullptr;
};

bool xServerAnswersOnTcp(const std::string& host, int port, Clock::time_point deadline) {
    const std::shared_ptr<Lookup> lookup = Lookup::start(host, port);
    bool answers = false;
    for (const addrinfo* a = lookup->waitUntil(deadline); a != nullptr && !answers;
         a = a->ai_next) {
        const Socket s(a->ai_family);
        if (s.fd < 0) {
            continue;
        }
        const bool connected = connect(s.fd, a->ai_addr, a->ai_addrlen) == 0 ||
                               (errno == EINPROGRESS && connectedBy(s.fd, deadline));
        answers = connected &&
                  repliesTo(s.fd, kXSetupRequest, sizeof(kXSetupRequest), &xReplyLength, deadline);
    }
    return answers;
}

// DISPLAY is [host]:number[.screen]; no host or "unix" means the local sockets, named after
// the number in `socketFolder`, abstract first as Xlib tries them.
bool xServerAnswers(const std::string& display, const std::string& socketFolder) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kAnswerTimeoutMs);
    const std::size_t colon = display.rfind(':');
    if (colon == std::string::npos) {
        return false;
    }
    const std::string host = display.substr(0, colon);
    const std::string number = display.substr(colon + 1, display.find('.', colon) - colon - 1);
    // Five digits at most: display numbers beyond that have no TCP port either.
    if (number.empty() || number.size() > 5 ||
        number.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    if (host.empty() || host == "unix") {
        const std::string path = socketFolder + "/X" + number;
        return localSocketAnswers(path, true, kXSetupRequest, sizeof(kXSetupRequest), &xReplyLength,
                                  deadline) ||
               localSocketAnswers(path, false, kXSetupRequest, sizeof(kXSetupRequest),
                                  &xReplyLength, deadline);
    }
    const int port = kXTcpPortBase + std::stoi(number);
    return port <= kLastTcpPort && xServerAnswersOnTcp(host, port, deadline);
}

// WAYLAND_DISPLAY names a socket in XDG_RUNTIME_DIR, or is an absolute path of its own. The
// compositor is asked for a round trip: wl_display (object 1) request 0, sync, with the new
// callback object 2; a message is 32-bit words in the host's byte order, the second holding
// its size in bytes and its opcode. The first whole message back is the answer.
bool waylandCompositorAnswers(const std::string& name) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kAnswerTimeoutMs);
    if (name.empty()) {
        return false;
    }
    constexpr std::uint32_t kSync[3] = {1, 12u << 16, 2};
    if (name.front() == '/') {
        return localSocketAnswers(name, false, kSync, sizeof(kSync), &waylandMessageLength,
                                  deadline);
    }
    const std::string runtimeFolder = environmentValue("XDG_RUNTIME_DIR");
    return !runtimeFolder.empty() &&
           localSocketAnswers(runtimeFolder + "/" + name, false, kSync, sizeof(kSync),
                              &waylandMessageLength, deadline);
}

// The soft RLIMIT_AS less what the process maps already.
bool roomForOpenGl() {
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return true;
    }
    unsigned long long pages = 0;
    std::FILE* statm = std::fopen("/proc/self/statm", "re");
    const bool read = statm != nullptr && std::fscanf(statm, "%llu", &pages) == 1;
    if (statm != nullptr) {
        std::fclose(statm);
    }
    const std::uint64_t mapped = std::uint64_t(pages) * std::uint64_t(sysconf(_SC_PAGESIZE));
    return read && limit.rlim_cur > mapped && limit.rlim_cur - mapped >= kOpenGlAddressSpace;
}

} // namespace

// Where X servers put their sockets on every Linux distribution.
const char* const kXSocketFolder = "/tmp/.X11-unix";

bool prepareGuiEnvironment(const char* xSocketFolder) {
    // The session's own choice is not ours to keep: it names the platform its windows use
    // (wayland, xcb, a list of them, offscreen, a platform this Qt lacks), and a platform that
    // cannot start makes Qt abort the whole process. We show no window and need only an
    // OpenGL context, so the list is built here, from the displays that answer.
    if (!roomForOpenGl()) {
        setenv("QT_QPA_PLATFORM", kPlatformWithoutOpenGl, 1);
        return false;
    }
    // Qt tries the platforms in turn. Ours comes first even where a display answers: on the
    // same driver it draws the same pictures, while GLX first matches the driver's
    // configurations against every visual of the X server, about half of what a small mesh
    // costs on the xcb path. A display is only the way out where our plug-in cannot start, and
    // counts only when its server answers: sandboxed thumbnailers inherit DISPLAY and
    // WAYLAND_DISPLAY without the sockets, and a stale DISPLAY must not cost the model
    // pictures. Offscreen comes last, so a missing plug-in never costs the host.
    std::string platforms = kDisplayFreePlatform;
    platforms += ";";
    if (xServerAnswers(environmentValue("DISPLAY"), xSocketFolder)) {
        platforms += "xcb;";
    }
    if (waylandCompositorAnswers(environmentValue("WAYLAND_DISPLAY"))) {
        platforms += "wayland;";
    }
    platforms += "offscreen";
    setenv("QT_QPA_PLATFORM", platforms.c_str(), 1);
    return true;
}
