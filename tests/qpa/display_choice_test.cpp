#include "files.h"
#include "platform_services.h"

#include <QByteArray>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <thread>

namespace {

// What a server sends back to whatever a client first sends.
enum class Reply {
    None,        // a stopped server: it accepts, and never replies
    XRefusal,    // a whole X set-up reply: refused, with four bytes of reason
    XFirstByte,  // the X reply's first byte, then nothing: a stalled server
    WaylandDone, // a whole Wayland event: the sync callback's "done"
    WaylandHalf, // that event's first eight bytes, which announce twelve
};

QByteArray bytesOf(Reply reply) {
    const QByteArray refusal("\0\4\x0b\0\0\0\1\0nope", 12);
    const QByteArray done("\2\0\0\0\0\0\x0c\0\7\0\0\0", 12);
    switch (reply) {
    case Reply::None:
        return {};
    case Reply::XRefusal:
        return refusal;
    case Reply::XFirstByte:
        return refusal.left(1);
    case Reply::WaylandDone:
        return done;
    case Reply::WaylandHalf:
        return done.left(8);
    }
    return {};
}

// A stream socket listening on `address`, with a server that sends `reply` for the rest of the
// test's process, holding each connection open afterwards.
template <typename Address> int serve(Address& address, socklen_t length, Reply reply) {
    const int fd = socket(reinterpret_cast<sockaddr&>(address).sa_family, SOCK_STREAM, 0);
    EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), length), 0);
    EXPECT_EQ(listen(fd, 4), 0);
    if (reply == Reply::None) {
        return fd;
    }
    std::thread([fd, reply] {
        const QByteArray bytes = bytesOf(reply);
        for (;;) {
            const int client = accept(fd, nullptr, nullptr);
            char request[12];
            if (client >= 0 && read(client, request, sizeof(request)) > 0) {
                EXPECT_EQ(write(client, bytes.constData(), std::size_t(bytes.size())),
                          bytes.size());
            }
        }
    }).detach();
    return fd;
}

} // namespace

// Sockets stay open for the rest of the test's process. The data home is also XDG_RUNTIME_DIR
// and here the folder of the X sockets; any socket that replies will do for a compositor.
TEST(DisplayChoice, OnlyDisplaysWhoseServersAnswerAreTried) {
    const std::string home = testDataHome().toStdString();
    const std::tuple<const char*, bool, Reply> unixSockets[] = {
        {"/X3", false, Reply::XRefusal},    {"/X4", true, Reply::XRefusal},
        {"/X7", false, Reply::None},        {"/X8", true, Reply::XFirstByte},
        {"/W1", false, Reply::WaylandDone}, {"/W2", false, Reply::WaylandHalf}};
    for (const auto& [name, abstract, reply] : unixSockets) {
        const std::string path = home + name;
        sockaddr_un address{AF_UNIX, {}};
        path.copy(address.sun_path + (abstract ? 1 : 0), path.size());
        serve(address, socklen_t(offsetof(sockaddr_un, sun_path) + path.size() + 1), reply);
    }
    // Loopback ports; display n is on port 6000 + n.
    std::map<Reply, std::string> tcp;
    for (const Reply reply : {Reply::None, Reply::XRefusal, Reply::XFirstByte}) {
        sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t length = sizeof(address);
        const int fd = serve(address, length, reply);
        ASSERT_EQ(getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length), 0);
        tcp[reply] = "127.0.0.1:" + std::to_string(ntohs(address.sin_port) - 6000);
    }
    // DISPLAY and WAYLAND_DISPLAY (empty is as unset), and the platforms tried after ours.
    const std::tuple<std::string, std::string, std::string> rows[] = {
        {":3", "", "xcb;"},   // a socket file
        {":4.0", "", "xcb;"}, // an abstract socket, with a screen
        {"unix:3", "", "xcb;"},
        {":5", "", ""}, // no server
        {":x", "", ""},
        {tcp[Reply::XRefusal], "", "xcb;"},
        {tcp[Reply::None], "", ""},
        {tcp[Reply::XFirstByte], "", ""},                             // stalls inside its reply
        {"localhost:" + tcp[Reply::XRefusal].substr(10), "", "xcb;"}, // a name to look up
        {"unix:7", "", ""},                                           // accepts and never replies
        {":8", "", ""},                                               // stalls inside its reply
        {"", "W1", "wayland;"},                                       // in the runtime folder
        {"", home + "/W1", "wayland;"},                               // by absolute path
        {"", "W2", ""},                                               // stalls inside its event
        {"", "X3", ""}, // an X server is no compositor
        {":3", "W1", "xcb;wayland;"},
    };
    // The session's own choice, which may name a platform that cannot start, is replaced.
    for (const auto& [display, wayland, after] : rows) {
        setenv("QT_QPA_PLATFORM", "wayland;xcb", 1);
        setenv("DISPLAY", display.c_str(), 1);
        setenv("WAYLAND_DISPLAY", wayland.c_str(), 1);
        EXPECT_TRUE(prepareGuiEnvironment(home.c_str()));
        EXPECT_EQ(qgetenv("QT_QPA_PLATFORM").toStdString(), "voxalis-egl;" + after + "offscreen")
            << display << " " << wayland;
    }
}

// A display on a host whose name server never answers (glibc would wait minutes, with the
// resolver options given) costs that display, not the thumbnail. The outer test runs this one
// again in a mount namespace whose resolv.conf names a silent server of its own.
TEST(DisplayChoice, SilentNameServer) {
    if (qEnvironmentVariableIsEmpty("VOXALIS_SILENT_NAME_SERVER")) {
        const int server = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address{AF_INET, htons(53), {htonl(0x7F000002)}, {}};
        if (bind(server, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
            QProcess::execute("bwrap", {"--dev-bind", "/", "/", "true"}) != 0) {
            GTEST_SKIP() << "needs port 53 on 127.0.0.2 and bwrap";
        }
        const QString resolver = writeSource("resolv.conf", "nameserver 127.0.0.2\n");
        QProcess inner;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("VOXALIS_SILENT_NAME_SERVER", "1");
        environment.insert("RES_OPTIONS", "timeout:30 attempts:5");
        inner.setProcessEnvironment(environment);
        inner.start("bwrap", {"--dev-bind", "/", "/", "--ro-bind", resolver, "/etc/resolv.conf",
                              QFileInfo("/proc/self/exe").symLinkTarget(),
                              "--gtest_filter=DisplayChoice.SilentNameServer"});
        ASSERT_TRUE(inner.waitForFinished(-1));
        EXPECT_EQ(inner.exitCode(), 0) << inner.readAll().toStdString();
        close(server);
        return;
    }
    setenv("DISPLAY", "display.invalid:0", 1);
    setenv("WAYLAND_DISPLAY", "", 1);
    EXPECT_TRUE(prepareGuiEnvironment());
    EXPECT_EQ(qgetenv("QT_QPA_PLATFORM"), "voxalis-egl;offscreen");
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
