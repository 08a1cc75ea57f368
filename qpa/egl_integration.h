#pragma once

#include <qpa/qplatformintegration.h>

#include <QtEglSupport/private/qt_egl_p.h>

#include <memory>

class EglScreen;

// Desktop OpenGL through EGL on Mesa's surfaceless platform: no X or Wayland connection and
// no render node needed (Mesa falls back to llvmpipe). Offscreen surfaces and contexts are
// all it really serves; windows exist only so that nothing in Qt trips over a missing one.
class EglIntegration : public QPlatformIntegration {
public:
    EglIntegration();
    ~EglIntegration() override;

    // The display is initialised and offers desktop OpenGL.
    bool usable() const { return display != EGL_NO_DISPLAY; }

    void initialize() override;
    bool hasCapability(Capability capability) const override;
    QPlatformWindow* createPlatformWindow(QWindow* window) const override;
    QPlatformBackingStore* createPlatformBackingStore(QWindow* window) const override;
    QPlatformOpenGLContext* createPlatformOpenGLContext(QOpenGLContext* context) const override;
    QPlatformOffscreenSurface*
    createPlatformOffscreenSurface(QOffscreenSurface* surface) const override;
    QPlatformFontDatabase* fontDatabase() const override;
    QAbstractEventDispatcher* createEventDispatcher() const override;

private:
    EGLDisplay display = EGL_NO_DISPLAY;
    EglScreen* screen = nullptr; // owned by Qt once added
    std::unique_ptr<QPlatformFontDatabase> fonts;
};
