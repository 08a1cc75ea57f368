#include "preview_fixture.h"

#include "cache_database.h"
#include "db_mutex.h"
#include "files.h"
#include "log.h"
#include "module_handle.h"
#include "placeholder_images.h"
#include "statements.h"
#include "thumbnail_job.h"

#include <QFile>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QSqlQuery>

void PreviewJob::SetUp() {
    moduleHandle = GetModuleHandleW(nullptr);
}

QString PreviewJob::writeSparse(const QString& name, const QByteArray& head, qint64 size) {
    const QString path = writeSource(name, head);
    QFile file(path);
    EXPECT_TRUE(file.resize(size));
    return path;
}

void PreviewJob::run(const QString& path) {
    EXPECT_EQ(runThumbnailJob(path.toStdWString().c_str()), S_OK) << qPrintable(path);
}

std::optional<ThumbnailRow> PreviewJob::row(const QString& path) {
    QMutexLocker lock(&dbMutex);
    const Lookup found = lookupThumbnail(path, statements::kLookup);
    if (found.status != LookupStatus::Found) {
        return std::nullopt;
    }
    return found.row;
}

QImage PreviewJob::picture(const QString& path) {
    const auto stored = row(path);
    return stored ? QImage(stored->thumPath) : QImage();
}

QStringList PreviewJob::logEntries() {
    static const QRegularExpression stamp(
        QStringLiteral("^\\d{1,2}:\\d{1,2}:\\d{1,2} \\d\\d\\.\\d\\d\\.\\d{4}   "));
    QStringList entries;
    const QString text = QString::fromLocal8Bit(readFile(dataRoot() + "/VOXALIS_Thumbnail.log"));
    for (QString entry : text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
        entries.append(entry.remove(stamp));
    }
    return entries;
}

int PreviewJob::rowCount() {
    QMutexLocker lock(&dbMutex);
    QSqlQuery query(cacheDatabase());
    return query.exec(QStringLiteral("select count(*) from thumbnail")) && query.next()
               ? query.value(0).toInt()
               : -1;
}

QRgb cell(const QImage& image, int side, int x, int y) {
    const int scale = 400 / side;
    return image.pixel(x * scale + scale / 2, y * scale + scale / 2);
}

QString report(const char* operation, int number, const QString& body) {
    return kInfoLabel + logLocation(QLatin1String(operation), number) + body;
}

bool isDamagedPlaceholder(const QImage& picture) {
    QImage damaged;
    makeDamagedFileImage(damaged);
    return picture.convertToFormat(QImage::Format_ARGB32) == damaged;
}

bool isOldVersionPlaceholder(const QImage& picture) {
    QImage oldVersion;
    makeOldVersionImage(oldVersion);
    return picture.convertToFormat(QImage::Format_ARGB32) == oldVersion;
}

QString documentIsWrong(const QString& tail) {
    return QStringLiteral("There is something wrong with the document\n") + tail;
}
