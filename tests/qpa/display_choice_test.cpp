#include "files.h"
#include "platform_services.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <thread>

namespace {

// A stream socket listening on `address`, with a server that replies one byte to whatever a
// client first sends if it `answers`, for the rest of the test's process; a socket without it
// is a stopped server.
template <typename Address> int serve(Address& address, socklen_t length, bool answers) {
    const int fd = socket(reinterpret_cast<sockaddr&>(address).sa_family, SOCK_STREAM, 0);
    EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), length), 0);
    EXPECT_EQ(listen(fd, 4), 0);
    std::thread([fd, answers] {
        while (answers) {
            const int client = accept(fd, nullptr, nullptr);
            char request[12];
            if (client >= 0 && read(client, request, sizeof(request)) > 0) {
                EXPECT_EQ(write(client, "\1", 1), 1);
            }
            close(client);
        }
    }).detach();
    return fd;
}

} // namespace

// Sockets stay open for the rest of the test's process. The data home is also XDG_RUNTIME_DIR
// and here the folder of the X sockets; any socket that replies will do for a compositor.
TEST(DisplayChoice, OnlyDisplaysWhoseServersAnswerAreTried) {
    const std::string home = testDataHome().toStdString();
    const std::tuple<const char*, bool, bool> unixSockets[] = {
        {"/X3", false, true}, {"/X4", true, true}, {"/X7", false, false}};
    for (const auto& [name, abstract, answers] : unixSockets) {
        const std::string path = home + name;
        sockaddr_un address{AF_UNIX, {}};
        path.copy(address.sun_path + (abstract ? 1 : 0), path.size());
        serve(address, socklen_t(offsetof(sockaddr_un, sun_path) + path.size() + 1), answers);
    }
    // Loopback ports, one that answers and one that never replies; display n is on port 6000 + n.
    std::string tcp[2];
    for (const bool answers : {false, true}) {
        sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t length = sizeof(address);
        const int fd = serve(address, length, answers);
        ASSERT_EQ(getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length), 0);
        tcp[answers] = "127.0.0.1:" + std::to_string(ntohs(address.sin_port) - 6000);
    }
    // DISPLAY and WAYLAND_DISPLAY (empty is as unset), and the platforms put before ours.
    const std::tuple<std::string, std::string, std::string> rows[] = {
        {":3", "", "xcb;"},   // a socket file
        {":4.0", "", "xcb;"}, // an abstract socket, with a screen
        {"unix:3", "", "xcb;"},
        {":5", "", ""}, // no server
        {":x", "", ""},
        {tcp[true], "", "xcb;"},
        {tcp[false], "", ""},
        {"unix:7", "", ""},             // accepts and never replies
        {"", "X3", "wayland;"},         // in the runtime folder
        {"", home + "/X3", "wayland;"}, // by absolute path
        {":3", "X3", "xcb;wayland;"},
    };
    // The session's own choice, which may name a platform that cannot start, is replaced.
    for (const auto& [display, wayland, before] : rows) {
        setenv("QT_QPA_PLATFORM", "wayland;xcb", 1);
        setenv("DISPLAY", display.c_str(), 1);
        setenv("WAYLAND_DISPLAY", wayland.c_str(), 1);
        EXPECT_TRUE(prepareGuiEnvironment(home.c_str()));
        EXPECT_EQ(qgetenv("QT_QPA_PLATFORM").toStdString(), before + "voxalis-egl;offscreen")
            << display << " " << wayland;
    }
}

// Under an address-space limit the OpenGL driver dies in its start-up. Room of up to what it
// needs gets the platform without OpenGL; the limit is set on this process and lifted again.
TEST(DisplayChoice, TooLittleAddressSpaceChoosesNoOpenGl) {
    rlimit original{};
    ASSERT_EQ(getrlimit(RLIMIT_AS, &original), 0);
    const auto mapped = [] {
        unsigned long long pages = 0;
        std::FILE* statm = std::fopen("/proc/self/statm", "r");
        EXPECT_EQ(std::fscanf(statm, "%llu", &pages), 1);
        std::fclose(statm);
        return rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE));
    };
    // Room in MiB above what is mapped now, and whether OpenGL may start.
    for (const auto& [room, starts] : {std::pair(1000, false), std::pair(1100, true)}) {
        rlimit limit = original;
        limit.rlim_cur = mapped() + (rlim_t(room) << 20);
        ASSERT_EQ(setrlimit(RLIMIT_AS, &limit), 0);
        const bool chosen = prepareGuiEnvironment();
        ASSERT_EQ(setrlimit(RLIMIT_AS, &original), 0);
        EXPECT_EQ(chosen, starts) << room;
        EXPECT_EQ(qgetenv("QT_QPA_PLATFORM") == "minimal", !starts) << room;
    }
}
