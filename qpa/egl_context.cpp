#include "egl_context.h"

#include <QtEglSupport/private/qeglpbuffer_p.h>

#include <QSurface>

EglContext::EglContext(const QSurfaceFormat& format, QPlatformOpenGLContext* share,
                       EGLDisplay display, EGLConfig config)
    : QEGLPlatformContext(format, share, display, &config) {}

EGLSurface EglContext::eglSurfaceForPlatformSurface(QPlatformSurface* surface) {
    // Windows here have no EGL surface; made current on one, the context is surfaceless and
    // draws only into framebuffer objects, as it does on an offscreen surface.
    if (surface->surface()->surfaceClass() == QSurface::Offscreen) {
        return static_cast<QEGLPbuffer*>(surface)->pbuffer();
    }
    return EGL_NO_SURFACE;
}
