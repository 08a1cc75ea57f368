#include "thumbnail_table.h"

#include "cache_database.h"
#include "statements.h"

#include <QFile>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QSqlRecord>

namespace {

// Turns "... '%1', %2 ..." into "... ?, ? ..." and lists which value each "?" takes.
QString toPrepared(const char* text, QVector<int>& order) {
    static const QRegularExpression placeholder(QStringLiteral("'%(\\d)'|%(\\d)"));
    const QString source = QString::fromLatin1(text);
    QString prepared;
    int copied = 0;
    auto it = placeholder.globalMatch(source);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        prepared += source.midRef(copied, m.capturedStart() - copied);
        prepared += QLatin1Char('?');
        const QString number = m.captured(1).isEmpty() ? m.captured(2) : m.captured(1);
        order.append(number.toInt() - 1);
        copied = m.capturedEnd();
    }
    prepared += source.midRef(copied);
    return prepared;
}

bool prepareAndRun(QSqlQuery& query, const char* text, const QVector<QVariant>& values) {
    QVector<int> order;
    if (!query.prepare(toPrepared(text, order))) {
        return false;
    }
    for (int index : order) {
        if (index < 0 || index >= values.size()) {
            return false;
        }
        query.addBindValue(values[index]);
    }
    return query.exec();
}

// SQLite turns the lone surrogates of a path whose file name is no UTF-8 into other
// characters on the way to its UTF-8 text; such a path is stored as its file-system bytes
// instead, a blob that matches only itself and reads back whole.
QVariant stored(const QString& text) {
    return text.isValidUtf16() ? QVariant(text) : QVariant(QFile::encodeName(text));
}

QString textOf(const QVariant& value) {
    return value.type() == QVariant::ByteArray ? QFile::decodeName(value.toByteArray())
                                               : value.toString();
}

Written runStatement(const char* text, const QVector<QVariant>& values) {
    QSqlQuery query(cacheDatabase());
    if (prepareAndRun(query, text, values)) {
        return Written::Done;
    }
    return isBusy(query.lastError()) ? Written::Busy : Written::Failed;
}

} // namespace

Written createThumbnailTable() {
    QSqlQuery query(cacheDatabase());
    if (query.exec(QStringLiteral("select count(*) from sqlite_master where name in "
                                  "('thumbnail', 'sourceChange', 'thumbnailPicture')")) &&
        query.next() && query.value(0).toInt() == 3) {
        return Written::Done;
    }
    for (const char* text :
         {statements::kCreate, statements::kCreateChanges, statements::kCreatePictureIndex}) {
        const Written written = runStatement(text, {});
        if (written != Written::Done) {
            return written;
        }
    }
    return Written::Done;
}

std::optional<FileChangeTimes> lookupSourceChanges(const QString& filePath) {
    QSqlQuery query(cacheDatabase());
    if (!prepareAndRun(query, statements::kChangesLookup, {stored(filePath)}) || !query.next()) {
        return std::nullopt;
    }
    const QSqlRecord record = query.record();
    return FileChangeTimes{query.value(record.indexOf(QStringLiteral("modified"))).toLongLong(),
                           query.value(record.indexOf(QStringLiteral("changed"))).toLongLong()};
}

Written writeSourceChanges(const QString& filePath, const FileChangeTimes& changes) {
    return runStatement(statements::kChangesWrite,
                        {stored(filePath), qint64{changes.modified}, qint64{changes.changed}});
}

Lookup lookupThumbnail(const QString& filePath, const char* text) {
    QSqlQuery query(cacheDatabase());
    // The freshness look-up names its placeholder %2, so the path fills both slots.
    if (!prepareAndRun(query, text, {stored(filePath), stored(filePath)})) {
        return {};
    }
    Lookup result;
    if (!query.next()) {
        result.status = LookupStatus::Missing;
        return result;
    }
    const QSqlRecord record = query.record();
    result.status = LookupStatus::Found;
    result.row.thumPath = textOf(query.value(record.indexOf(QStringLiteral("thumPath"))));
    result.row.thumTime = query.value(record.indexOf(QStringLiteral("thumTime"))).toUInt();
    result.row.filePath = textOf(query.value(record.indexOf(QStringLiteral("filePath"))));
    result.row.fileTime = query.value(record.indexOf(QStringLiteral("fileTime"))).toUInt();
    result.row.fileSize = query.value(record.indexOf(QStringLiteral("fileSize"))).toUInt();
    return result;
}

Written writeThumbnailRow(const ThumbnailRow& row, OnLookupFailure onFailure) {
    const LookupStatus found = lookupThumbnail(row.filePath, statements::kLookup).status;
    if (found == LookupStatus::Failed && onFailure == OnLookupFailure::Skip) {
        return Written::Failed;
    }
    return writeThumbnailRow(row, found);
}

Written writeThumbnailRow(const ThumbnailRow& row, LookupStatus recorded) {
    // Numbers are bound as 64-bit so that an unsigned 32-bit value is stored without a sign.
    const QVariant thumTime = qint64{row.thumTime};
    const QVariant fileTime = qint64{row.fileTime};
    const QVariant fileSize = qint64{row.fileSize};
    if (recorded == LookupStatus::Found) {
        return runStatement(statements::kFullUpdate, {stored(row.thumPath), thumTime, fileTime,
                                                      fileSize, stored(row.filePath)});
    }
    return runStatement(statements::kInsert,
                        {stored(row.thumPath), thumTime, stored(row.filePath), fileTime, fileSize});
}
