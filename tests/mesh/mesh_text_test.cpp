#include "mesh_text.h"
#include "windows_api.h"

#include <QByteArray>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cmath>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

namespace {

// The fast parser must agree with strtof in value (bit for bit) and in where it stops.
void expectSameAsStrtof(const QByteArray& text) {
    char* strtofEnd = nullptr;
    const float expected = strtofC(text.constData(), &strtofEnd);
    const char* end = nullptr;
    const float actual = parseFloat(text.constData(), text.constData() + text.size(), &end);
    ASSERT_EQ(end - text.constData(), strtofEnd - text.constData()) << text.constData();
    if (std::isnan(expected)) {
        ASSERT_TRUE(std::isnan(actual)) << text.constData();
    } else {
        ASSERT_EQ(std::memcmp(&expected, &actual, sizeof(float)), 0)
            << text.constData() << ": " << expected << " vs " << actual;
    }
}

TEST(FloatText, AgreesWithStrtofOnTheFormsMeshFilesHold) {
    for (const char* text : {"0",
                             "-0",
                             "1",
                             "1.5",
                             "-1.5",
                             ".5",
                             "-.5",
                             "5.",
                             "1e3",
                             "1E-3",
                             "1.25e+02",
                             "  7",
                             "\t-8",
                             "\n9",
                             "+3",
                             "+.5",
                             "1e",
                             "1e+",
                             "-",
                             ".",
                             "",
                             "abc",
                             "e5",
                             "1.2.3",
                             "0x1p3",
                             "-0X10",
                             "inf",
                             "-INF",
                             "infinity",
                             "nan",
                             "NaN(123)",
                             "1e50",
                             "-1e50",
                             "1e-50",
                             "1e-40",
                             "3.4028235e38",
                             "3.4028236e38",
                             "1.17549435e-38",
                             "123456789012345678901234",
                             "0.1000000000000000055511151231257827",
                             "1,5",
                             "2 3",
                             "4\t5",
                             "0000001.000"}) {
        expectSameAsStrtof(text);
    }
}

TEST(FloatText, AgreesWithStrtofOnRandomNumbers) {
    QRandomGenerator random(20261205);
    const char alphabet[] = "0123456789.eE+- \t";
    for (int i = 0; i < 200000; ++i) {
        QByteArray text;
        // Mostly well-formed decimals, some of them noise.
        if (random.bounded(4) != 0) {
            text += random.bounded(2) ? "-" : "";
            text += QByteArray::number(random.bounded(100000));
            text += "." + QByteArray::number(random.bounded(1000000));
            if (random.bounded(3) == 0) {
                text += "e" + QByteArray::number(random.bounded(-45, 45));
            }
        } else {
            for (int n = random.bounded(1, 12); n > 0; --n) {
                text += alphabet[random.bounded(int(sizeof(alphabet) - 1))];
            }
        }
        expectSameAsStrtof(text);
    }
}

} // namespace

namespace {

// Everything QFile::readLine(line, kLineLimit) hands out, piece by piece, with its length.
std::vector<QByteArray> piecesByQt(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    std::vector<QByteArray> pieces;
    char line[kLineLimit + 1];
    for (qint64 got; (got = file.readLine(line, kLineLimit)) > 0;) {
        pieces.emplace_back(line, static_cast<int>(got));
    }
    return pieces;
}

std::vector<QByteArray> piecesByLineReader(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    LineReader reader(file);
    std::vector<QByteArray> pieces;
    char line[kLineLimit + 1];
    // Poisoned between reads, so a missing terminator or a stale byte shows.
    std::memset(line, 'X', sizeof(line));
    while (reader.next(line)) {
        const char* end = static_cast<const char*>(std::memchr(line, '\0', sizeof(line)));
        pieces.emplace_back(line, end == nullptr ? -1 : static_cast<int>(end - line));
        std::memset(line, 'X', sizeof(line));
    }
    return pieces;
}

TEST(LineReader, HandsOutTheLinesAndPiecesThatReadLineDoes) {
    // Lines around the 1,023-byte piece limit, empty lines, CR LF, and lines crossing the
    // reader's buffer boundaries; the file ends without a line break.
    QRandomGenerator random(3);
    QByteArray text;
    for (const int length : {0, 1, 1021, 1022, 1023, 1024, 2045, 2046, 2047, 5000}) {
        text += QByteArray(length, 'a') + '\n';
    }
    while (text.size() < 300000) {
        const int length = random.bounded(4) == 0 ? random.bounded(3000) : random.bounded(60);
        text += QByteArray(length, static_cast<char>('a' + random.bounded(26)));
        text += random.bounded(5) == 0 ? "\r\n" : "\n";
    }
    text += "vertex 1 2 3";
    QTemporaryDir folder;
    const QString path = folder.filePath("lines.txt");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
    file.close();

    const std::vector<QByteArray> expected = piecesByQt(path);
    const std::vector<QByteArray> actual = piecesByLineReader(path);
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        ASSERT_EQ(actual[i], expected[i]) << "piece " << i;
    }
}

} // namespace
