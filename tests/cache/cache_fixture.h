#pragma once

#include "cache_database.h"
#include "db_mutex.h"
#include "files.h"
#include "myfile.h"
#include "picture_store.h"
#include "statements.h"
#include "thumbnail_table.h"

#include <QCoreApplication>
#include <QImage>
#include <QMutexLocker>
#include <QSqlQuery>

#include <gtest/gtest.h>

// A fresh data root with a Qt application for the SQL driver plug-in; every test talks to a
// real thumbnail.db in it.
class CacheTest : public ::testing::Test {
protected:
    void SetUp() override {
        static int argc = 1;
        static char* argv[] = {const_cast<char*>("cache_tests"), nullptr};
        [[maybe_unused]] static auto* app = new QCoreApplication(argc, argv);
        setCacheWaitMilliseconds(50); // before the database opens: no test waits for seconds
    }

    // Builds the job record under dbMutex, as the job driver does; any record opens the cache.
    bool needsThumbnail(const QString& path) {
        QMutexLocker lock(&dbMutex);
        return myFile(path, root).needsThumbnail;
    }

    // Records a source as a job does: the freshness check, then its picture and row.
    QString record(const QString& path) {
        needsThumbnail(path);
        QString picture;
        EXPECT_EQ(savePictureFor(image, imageDir, path, OnLookupFailure::Insert, picture),
                  PictureSave::Saved);
        return picture;
    }

    Lookup lookup(const QString& path) {
        QMutexLocker lock(&dbMutex);
        return lookupThumbnail(path, statements::kLookup);
    }

    QString log() const { return readFile(root + "/VOXALIS_Thumbnail.log"); }

    const QString root = testDataHome() + "/VOXALIS_Thumbnail";
    const QString imageDir = root + "/db/thumbnailImage";
    const QImage image = QImage(2, 2, QImage::Format_RGB32);
};
