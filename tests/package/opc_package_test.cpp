#include "files.h"
#include "opc_package.h"
#include "threemf_writer.h"

#include <gtest/gtest.h>

namespace {

// Reads every part of a package whose parts are `sizes` bytes of text, under a limit of
// `limit` inflated bytes for all of them: what each read gave, "ok" or the package's problem.
QStringList readAll(const QVector<int>& sizes, qint64 limit, bool deflate) {
    QVector<ZipEntry> entries;
    for (int i = 0; i < sizes.size(); ++i) {
        entries.append(
            {"part" + QByteArray::number(i), QByteArray(sizes[i], 'a'), deflate, {}, {}});
    }
    OpcPackage package(writeSource("limited.3mf", zipArchive(entries)), limit);
    QStringList outcomes;
    for (int i = 0; i < sizes.size(); ++i) {
        QByteArray bytes;
        const bool read = package.readPart("/part" + QString::number(i), 1 << 30, bytes);
        outcomes.append(read ? QStringLiteral("ok") : package.problem());
        if (!read) {
            outcomes.last() += package.refusedForSize() ? " (size)" : "";
        }
    }
    return outcomes;
}

// The parts of one package share one budget of inflated bytes, stored or deflated; the part
// that passes it is refused for its size, and every part after it too.
TEST(OpcPackage, PartsShareOneBudgetOfInflatedBytes) {
    const QString over = "the package inflates to more than a thumbnail is worth (size)";
    for (const bool deflate : {true, false}) {
        EXPECT_EQ(readAll({1000, 1000, 1000}, 3000, deflate), QStringList({"ok", "ok", "ok"}));
        EXPECT_EQ(readAll({1000, 1000, 1001}, 3000, deflate), QStringList({"ok", "ok", over}));
        EXPECT_EQ(readAll({3001, 1}, 3000, deflate), QStringList({over, over}));
    }
}

// Relationships name their targets in document order, relative to the source's folder;
// external ones and other types are left out, and a damaged part names what came before
// the damage.
TEST(OpcPackage, RelationshipsNameTheirTargets) {
    const QByteArray head =
        "<Relationships "
        "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
    const QByteArray thumbnail =
        "http://schemas.openxmlformats.org/package/2006/relationships/metadata/thumbnail";
    const struct {
        QByteArray relationships;
        QStringList targets;
    } cases[] = {
        {head + "<Relationship Type=\"" + thumbnail + "\" Target=\"t%20one.png\"/>" +
             "<Relationship Type=\"other\" Target=\"/x.png\"/>" + "<Relationship Type=\"" +
             thumbnail +
             "\" Target=\"http://a/b.png\" "
             "TargetMode=\"External\"/>" +
             "<Relationship Type=\"" + thumbnail + "\" Target=\"../Metadata/../up.png\"/>" +
             "</Relationships>",
         {"/3D/t one.png", "/up.png"}},
        {head + "<Relationship Type=\"" + thumbnail + "\" Target=\"/a.png\"/><oops", {"/a.png"}},
    };
    for (const auto& c : cases) {
        const QString path = writeSource(
            "related.3mf",
            zipArchive({{"3D/_rels/3dmodel.model.rels", c.relationships, true, {}, {}}}));
        OpcPackage package(path);
        EXPECT_EQ(package.relationshipTargets("/3D/3dmodel.model", QString::fromLatin1(thumbnail)),
                  c.targets);
    }
}

} // namespace
