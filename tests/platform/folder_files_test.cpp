#include "windows_api.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

void touch(const QString& path) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
}

TEST(FolderFiles, CountsWhatQDirListsAsFiles) {
    QTemporaryDir folder;
    const QString at = folder.path() + "/";
    touch(at + "a.png");
    touch(at + "b.png");
    touch(at + ".hidden.png");
    ASSERT_TRUE(QDir().mkdir(at + "bucket"));
    ASSERT_TRUE(QFile::link(at + "a.png", at + "link-to-file.png"));
    ASSERT_TRUE(QFile::link(at + "bucket", at + "link-to-folder"));
    ASSERT_TRUE(QFile::link(at + "gone.png", at + "broken-link.png"));
    ASSERT_EQ(mkfifo(QFile::encodeName(at + "pipe").constData(), 0600), 0);

    const int expected = QDir(folder.path()).entryList(QDir::Files).size();
    EXPECT_EQ(expected, 3); // a, b and the link to a
    EXPECT_EQ(countFolderFiles(QFile::encodeName(folder.path()).constData()), expected);
    EXPECT_EQ(countFolderFiles(QFile::encodeName(at + "missing").constData()), 0);
}

} // namespace
