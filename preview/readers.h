#pragma once

// The readers of the sliced formats. Each opens its file, reads what it needs and says what
// it made of it; none logs, records or saves (see ReaderResult).

#include "dlp_head.h"
#include "preview_target.h"
#include "reader_result.h"

#include <QString>

ReaderResult readDlpFamily(const QString& path, DlpHead kind, const PreviewTarget& target);
ReaderResult readPhotons(const QString& path, const PreviewTarget& target);
ReaderResult readGf(const QString& path, const PreviewTarget& target);
ReaderResult readSvgx(const QString& path, const PreviewTarget& target);
ReaderResult readVoxalis(const QString& path, const PreviewTarget& target);
// The preview blocks of a text G-code and the thumbnail blocks of a binary one: the picture
// that best serves the target's side, in its own shape.
ReaderResult readGcode(const QString& path, const PreviewTarget& target);
ReaderResult readBgcode(const QString& path, const PreviewTarget& target);
// The plate picture of a 3MF package.
ReaderResult readThreeMfThumbnail(const QString& path, const PreviewTarget& target);
