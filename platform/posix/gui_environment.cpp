#include "windows_api.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// An X server listens on TCP port 6000 + its display number.
constexpr int kXTcpPortBase = 6000;
constexpr int kLastTcpPort = 65535;
// A remote display that does not answer at once is as good as none to a thumbnailer.
constexpr int kTcpTimeoutMs = 250;
// The key of our own platform plug-in (qpa/voxalis-egl.json): desktop OpenGL through EGL,
// needing no display at all.
constexpr const char* kDisplayFreePlatform = "voxalis-egl";

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

// Something listens on the Unix socket: the file `path`, or the abstract name `path`.
bool localSocketAnswers(const std::string& path, bool abstract) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    // An abstract name starts with a zero byte and is not terminated; a file path is. Either
    // way the address is one byte longer than the name.
    if (path.size() + 1 > sizeof(address.sun_path)) {
        return false;
    }
    std::memcpy(address.sun_path + (abstract ? 1 : 0), path.data(), path.size());
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + 1);
    const Socket s(AF_UNIX);
    if (s.fd < 0) {
        return false;
    }
    // EAGAIN: the listener's queue is full, so it exists.
    return connect(s.fd, reinterpret_cast<const sockaddr*>(&address), length) == 0 ||
           errno == EAGAIN;
}

bool tcpPortAnswers(const std::string& host, int port) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) {
        return false;
    }
    bool answers = false;
    for (const addrinfo* a = found; a != nullptr && !answers; a = a->ai_next) {
        const Socket s(a->ai_family);
        if (s.fd < 0) {
            continue;
        }
        if (connect(s.fd, a->ai_addr, a->ai_addrlen) == 0) {
            answers = true;
            continue;
        }
        if (errno != EINPROGRESS) {
            continue;
        }
        pollfd wait{s.fd, POLLOUT, 0};
        int error = 0;
        socklen_t size = sizeof(error);
        answers = poll(&wait, 1, kTcpTimeoutMs) == 1 &&
                  getsockopt(s.fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
    }
    freeaddrinfo(found);
    return answers;
}

// DISPLAY is [host]:number[.screen]; no host or "unix" means the local sockets, named after
// the number in `socketFolder`, abstract first as Xlib tries them.
bool xServerAnswers(const std::string& display, const std::string& socketFolder) {
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
        return localSocketAnswers(path, true) || localSocketAnswers(path, false);
    }
    const int port = kXTcpPortBase + std::stoi(number);
    return port <= kLastTcpPort && tcpPortAnswers(host, port);
}

// WAYLAND_DISPLAY names a socket in XDG_RUNTIME_DIR, or is an absolute path of its own.
bool waylandCompositorAnswers(const std::string& name) {
    if (name.empty()) {
        return false;
    }
    if (name.front() == '/') {
        return localSocketAnswers(name, false);
    }
    const std::string runtimeFolder = environmentValue("XDG_RUNTIME_DIR");
    return !runtimeFolder.empty() && localSocketAnswers(runtimeFolder + "/" + name, false);
}

} // namespace

void prepareGuiEnvironment(const char* xSocketFolder) {
    // A choice the user made explicitly is left alone.
    if (!environmentValue("QT_QPA_PLATFORM").empty()) {
        return;
    }
    // Qt tries the platforms in turn and aborts the whole process when none starts. A display
    // counts only when its socket answers: sandboxed thumbnailers inherit DISPLAY and
    // WAYLAND_DISPLAY without the sockets, and a stale DISPLAY must not cost the model
    // pictures. Offscreen comes last, so a missing plug-in never costs the host.
    std::string platforms;
    if (xServerAnswers(environmentValue("DISPLAY"), xSocketFolder)) {
        platforms += "xcb;";
    }
    if (waylandCompositorAnswers(environmentValue("WAYLAND_DISPLAY"))) {
        platforms += "wayland;";
    }
    platforms += kDisplayFreePlatform;
    platforms += ";offscreen";
    setenv("QT_QPA_PLATFORM", platforms.c_str(), 0);
}
