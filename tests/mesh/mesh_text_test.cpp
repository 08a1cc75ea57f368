#include "mesh_text.h"
#include "windows_api.h"

#include <QByteArray>
#include <QRandomGenerator>

#include <cmath>
#include <cstring>

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
