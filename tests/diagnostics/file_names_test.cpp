#include "file_names.h"
#include "files.h"

#include <QDir>
#include <QFile>
#include <QTextCodec>

#include <gtest/gtest.h>

namespace {

// The bytes a name decodes to through `decoder`, fed one byte at a time.
QString decodedByteByByte(const QByteArray& name) {
    QTextDecoder decoder(QTextCodec::codecForLocale());
    QString text;
    for (char byte : name) {
        text += decoder.toUnicode(&byte, 1);
    }
    return text;
}

TEST(FileNames, EveryNameKeepsItsBytesAndValidUtf8ReadsAsBefore) {
    keepFileNamesWhole();
    keepFileNamesWhole(); // once is enough; a second call changes nothing
    ASSERT_EQ(QTextCodec::codecForLocale()->name(), "UTF-8-escaped-bytes");
    // A name, what it reads as: valid UTF-8 of every length as UTF-8; a byte of no valid
    // sequence (a stray continuation, a cut sequence, an overlong form, an encoded surrogate,
    // a point past U+10FFFF, a lead that never starts one) as U+DC00 + the byte.
    const auto escaped = [](std::initializer_list<char16_t> units) {
        QString text;
        for (char16_t unit : units) {
            text.append(QChar(unit));
        }
        return text;
    };
    const std::pair<QByteArray, QString> names[] = {
        {"part.stl", "part.stl"},
        {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80",
         QString::fromUtf8("caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80")},
        {"bad\xFF.lqx", "bad" + escaped({0xDCFF}) + ".lqx"},
        {"\x80", escaped({0xDC80})},
        {"cut\xE2\x82", "cut" + escaped({0xDCE2, 0xDC82})},
        {"\xC0\xAF", escaped({0xDCC0, 0xDCAF})},
        {"\xED\xA0\x80", escaped({0xDCED, 0xDCA0, 0xDC80})},
        {"\xF4\x90\x80\x80", escaped({0xDCF4, 0xDC90, 0xDC80, 0xDC80})},
        {"\xF8x\xC3", escaped({0xDCF8}) + "x" + escaped({0xDCC3})},
        {"\xC3\xA9\xA9", QString::fromUtf8("\xC3\xA9") + escaped({0xDCA9})},
    };
    for (const auto& [bytes, text] : names) {
        EXPECT_EQ(QFile::decodeName(bytes), text) << bytes.toHex().constData();
        EXPECT_EQ(QFile::encodeName(text), bytes) << bytes.toHex().constData();
        // A stream holds a cut sequence back until more comes.
        EXPECT_EQ(decodedByteByByte(bytes + "."), text + ".") << bytes.toHex().constData();
    }
    // A pair cut between two pieces of a stream, and halves that stand for no byte.
    QTextEncoder encoder(QTextCodec::codecForLocale());
    const QString smile = QString::fromUtf8("\xF0\x9F\x98\x80");
    const QByteArray first = encoder.fromUnicode(smile.left(1));
    EXPECT_EQ(first + encoder.fromUnicode(smile.mid(1)), "\xF0\x9F\x98\x80");
    EXPECT_EQ(QFile::encodeName(escaped({0xD800, 'a', 0xDC10})), "?a?");

    // The file system's round trip: such a file is listed, opened and found by its name.
    const QString name = QFile::decodeName("bad\xFE\xFF.stl");
    writeFile(testDataHome() + "/" + name, "solid");
    EXPECT_TRUE(QDir(testDataHome()).entryList(QDir::Files).contains(name));
    EXPECT_EQ(readFile(testDataHome() + "/" + name), "solid");
}

} // namespace
