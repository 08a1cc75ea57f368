#pragma once

#include <QDateTime>
#include <QString>

#include "platform_services.h"

// What a row remembers of its source: the modification time in whole seconds since 1970 and
// the size, both as unsigned 32-bit numbers; beside the row, the change times that tell an
// edit within the same second at the same size, or an old time put back, from no change. A
// row is stale once any of them differs.
struct SourceStamp {
    quint32 time = 0;
    quint32 size = 0;
    FileChangeTimes changes;
};

// Seconds since 1970 as a row stores them. A time before 1970 or after 2106 is held at the
// nearer end of the range instead of wrapping, so that it reads back as the number it is
// compared with.
quint32 storedSeconds(const QDateTime& time);

// The file's stamp now; a missing file has time and size 0.
SourceStamp stampOf(const QString& path);

// The stamp the freshness check on this thread took of `path` before any producer read the
// file. The producers of the job record that one: a file that changes while it is read (a copy
// still under way) then shows as stale at the next request instead of keeping a picture, or an
// error, of its unfinished state.
void rememberCheckedStamp(const QString& path, const SourceStamp& stamp);

// The stamp remembered for `path` on this thread, or the file's stamp now when the last check
// here was of another file.
SourceStamp stampToRecord(const QString& path);
