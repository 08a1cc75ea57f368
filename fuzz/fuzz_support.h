#pragma once

#include <QByteArray>
#include <QString>

// What every fuzz target shares: a private data home with an open cache, and one scratch
// file per process that each input is written to, so inputs run through the same code as a
// thumbnail job.
struct FuzzEnvironment {
    QString dataRoot;
    QString scratchFolder;
};

// Set up once per process.
const FuzzEnvironment& fuzzEnvironment();

// Writes the input to scratch file "input.<suffix>" and returns its path.
QString writeInput(const QByteArray& bytes, const char* suffix);
