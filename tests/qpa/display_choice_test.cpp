#include "files.h"
#include "windows_api.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/un.h>

// Sockets stay open for the rest of the test's process. The data home is also XDG_RUNTIME_DIR
// and here the folder of the X sockets; any socket that listens will do for a compositor.
TEST(DisplayChoice, OnlyDisplaysWhoseSocketsAnswerAreTried) {
    const std::string home = testDataHome().toStdString();
    for (const auto& [name, abstract] : {std::pair("/X3", false), std::pair("/X4", true)}) {
        const std::string path = home + name;
        sockaddr_un address{AF_UNIX, {}};
        path.copy(address.sun_path + (abstract ? 1 : 0), path.size());
        const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + path.size() + 1);
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), length), 0);
        ASSERT_EQ(listen(fd, 1), 0);
    }
    // A loopback port that refuses and one that listens; display n answers on port 6000 + n.
    std::string tcp[2];
    for (const int listening : {0, 1}) {
        sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t length = sizeof(address);
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), length), 0);
        ASSERT_EQ(getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length), 0);
        ASSERT_TRUE(listening == 0 || listen(fd, 1) == 0);
        tcp[listening] = "127.0.0.1:" + std::to_string(ntohs(address.sin_port) - 6000);
    }
    // DISPLAY and WAYLAND_DISPLAY (empty is as unset), and the platforms put before ours.
    const std::tuple<std::string, std::string, std::string> rows[] = {
        {"", "", ""},
        {":3", "", "xcb;"},   // a socket file
        {":4.0", "", "xcb;"}, // an abstract socket, with a screen
        {"unix:3", "", "xcb;"},
        {":5", "", ""},        // no server
        {"localhost", "", ""}, // no display number
        {":x", "", ""},
        {tcp[1], "", "xcb;"},
        {tcp[0], "", ""},
        {"", "X3", "wayland;"},         // in the runtime folder
        {"", home + "/X3", "wayland;"}, // by absolute path
        {"", "wayland-0", ""},          // compositor gone
        {":3", "X3", "xcb;wayland;"},
        {":5", "wayland-0", ""}, // a sandbox: both set, neither answers
    };
    for (const auto& [display, wayland, before] : rows) {
        setenv("DISPLAY", display.c_str(), 1);
        setenv("WAYLAND_DISPLAY", wayland.c_str(), 1);
        unsetenv("QT_QPA_PLATFORM");
        prepareGuiEnvironment(home.c_str());
        EXPECT_EQ(qgetenv("QT_QPA_PLATFORM").toStdString(), before + "voxalis-egl;offscreen")
            << display << wayland;
    }
    // A platform the user named is kept, reachable display or not.
    setenv("QT_QPA_PLATFORM", "minimal", 1);
    prepareGuiEnvironment(home.c_str());
    EXPECT_EQ(qgetenv("QT_QPA_PLATFORM"), "minimal");
}
