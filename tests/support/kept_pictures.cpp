#include "kept_pictures.h"

#include <QDir>
#include <QVector>

#include <cstdio>
#include <utility>

namespace {

QVector<std::pair<QImage, QString>>& kept() {
    static QVector<std::pair<QImage, QString>> pictures;
    return pictures;
}

class KeptPicturesWriter final : public ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo& test) override {
        if (test.result()->Failed() && !kept().isEmpty()) {
            const QDir folder(QStringLiteral(VOXALIS_FAILED_PICTURES));
            folder.mkpath(QStringLiteral("."));
            int n = 0;
            for (const auto& [picture, what] : std::as_const(kept())) {
                const QString name =
                    QStringLiteral("%1.%2-%3-%4.png")
                        .arg(QLatin1String(test.test_suite_name()), QLatin1String(test.name()),
                             QString::number(++n), QString(what).replace(QLatin1Char('/'), '_'));
                const QString path = folder.filePath(name);
                if (!picture.isNull() && picture.save(path)) {
                    std::fprintf(stderr, "picture kept: %s\n", qPrintable(path));
                }
            }
        }
        kept().clear();
    }
};

} // namespace

void keepForFailure(const QImage& picture, const QString& what) {
    kept().append({picture, what});
}

std::unique_ptr<::testing::TestEventListener> keptPicturesWriter() {
    return std::make_unique<KeptPicturesWriter>();
}
