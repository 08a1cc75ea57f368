#include "file_formats.h"

const std::vector<FileFormat>& fileFormats() {
    // CMake makes the rows from formats.txt at configure time.
    static const std::vector<FileFormat> formats = {
#include "file_format_rows.inc"
    };
    return formats;
}

bool readsEmbeddedPreview(FormatReader reader) {
    switch (reader) {
    case FormatReader::DlpHead:
    case FormatReader::FdgHead:
    case FormatReader::Photons:
    case FormatReader::Gf:
    case FormatReader::Svgx:
    case FormatReader::Voxalis:
    case FormatReader::Gcode:
    case FormatReader::Bgcode:
        return true;
    case FormatReader::ThreeMf:
    case FormatReader::Stl:
    case FormatReader::Slc:
    case FormatReader::Obj:
    case FormatReader::Ply:
        return false;
    }
    return false;
}
