#pragma once

#include "picture_sides.h"

#include <QRgb>
#include <QString>

// Sliced files are read only up to 500 MiB: a preview lives near the start, and anything
// larger is not a file the tool chain writes.
constexpr qint64 kFileSizeLimit = 524288000;

// The dark blue that previews are painted on and keyed pixels become.
constexpr QRgb kBackgroundColour = 0xFF00172D;

// Largest preview side any reader accepts; larger values mean a damaged header.
constexpr int kMaxPreviewSide = 10000;

// The message shared by the readers' inconsistency exits.
inline const QString kDocumentIsWrong =
    QStringLiteral("There is something wrong with the document");
