#pragma once

#include <qpa/qplatformintegrationplugin.h>

// The entry Qt's plug-in loader finds under the key "voxalis-egl".
class EglIntegrationPlugin : public QPlatformIntegrationPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QPlatformIntegrationFactoryInterface_iid FILE "voxalis-egl.json")
public:
    QPlatformIntegration* create(const QString& key, const QStringList& parameters) override;
};
