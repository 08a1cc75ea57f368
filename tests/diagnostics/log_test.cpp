#include "data_root.h"
#include "file_names.h"
#include "files.h"
#include "log.h"
#include "memory_probes.h"

#include <QFile>
#include <QRegularExpression>
#include <QTextCodec>

#include <gtest/gtest.h>

#include <array>

TEST(Log, LinesOfStampThreeBlanksAndMessageInTheDataRootUpToTheSizeLimit) {
    EXPECT_EQ(formatLogTimestamp(QDateTime(QDate(2026, 3, 3), QTime(9, 5, 0))), "9:5:0 03.03.2026");
    EXPECT_EQ(kInfoLabel + logLocation("myFileThumbnail::dbDeal", 1032),
              "information    :    myFileThumbnail::dbDeal : 1032 ");
    const QString log = testDataHome() + "/VOXALIS_Thumbnail/VOXALIS_Thumbnail.log";
    const QString stamp = "\\d{1,2}:\\d{1,2}:\\d{1,2} \\d\\d\\.\\d\\d\\.\\d{4}   ";
    writeLog("first\n/tmp/part.lqx");
    writeLog("second");
    const QRegularExpression entries("^" + stamp + "first\\n/tmp/part.lqx\\r\\n" + stamp +
                                     "second\\r\\n$");
    EXPECT_TRUE(entries.match(readFile(log)).hasMatch()) << readFile(log).constData();
    // A log of exactly the limit is kept; one byte more and the next line starts a fresh file.
    const qint64 cases[][2] = {{kLogSizeLimit, kLogSizeLimit}, {kLogSizeLimit + 1, 0}};
    for (const auto& [size, kept] : cases) {
        writeFile(log, QByteArray(size, 'a'));
        writeLog("next");
        const QByteArray text = readFile(log);
        EXPECT_EQ(text.count('a'), kept) << size;
        EXPECT_TRUE(text.endsWith("   next\r\n") && text.count('\n') == 1) << size;
    }
    // The data root is the generic data location's, unless that already ends in the folder,
    // whole and exactly as written.
    EXPECT_EQ(dataRootFor("/home/u/VOXALIS_Thumbnail"), "/home/u/VOXALIS_Thumbnail");
    for (const QString location : {"/home/u/.local/share", "/home/u/VOXALIS_Thumbnail/",
                                   "/home/u/voxalis_thumbnail", "/home/u/MyVOXALIS_Thumbnail"}) {
        EXPECT_EQ(dataRootFor(location), location + "/VOXALIS_Thumbnail");
    }
}

TEST(Log, RelativeDataHomeIsIgnoredForTheDefaultOneInHome) {
    const QString home = testDataHome() + "/home";
    qputenv("HOME", QFile::encodeName(home));
    for (const QByteArray relative : {"relative/share", "./share", ""}) {
        qputenv("XDG_DATA_HOME", relative);
        EXPECT_EQ(writableDataRoot(), home + "/.local/share/VOXALIS_Thumbnail") << relative.data();
    }
}

// A byte of no valid UTF-8 sequence (a stray continuation, a cut or overlong sequence, an
// encoded surrogate, a lead that starts none) reads as U+DC00 + the byte and is written back
// as that byte; valid UTF-8 of every length reads as UTF-8.
TEST(FileNames, EveryNameKeepsItsBytesAndValidUtf8ReadsAsBefore) {
    keepFileNamesWhole();
    keepFileNamesWhole(); // once is enough
    const std::pair<QByteArray, const char16_t*> names[] = {
        {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", u"caf\u00E9 \u20AC \U0001F600"},
        {"bad\xFF\x80.lqx", u"bad\xDCFF\xDC80.lqx"},
        {"cut\xE2\x82", u"cut\xDCE2\xDC82"},
        {"\xC0\xAF\xED\xA0\x80", u"\xDCC0\xDCAF\xDCED\xDCA0\xDC80"},
    };
    for (const auto& [bytes, units] : names) {
        const QString text = QString::fromUtf16(units);
        EXPECT_EQ(QFile::decodeName(bytes), text) << bytes.toHex().constData();
        EXPECT_EQ(QFile::encodeName(text), bytes) << bytes.toHex().constData();
        // A stream holds a cut sequence back until the next piece.
        QTextDecoder decoder(QTextCodec::codecForLocale());
        QString streamed;
        for (const char byte : bytes + ".") {
            streamed += decoder.toUnicode(&byte, 1);
        }
        EXPECT_EQ(streamed, text + ".") << bytes.toHex().constData();
    }
    QTextEncoder encoder(QTextCodec::codecForLocale());
    const QByteArray high = encoder.fromUnicode(QString::fromUtf16(u"\xD83D"));
    EXPECT_EQ(high + encoder.fromUnicode(QString::fromUtf16(u"\xDE00")), "\xF0\x9F\x98\x80");
    EXPECT_EQ(QFile::encodeName(QString::fromUtf16(u"\xD800"
                                                   u"a\xDC10")),
              "?a?");
}

static bool failing = false;

// Each figure told apart; a failure leaves them behind.
static BOOL chosenMemory(LPMEMORYSTATUSEX status) {
    EXPECT_EQ(status->dwLength, 64u);
    *status = {64, 90, 1, 3ull << 30, 1, 5ull << 30, 1, 1, 1};
    return failing ? FALSE : TRUE;
}

TEST(MemoryProbes, EachProbeReadsItsFieldAndAFailedQueryNothing) {
    EXPECT_EQ(setMemoryStatusSource(&chosenMemory), &GlobalMemoryStatusEx);
    EXPECT_EQ(
        (std::array<quint64, 3>{memoryLoad(), availablePhysicalMemory(), availablePageFile()}),
        (std::array<quint64, 3>{90, 3ull << 30, 5ull << 30}));
    // No load and nothing available: a failure alone never stops a read.
    failing = true;
    EXPECT_EQ(memoryLoad() + availablePhysicalMemory() + availablePageFile(), 0u);
    // Without a source of its own the guard reads the machine.
    EXPECT_EQ(setMemoryStatusSource(nullptr), &chosenMemory);
    EXPECT_EQ(setMemoryStatusSource(nullptr), &GlobalMemoryStatusEx);
}
