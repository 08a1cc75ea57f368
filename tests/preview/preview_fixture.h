#pragma once

#include "files.h"
#include "qt_printers.h"
#include "thumbnail_table.h"

#include <QImage>
#include <QString>
#include <QStringList>

#include <optional>

#include <gtest/gtest.h>

// Runs sliced files through the real job: the cache, the log and the pictures live in the
// test process's own data home.
class PreviewJob : public ::testing::Test {
protected:
    void SetUp() override;

    // A sparse file of `size` bytes that starts with `head`.
    QString writeSparse(const QString& name, const QByteArray& head, qint64 size);

    // Initialize's job; S_OK for every sliced file.
    void run(const QString& path);

    std::optional<ThumbnailRow> row(const QString& path);
    // The picture the file's row names; null when there is none.
    QImage picture(const QString& path);
    // The log's entries without their time stamps.
    QStringList logEntries();
    int rowCount();
};

// Colour of the canvas cell (x, y) of a square canvas of `side` after scaling to 400 x 400.
QRgb cell(const QImage& image, int side, int x, int y);

// Whether a cached picture is exactly one of the placeholders.
bool isDamagedPlaceholder(const QImage& picture);
bool isOldVersionPlaceholder(const QImage& picture);

// "There is something wrong with the document\n" + tail.
QString documentIsWrong(const QString& tail);

// "information    :    " + operation + " : " + number + " " + body.
QString report(const char* operation, int number, const QString& body);
