// Every test process gets a data home of its own before any code asks Qt where it is, so the
// module's process-wide data root, database and log never touch the user's real cache.

#include "kept_pictures.h"

#include <QTemporaryDir>
#include <QtGlobal>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QTemporaryDir home(QDir::tempPath() + QStringLiteral("/voxalis-test-XXXXXX"));
    if (!home.isValid()) {
        return 2;
    }
    qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", home.path().toLocal8Bit());
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(keptPicturesWriter().release());
    return RUN_ALL_TESTS();
}
