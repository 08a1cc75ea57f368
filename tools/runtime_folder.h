#pragma once

#include <QString>

// Qt's GUI start-up asks for the freedesktop runtime folder. When XDG_RUNTIME_DIR is unset,
// names no folder, or names one that is not private to us (another owner, a mode other than
// 0700), Qt makes TMPDIR/runtime-USER instead and leaves it there. In a file manager's sandbox
// TMPDIR is OUTPUT's folder, which must hold nothing but OUTPUT afterwards. So XDG_RUNTIME_DIR
// is pointed at a private folder: the given one if it is private, else OUTPUT's folder if that
// is (file managers make it so), else a folder of our own that goes when the program ends,
// however it ends but for SIGKILL.
void keepRuntimeFolderOutOf(const QString& output);

// Removes the folder of our own now, for an exit that skips destructors.
void removeOwnRuntimeFolder();
