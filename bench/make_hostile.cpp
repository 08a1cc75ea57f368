// Writes the hostile and unlucky files that bench/hostile measures, each from our own writers:
// small files that stand for minutes or gigabytes of work, and large ones that must cost no
// more than they hold.
//
//   make_hostile FOLDER [--large]
//
// --large adds the files of gigabytes on paper (the OBJ of 1.3 GB is written out; the SLC of
// 2 GB is sparse).

#include "jpeg_writer.h"
#include "mesh_writers.h"
#include "threemf_writer.h"
#include "voxalis_writer.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>

#include <cstdio>

namespace {

const QByteArray kRelationshipsHead =
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
const QByteArray kModelRelationship =
    "<Relationship Target=\"/3D/3dmodel.model\" Id=\"rel0\" "
    "Type=\"http://schemas.microsoft.com/3dmanufacturing/2013/01/3dmodel\"/>";
const QByteArray kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
const QByteArray kModelHead =
    kDeclaration + "<model unit=\"millimeter\" "
                   "xmlns=\"http://schemas.microsoft.com/3dmanufacturing/core/2015/02\" "
                   "xmlns:p=\"http://schemas.microsoft.com/3dmanufacturing/production/2015/06\">";

bool write(const QDir& folder, const QString& name, const QByteArray& bytes) {
    QFile file(folder.filePath(name));
    const bool written = file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    std::printf("%-28s %12lld bytes\n", qPrintable(name), static_cast<long long>(bytes.size()));
    return written;
}

QByteArray cubeModel() {
    return threeMfModel({{1, cube(1), {}, {}}}, {{1, {}, {}}});
}

// A model of a cube with `filler` inside its root element, where the reader parses it.
QByteArray cubeModelHolding(const QByteArray& filler) {
    QByteArray model = cubeModel();
    return model.insert(model.indexOf("<resources>"), filler);
}

// One entity under the per-entity limit, referenced `references` times: 1 in the package's
// relationships, else in the model part.
QByteArray entities(int references, bool inRelationships) {
    const QByteArray doctype = "<!DOCTYPE x [<!ENTITY e \"" + QByteArray(4000, 'e') + "\">]>";
    const QByteArray many = QByteArray("&e;").repeated(references);
    ThreeMfPackage package;
    package.model = cubeModel();
    QVector<ZipEntry> entries = package.entries();
    if (inRelationships) {
        entries[1].data = doctype + kRelationshipsHead + kModelRelationship +
                          "<Relationship Target=\"" + many + "\" Id=\"x\" Type=\"t\"/>" +
                          "</Relationships>";
    } else {
        entries[2].data = kDeclaration + doctype + kModelHead.mid(kDeclaration.size()) +
                          "<metadata name=\"m\">" + many +
                          "</metadata><resources/><build/></model>";
    }
    return zipArchive(entries);
}

// The root model names `parts` parts, every directory entry pointing at one local header and
// a mebibyte of XML: small enough to pass the ratio check alone.
QByteArray sharedParts(int parts) {
    QVector<ThreeMfReference> components;
    for (int i = 0; i < parts; ++i) {
        components.append({1, {}, "/3D/p" + QByteArray::number(i) + ".model"});
    }
    ThreeMfPackage package;
    package.model = threeMfModel({{2, {}, components, {}}}, {{2, {}, {}}});
    QVector<ZipEntry> entries = package.entries();
    QByteArray part = threeMfModel({{1, cube(1), {}, {}}}, {});
    part.insert(part.indexOf("<resources>"), QByteArray((1 << 20) - 4096, ' '));
    entries.append({"3D/p0.model", part, true, {}, {}});
    const int shared = entries.size() - 1;
    for (int i = 1; i < parts; ++i) {
        ZipEntry entry{"3D/p" + QByteArray::number(i) + ".model", {}, true, {}, {}};
        entry.sharesDataOf = shared;
        entries.append(entry);
    }
    return zipArchive(entries);
}

// A package whose root model part is `model`, its declared compressed size padded up to where
// the declared ratio (250 to 1) passes: zeros after the deflate stream.
QByteArray paddedToTheRatio(const DeflatedData& model) {
    ThreeMfPackage package;
    QVector<ZipEntry> entries = package.entries();
    entries[2].deflated = model;
    entries[2].padding = QByteArray(int(model.size / 250) - model.stream.size() + 1, '\0');
    return zipArchive(entries);
}

// Just under a gibibyte of the model part's text behind a stream of about a megabyte.
QByteArray padded() {
    return paddedToTheRatio(deflateRepeated(kModelHead + "<resources>", QByteArray(1024, ' '),
                                            (1 << 20) - 1, "</resources><build/></model>"));
}

// 64 MiB of comment in the model part's root element.
QByteArray longComment() {
    const QByteArray model = cubeModelHolding("<!--@-->");
    const int at = model.indexOf('@');
    return paddedToTheRatio(
        deflateRepeated(model.left(at), QByteArray(1024, ' '), 1 << 16, model.mid(at + 1)));
}

// One attribute of just under a gibibyte.
QByteArray longAttribute() {
    return paddedToTheRatio(deflateRepeated(kModelHead + "<metadata name=\"", QByteArray(1024, 'a'),
                                            (1 << 20) - 1, "\"/><resources/><build/></model>"));
}

// One object of 32 triangles, 1,024 components of it, 1,023 of those: 2^20 instances.
QByteArray instances() {
    const QVector<Triangle> triangles = cube(1) + cube(1, {2, 0, 0}) + cube(1, {0, 2, 0}).mid(0, 8);
    ThreeMfPackage package;
    package.model = threeMfModel({{1, triangles, {}, {}},
                                  {2, {}, QVector<ThreeMfReference>(1024, {1, {}, {}}), {}},
                                  {3, {}, QVector<ThreeMfReference>(1023, {2, {}, {}}), {}}},
                                 {{3, {}, {}}});
    return package.bytes();
}

// The package thumbnail: a progressive 4096 x 4096 JPEG of one DC scan and 470,000 AC scans,
// deflated in the package.
QByteArray jpegBomb() {
    ThreeMfPackage package;
    package.model = cubeModel();
    package.thumbnail = "x";
    package.thumbnailName = "Metadata/thumbnail.jpeg";
    QVector<ZipEntry> entries = package.entries();
    entries.last() = {"Metadata/thumbnail.jpeg", progressiveJpeg(4096, 4096, 470000), true, {}, {}};
    return zipArchive(entries);
}

// A thumbnail relationship that names `part`, or a thumbnail that is `bytes`.
QByteArray thumbnailNaming(const QByteArray& part, const QByteArray& bytes = {}) {
    ThreeMfPackage package;
    package.model = cubeModel();
    package.thumbnail = bytes.isEmpty() ? QByteArray("x") : bytes;
    QVector<ZipEntry> entries = package.entries();
    if (bytes.isEmpty()) {
        entries.removeLast();
        entries[1].data.replace("/Metadata/thumbnail.png", part);
    }
    return zipArchive(entries);
}

QByteArray cutPng() {
    QImage image(300, 200, QImage::Format_ARGB32);
    image.fill(qRgb(200, 10, 10));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes.left(bytes.size() / 2);
}

bool writeVertexLines(const QString& path, qint64 bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    const QByteArray block = QByteArray("v 1.234567 2.345678 3.456789\n").repeated(1 << 15);
    for (qint64 written = 0; written < bytes; written += block.size()) {
        if (file.write(block) != block.size()) {
            return false;
        }
    }
    std::printf("%-28s %12lld bytes\n", qPrintable(QFileInfo(path).fileName()),
                static_cast<long long>(file.size()));
    return true;
}

bool writeSparseSlc(const QString& path) {
    SlcFile slc;
    slc.samples = QVector<SlcSample>(255, {0.0f, 0.1f});
    for (int i = 0; i < 255; ++i) {
        slc.samples[i].minZ = float(i);
    }
    slc.endMarker = false;
    QFile file(path);
    const bool written = file.open(QIODevice::WriteOnly) && file.write(slc.bytes()) > 0 &&
                         file.resize(qint64(2) << 30);
    std::printf("%-28s %12lld bytes (sparse)\n", qPrintable(QFileInfo(path).fileName()),
                static_cast<long long>(file.size()));
    return written;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: make_hostile FOLDER [--large]\n");
        return 1;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    QDir().mkpath(folder.path());
    VoxalisFile project;
    project.width = project.height = 10000;
    project.picture = QByteArray("\x20\x00\xff\x0f", 4);
    const bool written =
        write(folder, "h1-entities-rels.3mf", entities(300000, true)) &&
        write(folder, "h1-entities-model.3mf", entities(250000, false)) &&
        write(folder, "h2-shared-parts.3mf", sharedParts(4096)) &&
        write(folder, "h3-padded.3mf", padded()) &&
        write(folder, "h4-comment.3mf", longComment()) &&
        write(folder, "h5-instances.3mf", instances()) &&
        write(folder, "h6-attribute.3mf", longAttribute()) &&
        write(folder, "h7-jpeg-scans.3mf", jpegBomb()) &&
        write(folder, "m6-thumbnail-model.3mf", thumbnailNaming("/3D/3dmodel.model")) &&
        write(folder, "m6-thumbnail-rels.3mf", thumbnailNaming("/_rels/.rels")) &&
        write(folder, "m6-thumbnail-cut.3mf", thumbnailNaming({}, cutPng())) &&
        write(folder, "m6-thumbnail-50000.3mf", thumbnailNaming({}, pngDeclaring(50000, 50000))) &&
        write(folder, "m7-huge.voxalis", project.bytes());
    if (!written) {
        return 1;
    }
    if (argc > 2 && QByteArray(argv[2]) == "--large") {
        return writeVertexLines(folder.filePath("h8-vertices.obj"), qint64(1300) << 20) &&
                       writeSparseSlc(folder.filePath("h9-sparse.slc"))
                   ? 0
                   : 1;
    }
    return 0;
}
