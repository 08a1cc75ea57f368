#pragma once

#include <QString>

// The file of the latest job, which the following GetThumbnail looks up. One value per thread:
// the shell may run providers on several threads, and each must read back its own job's file,
// while one thread's Initialize-then-GetThumbnail order works as before.
extern thread_local QString currentFilePath;
