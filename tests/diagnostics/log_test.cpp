#include "files.h"
#include "log.h"

#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

QString logPath() {
    return testDataHome() + "/VOXALIS_Thumbnail/VOXALIS_Thumbnail.log";
}

TEST(LogLine, TimeHasNoLeadingZerosButTheDateHas) {
    const QDateTime at(QDate(2026, 3, 3), QTime(9, 5, 7));
    EXPECT_EQ(formatLogTimestamp(at), "9:5:7 03.03.2026");
    EXPECT_EQ(formatLogTimestamp(QDateTime(QDate(2026, 12, 31), QTime(23, 59, 0))),
              "23:59:0 31.12.2026");
}

TEST(LogLine, LocationKeepsItsTrailingBlank) {
    EXPECT_EQ(kInfoLabel + logLocation("myFileThumbnail::dbDeal", 1032),
              "information    :    myFileThumbnail::dbDeal : 1032 ");
    EXPECT_EQ(kErrorLabel, "error    :   ");
}

TEST(WriteLog, EntryIsStampThreeBlanksMessageAndCrLfWithBareLfInside) {
    writeLog(QStringLiteral("first\n/tmp/part.lqx"));
    writeLog(QStringLiteral("second"));
    const QByteArray text = readFile(logPath());
    const QRegularExpression entry(QStringLiteral(
        "^\\d{1,2}:\\d{1,2}:\\d{1,2} \\d\\d\\.\\d\\d\\.\\d{4}   first\\n/tmp/part.lqx\\r\\n"
        "\\d{1,2}:\\d{1,2}:\\d{1,2} \\d\\d\\.\\d\\d\\.\\d{4}   second\\r\\n$"));
    EXPECT_TRUE(entry.match(QString::fromLatin1(text)).hasMatch()) << text.constData();
}

TEST(WriteLog, LogOfExactlyTheLimitIsKeptOneByteMoreStartsAFreshFile) {
    writeFile(logPath(), QByteArray(kLogSizeLimit, 'a'));
    writeLog(QStringLiteral("kept"));
    const QByteArray kept = readFile(logPath());
    EXPECT_GT(kept.size(), kLogSizeLimit);
    EXPECT_TRUE(kept.endsWith("   kept\r\n"));
    EXPECT_TRUE(kept.startsWith("aaaa"));

    writeFile(logPath(), QByteArray(kLogSizeLimit + 1, 'a'));
    writeLog(QStringLiteral("fresh"));
    const QByteArray fresh = readFile(logPath());
    EXPECT_FALSE(fresh.contains('a'));
    EXPECT_TRUE(fresh.endsWith("   fresh\r\n"));
    EXPECT_EQ(fresh.count('\n'), 1);
}

TEST(WriteLog, UnwritableDataFolderLosesTheMessageQuietly) {
    // A plain file where the data folder should be: neither the folder nor the log can exist.
    const QString blocker = testDataHome() + "/blocker";
    writeFile(blocker, "x");
    qputenv("XDG_DATA_HOME", blocker.toLocal8Bit());
    writeLog(QStringLiteral("lost"));
    EXPECT_EQ(readFile(blocker), "x");
}

} // namespace
