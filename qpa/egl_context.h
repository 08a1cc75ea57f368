#pragma once

#include <QtEglSupport/private/qeglplatformcontext_p.h>

// A desktop OpenGL context on the surfaceless display. Qt's EGL context does the work (API
// binding, version and profile from the requested format, the format read back from the
// driver); only the surface a platform surface stands for is ours to say.
class EglContext : public QEGLPlatformContext {
public:
    EglContext(const QSurfaceFormat& format, QPlatformOpenGLContext* share, EGLDisplay display,
               EGLConfig config);

protected:
    EGLSurface eglSurfaceForPlatformSurface(QPlatformSurface* surface) override;
};
