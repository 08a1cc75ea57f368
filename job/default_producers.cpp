#include "producers.h"

#include "log.h"
#include "my_file_thumbnail.h"

namespace {

class ModuleProducers final : public ThumbnailProducers {
public:
    void extractPreview(const QString& sourcePath, const QString& dataRoot) override {
        // The constructor does the whole job.
        myFileThumbnail extractor(sourcePath, dataRoot);
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
