#include "files.h"
#include "windows_api.h"

#include <QDir>

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// A socket bound to a Unix path (abstract or a file) or to a TCP port of the loopback
// address, listening unless told not to.
class Listener {
public:
    Listener(const std::string& path, bool abstract) : fd(socket(AF_UNIX, SOCK_STREAM, 0)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path + (abstract ? 1 : 0), path.data(), path.size());
        const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + path.size() + 1);
        EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), length), 0) << path;
        EXPECT_EQ(listen(fd, 1), 0);
    }
    explicit Listener(bool listening) : fd(socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), length), 0);
        EXPECT_EQ(getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length), 0);
        port = ntohs(address.sin_port);
        if (listening) {
            EXPECT_EQ(listen(fd, 1), 0);
        }
    }
    ~Listener() { close(fd); }
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    const int fd;
    int port = 0;
};

void setOrUnset(const char* name, const std::string& value) {
    if (value.empty()) {
        unsetenv(name);
    } else {
        setenv(name, value.c_str(), 1);
    }
}

std::string tcpDisplay(int port) {
    // Display n answers on port 6000 + n; the test's ports are far above that.
    return "127.0.0.1:" + std::to_string(port - 6000);
}

TEST(DisplayChoice, OnlyDisplaysWhoseSocketsAnswerAreTried) {
    const std::string home = testDataHome().toStdString();
    const std::string folder = home + "/x11";
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
    const Listener fileSocket(folder + "/X3", false);
    const Listener abstractSocket(folder + "/X4", true);
    setenv("XDG_RUNTIME_DIR", home.c_str(), 1);
    const Listener compositor(home + "/wayland-live", false);
    const Listener compositorByPath(home + "/compositor", false);
    const Listener xServer(true);
    const Listener closedPort(false);
    ASSERT_GT(closedPort.port, 6000);
    ASSERT_GT(xServer.port, 6000);

    const std::string egl = "voxalis-egl;offscreen";
    const struct {
        const char* name;
        std::string display;
        std::string wayland;
        std::string chosen;
    } rows[] = {
        {"nothing set", "", "", egl},
        {"local socket file", ":3", "", "xcb;" + egl},
        {"abstract socket, with a screen", ":4.0", "", "xcb;" + egl},
        {"unix host", "unix:3", "", "xcb;" + egl},
        {"display without a server", ":5", "", egl},
        {"no display number", "localhost", "", egl},
        {"display number not a number", ":x", "", egl},
        {"TCP server", tcpDisplay(xServer.port), "", "xcb;" + egl},
        {"TCP port that refuses", tcpDisplay(closedPort.port), "", egl},
        {"compositor in the runtime folder", "", "wayland-live", "wayland;" + egl},
        {"compositor by absolute path", "", home + "/compositor", "wayland;" + egl},
        {"compositor gone", "", "wayland-0", egl},
        {"both answer", ":3", "wayland-live", "xcb;wayland;" + egl},
        {"sandbox: both set, neither answers", ":5", "wayland-0", egl},
    };
    for (const auto& row : rows) {
        setOrUnset("DISPLAY", row.display);
        setOrUnset("WAYLAND_DISPLAY", row.wayland);
        unsetenv("QT_QPA_PLATFORM");
        prepareGuiEnvironment(folder.c_str());
        const char* chosen = std::getenv("QT_QPA_PLATFORM");
        EXPECT_STREQ(chosen, row.chosen.c_str()) << row.name;
    }

    // A platform the user named is kept, reachable display or not.
    setenv("QT_QPA_PLATFORM", "minimal", 1);
    prepareGuiEnvironment(folder.c_str());
    EXPECT_STREQ(std::getenv("QT_QPA_PLATFORM"), "minimal");
}

} // namespace
