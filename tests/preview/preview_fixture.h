#pragma once

#include "db_mutex.h"
#include "dlp_writer.h"
#include "files.h"
#include "kept_pictures.h"
#include "log.h"
#include "module_handle.h"
#include "placeholder_images.h"
#include "rle16_writer.h"
#include "statements.h"
#include "thumbnail_job.h"
#include "thumbnail_table.h"

#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QRegularExpression>

#include <gtest/gtest.h>

// Runs sliced files through the real job: the cache, the log and the pictures live in the
// test process's own data home.
class PreviewJob : public ::testing::Test {
protected:
    void SetUp() override { moduleHandle = GetModuleHandleW(nullptr); }

    // A sparse file of `size` bytes that starts with `head`.
    QString writeSparse(const QString& name, const QByteArray& head, qint64 size) {
        const QString path = writeSource(name, head);
        EXPECT_TRUE(QFile(path).resize(size));
        return path;
    }

    // Initialize's job; S_OK for every sliced file.
    void run(const QString& path) {
        EXPECT_EQ(runThumbnailJob(path.toStdWString().c_str()), S_OK) << qPrintable(path);
    }

    // Runs the job on the next numbered file with the test's `suffix`, sparse up to `size`.
    QString ran(const QByteArray& bytes, qint64 size = 0) {
        const QString path = writeSparse(QString::number(++numbered) + suffix, bytes,
                                         qMax<qint64>(size, bytes.size()));
        run(path);
        return path;
    }

    std::optional<ThumbnailRow> row(const QString& path) {
        QMutexLocker lock(&dbMutex);
        const Lookup found = lookupThumbnail(path, statements::kLookup);
        return found.status == LookupStatus::Found ? std::optional(found.row) : std::nullopt;
    }

    // The picture the file's row names; null when there is none.
    QImage picture(const QString& path) {
        const QImage cached(row(path).value_or(ThumbnailRow{}).thumPath);
        keepForFailure(cached, QFileInfo(path).fileName());
        return cached;
    }

    // The log's entries without their time stamps.
    QStringList logEntries() {
        static const QRegularExpression stamp(
            QStringLiteral("^\\d{1,2}:\\d{1,2}:\\d{1,2} \\d\\d\\.\\d\\d\\.\\d{4}   "));
        return QString::fromLocal8Bit(readFile(settledDataRoot() + "/VOXALIS_Thumbnail.log"))
            .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)
            .replaceInStrings(stamp, QString());
    }

    const char* suffix = ".lqx";
    int numbered = 0;
};

// The placeholder `make` fills in, and whether a cached picture is exactly that one.
inline QImage placeholder(void (*make)(QImage&)) {
    QImage image;
    make(image);
    return image;
}

inline bool isPlaceholder(const QImage& picture, void (*make)(QImage&)) {
    return picture.convertToFormat(QImage::Format_ARGB32) == placeholder(make);
}

inline QString documentIsWrong(const QString& tail) {
    return QStringLiteral("There is something wrong with the document\n") + tail;
}

// "information    :    " + operation + " : " + number + " " + body.
inline QString report(const char* operation, int number, const QString& body) {
    return kInfoLabel + logLocation(QLatin1String(operation), number) + body;
}

// A DLP file whose preview is twice as wide as high, the first half of its pixels keyed and
// the rest silhouette (grey 193: the run flag is part of the colour), with `field` then set
// to `value`: the default leaves the file consistent.
template <typename Field = int, typename Value = int>
QByteArray dlp(int height, Field DlpFile::*field = &DlpFile::headerKind, Value value = 0,
               int headerKind = 0) {
    const QByteArray picture =
        Rle16Writer().run(0, height * height).run(0x8410, height * height).bytes();
    DlpFile file{headerKind, 2 * height, height, picture, {}, {}, {}, {}, {}};
    file.*field = value;
    return file.bytes();
}
