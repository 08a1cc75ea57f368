#include "cache_database.h"
#include "cache_fixture.h"
#include "db_mutex.h"
#include "files.h"
#include "myfile.h"
#include "statements.h"

#include <QMutexLocker>
#include <QSqlQuery>

namespace {

class ThumbnailTable : public CacheTest {
protected:
    void SetUp() override {
        CacheTest::SetUp();
        needsThumbnail(source("setup.lqx", "x")); // opens the database and creates the table
    }
};

TEST_F(ThumbnailTable, SecondWriteForAPathUpdatesItsRow) {
    QMutexLocker lock(&dbMutex);
    writeThumbnailRow({"/p/a.png", 10, "/s/a.lqx", 20, 30}, OnLookupFailure::Insert);
    writeThumbnailRow({"/p/b.png", 11, "/s/a.lqx", 21, 31}, OnLookupFailure::Insert);
    lock.unlock();
    EXPECT_EQ(rowCount(), 1);
    const ThumbnailRow stored = row("/s/a.lqx");
    EXPECT_EQ(stored.thumPath, "/p/b.png");
    EXPECT_EQ(stored.thumTime, 11u);
    EXPECT_EQ(stored.fileTime, 21u);
    EXPECT_EQ(stored.fileSize, 31u);
}

TEST_F(ThumbnailTable, NumbersAreStoredUnsigned) {
    QMutexLocker lock(&dbMutex);
    writeThumbnailRow({"/p/big.png", 0xFFFFFFFFu, "/s/big.lqx", 0x80000000u, 0xFFFFFFFEu},
                      OnLookupFailure::Insert);
    QSqlQuery raw(cacheDatabase());
    ASSERT_TRUE(raw.exec("select thumTime, fileTime, fileSize from thumbnail") && raw.next());
    EXPECT_EQ(raw.value(0).toString(), "4294967295");
    EXPECT_EQ(raw.value(1).toString(), "2147483648");
    EXPECT_EQ(raw.value(2).toString(), "4294967294");
}

TEST_F(ThumbnailTable, NoPathCanChangeWhatAStatementDoes) {
    const QString hostile = "/s/x'); drop table thumbnail; --.lqx";
    const QString wildcard = "/s/%1 %2 '%3'.lqx";
    QMutexLocker lock(&dbMutex);
    writeThumbnailRow({"/p/h.png", 1, hostile, 2, 3}, OnLookupFailure::Insert);
    writeThumbnailRow({"/p/w.png", 1, wildcard, 2, 3}, OnLookupFailure::Insert);
    markStale(hostile);
    lock.unlock();
    EXPECT_EQ(rowCount(), 2);
    EXPECT_EQ(row(hostile).thumPath, "1");
    EXPECT_EQ(row(hostile).filePath, hostile);
    EXPECT_EQ(row(wildcard).thumPath, "/p/w.png");
}

TEST_F(ThumbnailTable, RendererWritesNothingWhenTheLookUpFails) {
    QMutexLocker lock(&dbMutex);
    QSqlQuery(cacheDatabase()).exec("drop table thumbnail");
    writeThumbnailRow({"/p/r.png", 1, "/s/r.stl", 2, 3}, OnLookupFailure::Skip);
    EXPECT_EQ(lookupThumbnail("/s/r.stl", statements::kLookup).status, LookupStatus::Failed);
    QSqlQuery(cacheDatabase()).exec(statements::kCreate);
    writeThumbnailRow({"/p/r.png", 1, "/s/r.stl", 2, 3}, OnLookupFailure::Skip);
    EXPECT_EQ(lookupThumbnail("/s/r.stl", statements::kLookup).status, LookupStatus::Found);
}

} // namespace
