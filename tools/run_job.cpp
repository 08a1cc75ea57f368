// Runs the thumbnail job on each file named on the command line and prints what the cache now
// holds for it: the stand-in for the shell until the COM surface is in place.

#include "current_file_path.h"
#include "db_mutex.h"
#include "module_handle.h"
#include "statements.h"
#include "thumbnail_job.h"
#include "thumbnail_table.h"

#include <QFileInfo>
#include <QMutexLocker>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE...\n", argv[0]);
        return 2;
    }
    // This program is its own module: the job needs an attached module to run.
    moduleHandle = GetModuleHandleW(nullptr);
    int failures = 0;
    for (int i = 1; i < argc; ++i) {
        const QString path = QFileInfo(QString::fromLocal8Bit(argv[i])).absoluteFilePath();
        const std::wstring wide = path.toStdWString();
        const HRESULT result = runThumbnailJob(wide.c_str());
        QMutexLocker lock(&dbMutex);
        const Lookup found = lookupThumbnail(currentFilePath, statements::kLookup);
        const QString picture =
            found.status == LookupStatus::Found ? found.row.thumPath : QStringLiteral("(no row)");
        std::printf("%-60s hr=%d  %s\n", qPrintable(path), static_cast<int>(result),
                    qPrintable(picture));
        failures += found.status == LookupStatus::Found ? 0 : 1;
    }
    return failures == 0 ? 0 : 1;
}
