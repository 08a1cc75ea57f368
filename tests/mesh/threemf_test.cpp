#include "files.h"
#include "log.h"
#include "memory_probes.h"
#include "my_stl_reader.h"
#include "opc_package.h"
#include "preview_picture.h"
#include "preview_suffix.h"
#include "threemf_writer.h"

#include <QBuffer>
#include <QImage>

#include <gtest/gtest.h>

namespace {

QStringList logged;

class ThreeMf : public ::testing::Test {
protected:
    void SetUp() override {
        logged.clear();
        setMemoryStatusSource([](LPMEMORYSTATUSEX status) {
            status->dwMemoryLoad = 10;
            status->ullAvailPhys = 8ull << 30;
            return TRUE;
        });
        setLogSink([](const QString& message) { logged.append(message); });
    }
};

ThreeMfObject meshObject(quint32 id, const QVector<Triangle>& triangles) {
    return {id, triangles, {}, {}};
}

ThreeMfObject assembly(quint32 id, const QVector<ThreeMfReference>& components) {
    return {id, {}, components, {}};
}

QByteArray package(const QVector<ThreeMfObject>& objects, const QVector<ThreeMfReference>& build,
                   bool deflate = true) {
    ThreeMfPackage p;
    p.model = threeMfModel(objects, build);
    p.deflate = deflate;
    return p.bytes();
}

// The package with one entry of its root model part changed.
QByteArray withModelEntry(const QByteArray& model, std::optional<quint32> size,
                          std::optional<quint32> compressed = std::nullopt) {
    ThreeMfPackage p;
    p.model = model;
    QVector<ZipEntry> entries = p.entries();
    entries[2].declaredSize = size;
    entries[2].declaredCompressedSize = compressed;
    return zipArchive(entries);
}

QByteArray picture(const char* format, int width, int height, QRgb colour) {
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QByteArray withThumbnail(const QByteArray& thumbnail, const QByteArray& name = "Metadata/t.png") {
    ThreeMfPackage p;
    p.model = threeMfModel({meshObject(1, cube(1))}, {{1, {}, {}}});
    p.thumbnail = thumbnail;
    p.thumbnailName = name;
    return p.bytes();
}

// What the mesh reader made of a package: triangles, box (low corner, then high), flags, log.
QString outcome(const mySTLReader& r) {
    std::size_t floats = 0;
    for (const VertexChunk& chunk : r.chunks) {
        floats += chunk.size();
    }
    QString text = QString::number(floats / floatsPerFacet(r.withNormals)) + " box";
    for (const float bound : {r.minX, r.minY, r.minZ, r.maxX, r.maxY, r.maxZ}) {
        text += ' ' + QString::number(bound);
    }
    text += QString(r.renderable ? "" : " hidden") + (r.modelValid ? "" : " invalid");
    for (const QString& message : logged) {
        text += " log: " + message;
    }
    return text.replace(kInfoLabel, "").replace(r.filePath, "PATH");
}

struct MeshCase {
    QString name;
    QByteArray bytes;
    QString outcome; // a damaged one is given by its log line alone
};

const QString kUnread = "0 box 3.40282e+38 3.40282e+38 3.40282e+38 -3.40282e+38 -3.40282e+38 "
                        "-3.40282e+38 hidden";

QString damaged(const QString& why) {
    return kUnread + " invalid log: mySTLReader::readThreeMf : 1 " + why + "\nPATH";
}

TEST_F(ThreeMf, ReadsEachPackageToItsOutcome) {
    const QByteArray plain = package({meshObject(1, cube(2))}, {{1, {}, {}}});
    // A component moved by 10 in x inside an item scaled by 2: (p + 10) * 2, never p * 2 + 10.
    const QByteArray nested =
        package({meshObject(1, cube(1)), assembly(2, {{1, "1 0 0 0 1 0 0 0 1 10 0 0", {}}})},
                {{2, "2 0 0 0 2 0 0 0 2 0 0 5", {}}, {1, "0 1 0 -1 0 0 0 0 1 0 0 0", {}}});
    ThreeMfPackage production;
    production.model =
        threeMfModel({assembly(5, {{1, {}, "/3D/Objects/part.model"}})},
                     {{5, {}, {}}, {1, "1 0 0 0 1 0 0 0 1 0 3 0", "/3D/objects/PART.model"}});
    production.extraParts = {
        {"3D/Objects/part.model", threeMfModel({meshObject(1, cube(1))}, {}), true, {}, {}}};
    // A cube under `levels` assemblies, each holding `copies` components of the one below.
    const auto chain = [](quint32 levels, int copies = 1) {
        QVector<ThreeMfObject> objects;
        for (quint32 id = 1; id <= levels; ++id) {
            objects.append(assembly(id, QVector<ThreeMfReference>(copies, {id + 1, {}, {}})));
        }
        objects.append(meshObject(levels + 1, cube(1)));
        return package(objects, {{1, {}, {}}});
    };
    const QByteArray model = threeMfModel({meshObject(1, cube(2))}, {{1, {}, {}}});
    const QByteArray bomb = threeMfModel({meshObject(1, cube(2))}, {{1, {}, {}}}) + "<!--" +
                            QByteArray(20 << 20, ' ') + "-->";
    const QByteArray outOfRange =
        "<vertices><vertex x=\"0\" y=\"0\" z=\"0\"/>"
        "<vertex x=\"1\" y=\"0\" z=\"0\"/><vertex x=\"0\" y=\"1\" z=\"0\"/>"
        "</vertices><triangles><triangle v1=\"0\" v2=\"1\" v3=\"3\"/>"
        "</triangles>";
    // Entities that double ten times over: a kilobyte of text standing for gigabytes.
    QByteArray laughs = "<?xml version=\"1.0\"?><!DOCTYPE model [<!ENTITY l0 \"lol\">";
    for (int i = 1; i <= 30; ++i) {
        laughs += "<!ENTITY l" + QByteArray::number(i) + " \"&l" + QByteArray::number(i - 1) +
                  ";&l" + QByteArray::number(i - 1) + ";\">";
    }
    laughs += "]><model xmlns=\"http://schemas.microsoft.com/3dmanufacturing/core/2015/02\">"
              "<metadata name=\"x\">&l30;</metadata></model>";
    const QVector<MeshCase> cases = {
        {"deflated", plain, "12 box 0 0 0 2 2 2"},
        {"stored", package({meshObject(1, cube(2))}, {{1, {}, {}}}, false), "12 box 0 0 0 2 2 2"},
        {"two items, nested transforms", nested, "24 box -1 0 0 22 2 7"},
        {"production parts, names in any case", production.bytes(), "24 box 0 0 0 1 4 1"},
        {"no build items", package({meshObject(1, cube(2))}, {}), kUnread.chopped(7)},
        {"vertex index out of range", package({{1, {}, {}, outOfRange}}, {{1, {}, {}}}),
         damaged("a triangle names a vertex that does not exist")},
        {"component of itself", package({assembly(1, {{1, {}, {}}})}, {{1, {}, {}}}),
         damaged("a component contains itself")},
        {"cycle of two",
         package({assembly(1, {{2, {}, {}}}), assembly(2, {{1, {}, {}}})}, {{1, {}, {}}}),
         damaged("a component contains itself")},
        {"nesting thousands deep", chain(3000), damaged("components are nested too deeply")},
        {"nesting 64 deep", chain(64), "12 box 0 0 0 1 1 1"},
        {"nesting 65 deep", chain(65), damaged("components are nested too deeply")},
        {"build item names a missing object", package({meshObject(1, cube(1))}, {{7, {}, {}}}),
         damaged("a build item names an object that does not exist")},
        {"component names a missing object", package({assembly(1, {{9, {}, {}}})}, {{1, {}, {}}}),
         damaged("a component names an object that does not exist")},
        {"external part missing",
         package({assembly(1, {{1, {}, "/3D/gone.model"}})}, {{1, {}, {}}}),
         damaged("the package has no part /3D/gone.model")},
        {"bad transform", package({meshObject(1, cube(1))}, {{1, "1 0 0", {}}}),
         damaged("a build item is damaged")},
        // Ten copies of the next object, seven levels: ten million instances of one cube.
        {"components multiply", chain(7, 10),
         kUnread + " log: mySTLReader::readThreeMf : 2 the build makes too many triangles\nPATH"},
        {"zip bomb", withModelEntry(bomb, std::nullopt),
         damaged("the part claims an impossible compression ratio: /3D/3dmodel.model")},
        {"inflates past its declared size", withModelEntry(model, quint32(model.size() - 1)),
         damaged("a part inflates past its declared size")},
        {"inflates short of its declared size", withModelEntry(model, quint32(model.size() + 1)),
         damaged("a part fails its check")},
        {"a model part of gigabytes", withModelEntry(model, 3000000000u, 300000000u),
         kUnread + " log: mySTLReader::readThreeMf : 2 the part is too large: "
                   "/3D/3dmodel.model\nPATH"},
        {"data past the end of the file", withModelEntry(model, std::nullopt, 1u << 30),
         damaged("the part runs past the end of the file: /3D/3dmodel.model")},
        {"truncated archive", plain.left(plain.size() - 30), damaged("no zip directory")},
        {"no XML", withModelEntry("<model><", std::nullopt),
         damaged("the model part ends early: /3D/3dmodel.model")},
        {"empty file", "", kUnread + " invalid"},
        {"a byte changed in a stored part",
         package({meshObject(1, cube(2))}, {{1, {}, {}}}, false)
             .replace("millimeter", "millimetre"),
         damaged("a part fails its check")},
        {"ZIP64 sizes", withModelEntry(model, 0xFFFFFFFFu), damaged("ZIP64 packages are not read")},
        {"entities that multiply", withModelEntry(laughs, std::nullopt),
         damaged("the model part is no XML: Entity expands to more characters than the entity "
                 "expansion limit.")},
    };
    for (const MeshCase& c : cases) {
        logged.clear();
        const QString path = writeSource(c.name + ".3MF", c.bytes);
        const mySTLReader reader(path, true);
        EXPECT_EQ(outcome(reader), c.outcome) << c.name.toStdString();
    }
}

TEST_F(ThreeMf, NormalsFollowTheTransformedCorners) {
    // Mirrored in x, the facet turns over: its normal comes from the corners as placed.
    const QByteArray mirrored = package({meshObject(1, {{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}})},
                                        {{1, "-1 0 0 0 1 0 0 0 1 0 0 0", {}}});
    const mySTLReader reader(writeSource("mirrored.3mf", mirrored), false);
    ASSERT_EQ(reader.chunks.size(), 1u);
    const float* f = reader.chunks[0].data();
    EXPECT_EQ(QVector<float>(f, f + 18),
              QVector<float>({0, 0, 0, 0, 0, -1, -1, 0, 0, 0, 0, -1, 0, 1, 0, 0, 0, -1}));
}

// What the preview path showed: outcome, size, a preview's centre pixel, and the log.
QString shown(const QString& path, int size) {
    PreviewOutcome outcome = PreviewOutcome::Refused;
    const QImage image = previewPicture(path, size, &outcome);
    const char* const outcomes[] = {"preview", "placeholder", "refused"};
    QString text = QStringLiteral("%1 %2x%3")
                       .arg(outcomes[int(outcome)])
                       .arg(image.width())
                       .arg(image.height());
    if (outcome == PreviewOutcome::Preview) {
        text += ' ' + QString::number(image.pixel(image.width() / 2, image.height() / 2), 16);
    }
    for (const QString& message : logged) {
        text += " log: " + message;
    }
    return text.replace(kInfoLabel + "myFileThumbnail::loadThreeMf : ", "").replace(path, "PATH");
}

// Only a package whose thumbnail part is there takes the preview path; then the thumbnail is
// shown, never enlarged, or a placeholder says what is wrong with it.
TEST_F(ThreeMf, ShowsTheThumbnailNeverEnlarged) {
    const QByteArray red = withThumbnail(picture("png", 64, 32, qRgb(255, 0, 0)));
    const QByteArray small = withThumbnail(picture("png", 4, 4, 0));
    ThreeMfPackage dangling;
    dangling.model = threeMfModel({meshObject(1, cube(1))}, {{1, {}, {}}});
    dangling.thumbnail = picture("png", 4, 4, 0);
    QVector<ZipEntry> entries = dangling.entries();
    entries.removeLast();
    const struct {
        QString name;
        QByteArray bytes;
        int size;
        bool previewPath;
        QString shown; // empty: not asked for
    } cases[] = {
        {"smaller than asked.3mf", red, 256, true, "preview 64x64 ffff0000"},
        {"larger than asked.3mf", red, 16, true, "preview 16x16 ffff0000"},
        {"jpeg.3mf", withThumbnail(picture("jpeg", 40, 40, qRgb(0, 0, 255)), "Metadata/t.jpeg"),
         256, true, "preview 40x40 ff0000fe"},
        {"transparent, on the background.3mf", small, 256, true, "preview 4x4 ff00172d"},
        {"declaring 100,000 x 100,000.3mf", withThumbnail(pngDeclaring(100000, 100000)), 256, true,
         "placeholder 256x256 log: 4 the thumbnail declares 100000 x 100000 pixels\nPATH"},
        {"not a picture.3mf", withThumbnail("GIF89a and more"), 256, true,
         "placeholder 256x256 log: 3 the thumbnail is no PNG or JPEG\nPATH"},
        {"thumbnail bomb.3mf", withThumbnail(pngDeclaring(10, 10) + QByteArray(17 << 20, '\0')),
         256, true, "placeholder 256x256 log: 2 the part is too large: /Metadata/t.png\nPATH"},
        {"truncated.3mf", small.left(100), 256, false, "refused 0x0 log: 1 no zip directory\nPATH"},
        {"half.3mf", small.left(small.size() / 2), 256, false, {}},
        {"WITH.3MF", small, 256, true, {}},
        {"without.3mf", package({meshObject(1, cube(1))}, {{1, {}, {}}}), 256, false, {}},
        {"dangling.3mf", zipArchive(entries), 256, false, {}},
        {"package.stl", small, 256, false, {}},
        {"part.lqx", "", 256, true, {}},
    };
    for (const auto& c : cases) {
        logged.clear();
        const QString path = writeSource(c.name, c.bytes);
        EXPECT_EQ(takesPreviewPath(path), c.previewPath) << c.name.toStdString();
        if (!c.shown.isEmpty()) {
            EXPECT_EQ(shown(path, c.size), c.shown) << c.name.toStdString();
        }
    }
}

} // namespace
