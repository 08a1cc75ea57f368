#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

// Finds out which OpenGL and GLSL versions the current context really supports, and rewrites
// the renderer's GLSL 1.30 shader sources to suit them. One instance per process; only the
// thread of a renderer job uses it, and renderer jobs never overlap.
class openGLHelper : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString objectName READ objectName NOTIFY objectName_Notify)

public:
    static openGLHelper* instance();

    // Probes the context current on this thread and sets the four members below.
    void init();

    Q_INVOKABLE QString mapShaderS(QString s, bool bVertex);
    // mapShaderS for a built-in 8-bit source.
    QString mapShader(const char* source, bool bVertex);

    QString objectName() const { return objectNameStorage; }

    bool bSupport_GLSL130 = true;
    bool bSupport_GL_EXT = false;
    // major * 16 + minor
    qint32 glVersion = 0x20;
    QString glslVersion = QStringLiteral("110");

    // The highest version code the probe may choose. The context's own version is the real
    // limit; a lower cap lets a test take the legacy shader path on a modern driver.
    qint32 versionCap = 0xFF;

signals:
    void objectName_Notify();

private:
    openGLHelper() = default;

    QString objectNameStorage;
    QByteArray mappedSource;
};
