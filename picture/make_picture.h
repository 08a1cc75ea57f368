#pragma once

#include <QImage>
#include <QString>

// The picture of one file at `size` pixels, for a client that keeps its own cache (a desktop
// thumbnailer): no database, no data folder, no picture folders. Routes by suffix as the job
// does: a preview, a rendered mesh, a placeholder or the empty picture. A file that is not a
// regular file or cannot be read is refused before it is opened, so a FIFO or a device never
// blocks a read. A file name that is no UTF-8 is opened by its bytes once the caller has called
// keepFileNamesWhole, which must come before it turns its arguments into paths. A null image
// means refused; the reason went to writeLog. Meshes need a QGuiApplication.
QImage makePicture(const QString& sourcePath, int size);
