// Runs a command with transparent huge pages disabled for it and its children, so a benchmark
// shows what a machine that grants no huge pages would see.
//
//   no_thp COMMAND [ARGUMENT...]

#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s COMMAND [ARGUMENT...]\n", argv[0]);
        return 2;
    }
    // Inherited across fork and exec, so llvmpipe's threads and any restart of the host are
    // covered too.
    if (prctl(PR_SET_THP_DISABLE, 1, 0, 0, 0) != 0) {
        std::fprintf(stderr, "no_thp: prctl: %s\n", std::strerror(errno));
        return 125;
    }
    execvp(argv[1], argv + 1);
    std::fprintf(stderr, "no_thp: %s: %s\n", argv[1], std::strerror(errno));
    return 127;
}
