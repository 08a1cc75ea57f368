#include "producers.h"

#include "log.h"

namespace {

class ModuleProducers final : public ThumbnailProducers {
public:
    void extractPreview(const QString& sourcePath, const QString&) override {
        trace(QStringLiteral("no preview reader yet for ") + sourcePath);
    }

    bool renderMesh(const QString& sourcePath, const QString&) override {
        trace(QStringLiteral("no renderer yet for ") + sourcePath);
        return false;
    }
};

} // namespace

ThumbnailProducers& defaultProducers() {
    static ModuleProducers producers;
    return producers;
}
