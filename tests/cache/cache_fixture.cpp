#include "cache_fixture.h"

#include "cache_database.h"
#include "db_mutex.h"
#include "files.h"
#include "myfile.h"
#include "statements.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QImage>
#include <QMutexLocker>
#include <QSqlQuery>

void CacheTest::SetUp() {
    if (QCoreApplication::instance() == nullptr) {
        static int argc = 1;
        static char name[] = "cache_tests";
        static char* argv[] = {name, nullptr};
        new QCoreApplication(argc, argv);
    }
    root = testDataHome() + "/VOXALIS_Thumbnail";
}

bool CacheTest::needsThumbnail(const QString& path) {
    QMutexLocker lock(&dbMutex);
    return myFile(path, root).needsThumbnail;
}

QString CacheTest::source(const QString& name, const QByteArray& content, qint64 modified) {
    const QString path = testDataHome() + "/sources/" + name;
    writeFile(path, content);
    setModifiedTime(path, modified);
    return path;
}

QString CacheTest::pictureWithRow(const QString& path, quint32 thumTime, quint32 fileTime,
                                  quint32 fileSize) {
    const QString picture = root + "/db/thumbnailImage/0/" + QFileInfo(path).baseName() + ".png";
    writeFile(picture, "");
    EXPECT_TRUE(QImage(1, 1, QImage::Format_RGB32).save(picture, "png"));
    writeRow({picture, thumTime, path, fileTime, fileSize});
    return picture;
}

void CacheTest::writeRow(const ThumbnailRow& row) {
    QMutexLocker lock(&dbMutex);
    // Any job record opens the database; its own answer does not matter here.
    myFile(testDataHome() + "/opens-the-cache.lqx", root);
    writeThumbnailRow(row, OnLookupFailure::Insert);
}

ThumbnailRow CacheTest::row(const QString& path) {
    QMutexLocker lock(&dbMutex);
    const Lookup found = lookupThumbnail(path, statements::kLookup);
    EXPECT_EQ(found.status, LookupStatus::Found) << qPrintable(path);
    return found.row;
}

int CacheTest::rowCount() {
    QMutexLocker lock(&dbMutex);
    QSqlQuery query(cacheDatabase());
    return query.exec("select count(*) from thumbnail") && query.next() ? query.value(0).toInt()
                                                                        : -1;
}
