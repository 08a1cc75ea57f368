#pragma once

#include <QString>

// The per-user data folder: the writable generic data location with "/VOXALIS_Thumbnail"
// appended, unless the location already ends in that folder.
QString dataRootFor(const QString& genericDataLocation);

// dataRootFor() applied to the current writable generic data location. On Linux Qt takes it
// from XDG_DATA_HOME, which is how tests give each process its own root; a relative value is
// ignored for ~/.local/share.
QString writableDataRoot();
