#pragma once

#include "thumbnail_table.h"

#include <QString>

#include <gtest/gtest.h>

// A fresh data root with a Qt application for the SQL driver plug-in; every test talks to a
// real thumbnail.db in it.
class CacheTest : public ::testing::Test {
protected:
    void SetUp() override;

    // Builds the job record under dbMutex, as the job driver does.
    bool needsThumbnail(const QString& source);

    // A source file with the given content and modification time.
    QString source(const QString& name, const QByteArray& content, qint64 modified = 1700000000);

    // A picture file in bucket 0 and its row.
    QString pictureWithRow(const QString& source, quint32 thumTime, quint32 fileTime,
                           quint32 fileSize);

    // Writes a row as a producer does, opening the database first.
    void writeRow(const ThumbnailRow& row);

    ThumbnailRow row(const QString& source);
    int rowCount();

    QString root;
};
