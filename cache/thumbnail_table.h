#pragma once

#include <QString>
#include <QVariant>
#include <QVector>

#include "platform_services.h"

#include <optional>

// One row of the table "thumbnail".
struct ThumbnailRow {
    QString thumPath; // the PNG, or kErrorThumbPath
    quint32 thumTime = 0;
    QString filePath;
    quint32 fileTime = 0;
    quint32 fileSize = 0;
};

// The row of a file that gets no picture until it changes.
inline const QString kErrorThumbPath = QStringLiteral("error");

enum class LookupStatus { Found, Missing, Failed };

struct Lookup {
    LookupStatus status = LookupStatus::Failed;
    ThumbnailRow row;
};

// Statements run on the calling thread's connection to the cache. Placeholder %N takes the
// Nth value; quoted placeholders ('%N') are text, bare ones numbers. Values are bound, never
// pasted, so no path can change what a statement does.

// What became of a writing statement: Busy when another connection held the database past
// the wait.
enum class Written { Done, Busy, Failed };

// Runs the create statements (the table, the change times beside it, the index of picture
// names) only when one is missing: even "if not exists" waits for the write lock, and they are
// there for all but the first job.
Written createThumbnailTable();

// The change times recorded with a source's row; none for a row without them or when the
// look-up fails. The caller holds dbMutex.
std::optional<FileChangeTimes> lookupSourceChanges(const QString& filePath);
// Records them, replacing any before. The caller holds dbMutex.
Written writeSourceChanges(const QString& filePath, const FileChangeTimes& changes);

// The look-up statement (or the freshness check's twin) for one source path, or the picture
// look-up for one picture path.
Lookup lookupThumbnail(const QString& filePath, const char* text);

// What a producer does when the look-up itself fails: the preview extractor inserts anyway,
// the renderer writes nothing.
enum class OnLookupFailure { Insert, Skip };

// Look-up, then insert or full update. The caller holds dbMutex.
Written writeThumbnailRow(const ThumbnailRow& row, OnLookupFailure onFailure);

// The full update when `recorded` says the source's row is there, else the insert: for a
// caller whose own look-up no other write can have overtaken. The caller holds dbMutex.
Written writeThumbnailRow(const ThumbnailRow& row, LookupStatus recorded);
