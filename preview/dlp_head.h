#pragma once

#include <QtGlobal>

// Which head a file of the DLP family starts with; the values are the ones myFileThumbnail
// keeps in `headerKind`.
enum class DlpHead : quint32 {
    Dlp = 0, // DlpHead_t: kvrdlp, lqx, photon
    Fdg = 1, // FdgHead_t: fdg
};
