#include "egl_integration_plugin.h"

#include "egl_integration.h"

#include <memory>

QPlatformIntegration* EglIntegrationPlugin::create(const QString& key, const QStringList&) {
    if (key.compare(QLatin1String("voxalis-egl"), Qt::CaseInsensitive) != 0) {
        return nullptr;
    }
    // Refusing here, rather than failing later, lets Qt go on to the next platform of the
    // list (offscreen) on a machine without Mesa's surfaceless EGL.
    auto integration = std::make_unique<EglIntegration>();
    return integration->usable() ? integration.release() : nullptr;
}
