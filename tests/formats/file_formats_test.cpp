#include "file_formats.h"
#include "preview_suffix.h"

#include <QString>

#include <iterator>
#include <tuple>

#include <gtest/gtest.h>

// The one literal list of served formats, in registration order: the oracle for the table that
// routing, registration, the desktop files and the fuzz targets are all made from.
TEST(FileFormats, ServeEachSuffixWithItsReaderAndMimeTypeAndRouteSlicedFilesToThePreview) {
    const std::tuple<QString, FormatReader, QString, bool> rows[] = {
        {"stl", FormatReader::Stl, "model/stl", false},
        {"slc", FormatReader::Slc, "model/x-slc", false},
        {"kvrdlp", FormatReader::DlpHead, "application/x-voxalis-kvrdlp", true},
        {"lqx", FormatReader::DlpHead, "application/x-voxalis-lqx", true},
        {"fdg", FormatReader::FdgHead, "application/x-voxalis-fdg", true},
        {"gf", FormatReader::Gf, "application/x-voxalis-gf", true},
        {"photon", FormatReader::DlpHead, "application/x-voxalis-photon", true},
        {"photons", FormatReader::Photons, "application/x-voxalis-photons", true},
        {"svgx", FormatReader::Svgx, "application/x-voxalis-svgx", true},
        {"voxalis", FormatReader::Voxalis, "application/x-voxalis-project", true},
        {"gcode", FormatReader::Gcode, "text/x.gcode", true},
        {"bgcode", FormatReader::Bgcode, "application/x-bgcode", true},
        {"obj", FormatReader::Obj, "model/obj", false},
        {"3mf", FormatReader::ThreeMf, "model/3mf", false},
        {"ply", FormatReader::Ply, "model/x-ply", false}};
    ASSERT_EQ(fileFormats().size(), std::size(rows));
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const FileFormat& format = fileFormats()[i];
        EXPECT_EQ(std::tuple(QString(format.suffix), format.reader, QString(format.mimeType),
                             isPreviewSuffix(QString(format.suffix).toUpper())),
                  rows[i]);
        EXPECT_EQ(formatOfPath(QString("dir.lqx/a.b.") + format.suffix), &format) << format.suffix;
    }
}
