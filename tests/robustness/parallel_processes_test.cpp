#include "cache_database.h"
#include "db_mutex.h"
#include "dlp_writer.h"
#include "files.h"
#include "myfile.h"
#include "qt_printers.h"
#include "rle16_writer.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QMutexLocker>
#include <QProcess>
#include <QSet>
#include <QSqlQuery>
#include <QVariant>

#include <gtest/gtest.h>

namespace {

TEST(ParallelProcesses, TwoHostsShareOneCacheWithoutLosingARow) {
    static int argc = 1;
    static char name[] = "robustness_tests";
    static char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);

    QStringList files;
    for (int i = 0; i < 150; ++i) {
        DlpFile file;
        file.width = 16;
        file.height = 16;
        file.picture = Rle16Writer().run(0, i % 200).run(0x8410, 30).bytes();
        // Same base names in several folders, as print jobs are often named.
        files.append(testDataHome() +
                     QStringLiteral("/jobs/%1/plate%2.lqx").arg(i % 10).arg(i / 10));
        writeFile(files.last(), file.bytes());
    }
    QStringList reversed(files.rbegin(), files.rend());

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("VOXALIS_REGISTRY", testDataHome() + "/registry.reg");
    QProcess registration;
    registration.setProcessEnvironment(environment);
    registration.start(VOXALIS_THUMB, {"--register"});
    ASSERT_TRUE(registration.waitForFinished(60000));
    ASSERT_EQ(registration.exitCode(), 0);

    QProcess first;
    QProcess second;
    for (QProcess* host : {&first, &second}) {
        host->setProcessEnvironment(environment);
        host->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    }
    first.start(VOXALIS_THUMB, QStringList{"-o", testDataHome() + "/out1"} + files);
    second.start(VOXALIS_THUMB, QStringList{"-o", testDataHome() + "/out2"} + reversed);
    ASSERT_TRUE(first.waitForFinished(300000));
    ASSERT_TRUE(second.waitForFinished(300000));
    EXPECT_EQ(first.exitCode(), 0) << first.readAllStandardOutput().right(2000).constData();
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardOutput().right(2000).constData();

    const QString root = testDataHome() + "/VOXALIS_Thumbnail";
    {
        QMutexLocker lock(&dbMutex);
        myFile(files.first(), root);
    }
    QSqlQuery query(cacheDatabase());
    ASSERT_TRUE(query.exec("pragma integrity_check") && query.next());
    EXPECT_EQ(query.value(0).toString(), "ok");
    ASSERT_TRUE(query.exec("select thumPath, filePath from thumbnail"));
    QSet<QString> referenced;
    QSet<QString> sources;
    while (query.next()) {
        EXPECT_TRUE(QFileInfo::exists(query.value(0).toString()))
            << qPrintable(query.value(0).toString());
        referenced.insert(query.value(0).toString());
        sources.insert(query.value(1).toString());
    }
    EXPECT_EQ(sources, QSet<QString>(files.begin(), files.end()));
    EXPECT_EQ(referenced.size(), files.size());
    // No finished picture without its row.
    QDirIterator pictures(root + "/db/thumbnailImage", {"*.png"}, QDir::Files,
                          QDirIterator::Subdirectories);
    while (pictures.hasNext()) {
        const QString picture = pictures.next();
        EXPECT_TRUE(referenced.contains(picture)) << qPrintable(picture);
    }
}

} // namespace
