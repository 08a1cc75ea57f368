#pragma once

#include <vector>

// Declared only: the table itself builds without Qt, for the Windows check's DLL.
class QString;

// Which reader makes a file's picture.
enum class FormatReader {
    DlpHead,
    FdgHead,
    Photons,
    Gf,
    Svgx,
    Voxalis,
    Gcode,
    Bgcode,
    ThreeMf,
    Stl,
    Slc,
    Obj,
    Ply
};

struct FileFormat {
    const char* suffix; // lower case, no dot
    FormatReader reader;
    const char* mimeType;
    const char* description;
};

// Every served format, in registration order.
const std::vector<FileFormat>& fileFormats();

// The row whose suffix matches case-insensitively, or nullptr.
const FileFormat* formatOfSuffix(const QString& suffix);
// By QFileInfo(path).suffix(): the part after the last dot of the file name.
const FileFormat* formatOfPath(const QString& path);

// Readers that decode a picture embedded in a sliced file (DlpHead..Bgcode). ThreeMf is both
// (a preview when the package holds a thumbnail, else a mesh) and answers false, as do the
// mesh readers Stl, Slc, Obj and Ply.
bool readsEmbeddedPreview(FormatReader reader);
