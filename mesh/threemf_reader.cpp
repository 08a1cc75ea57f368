#include "my_stl_reader.h"
#include "opc_package.h"
#include "threemf_model.h"

namespace {

constexpr char kOperation[] = "mySTLReader::readThreeMf";

} // namespace

// The model is read and checked whole before a triangle is stored, so a damaged or refused
// package stores nothing.
MeshEnd mySTLReader::readThreeMf() {
    OpcPackage package(filePath);
    ThreeMfModel model;
    ThreeMfResult result = model.read(package, [this] { return sink.guardStops(); });
    if (result == ThreeMfResult::Read) {
        result = model.build(
            [this](const QVector3D& a, const QVector3D& b, const QVector3D& c,
                   const MeshColour* colours) { return sink.appendTriangle(a, b, c, colours); });
    }
    switch (result) {
    case ThreeMfResult::Read:
        return MeshEnd::Finished;
    case ThreeMfResult::Stopped:
        return MeshEnd::Hidden;
    case ThreeMfResult::Damaged:
        sink.informAt(kOperation, 1, model.reason());
        return MeshEnd::Invalid;
    case ThreeMfResult::Refused:
        sink.informAt(kOperation, 2, model.reason());
        return MeshEnd::Hidden;
    }
    return MeshEnd::Invalid;
}
