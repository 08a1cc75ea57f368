#include "files.h"
#include "platform_services.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QByteArray folder(const char* name, mode_t mode) {
    const QByteArray path = QFile::encodeName(testDataHome()) + "/" + name;
    EXPECT_TRUE(QDir().mkpath(QFile::decodeName(path)));
    EXPECT_EQ(chmod(path.constData(), mode), 0);
    return path;
}

// Only a folder of our own that nobody else may enter is private, as the runtime folder must
// be.
TEST(PrivateFolder, IsOursAndOursAlone) {
    EXPECT_TRUE(isPrivateFolder(folder("private", 0700)));
    EXPECT_FALSE(isPrivateFolder(folder("readable", 0750)));
    EXPECT_FALSE(isPrivateFolder(folder("sticky", 01700)));
    EXPECT_FALSE(isPrivateFolder(folder("unwritable", 0500)));
    EXPECT_FALSE(isPrivateFolder(QFile::encodeName(testDataHome()) + "/missing"));
    writeFile(testDataHome() + "/file", "x");
    EXPECT_FALSE(isPrivateFolder(QFile::encodeName(testDataHome()) + "/file"));
    if (geteuid() == 0) {
        const QByteArray foreign = folder("foreign", 0700);
        ASSERT_EQ(chown(foreign.constData(), 65534, 65534), 0);
        EXPECT_FALSE(isPrivateFolder(foreign));
    }
}

// A program stopped by each ending signal removes its folder and still dies of that signal,
// as its client expects.
TEST(PrivateFolder, GoesWithTheProgramWhateverSignalEndsIt) {
    for (const int ending : {SIGTERM, SIGINT, SIGHUP, SIGQUIT}) {
        const QByteArray path = folder("own", 0700);
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        const pid_t child = fork();
        if (child == 0) {
            const char done = removeFolderOnTermination(path.constData()) ? 1 : 0;
            if (write(ready[1], &done, 1) != 1) {
                _exit(2);
            }
            for (;;) {
                pause();
            }
        }
        char done = 0;
        ASSERT_EQ(read(ready[0], &done, 1), 1);
        EXPECT_EQ(done, 1);
        ASSERT_EQ(kill(child, ending), 0);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == ending) << ending;
        EXPECT_FALSE(QFileInfo::exists(QFile::decodeName(path))) << ending;
        close(ready[0]);
        close(ready[1]);
    }
}

} // namespace
