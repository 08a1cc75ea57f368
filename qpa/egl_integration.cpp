#include "egl_integration.h"

#include "egl_backing_store.h"
#include "egl_context.h"
#include "egl_screen.h"

#include <QtEglSupport/private/qeglconvenience_p.h>
#include <QtEglSupport/private/qeglpbuffer_p.h>
#include <QtEventDispatcherSupport/private/qgenericunixeventdispatcher_p.h>
#include <QtFontDatabaseSupport/private/qgenericunixfontdatabase_p.h>
#include <qpa/qplatformwindow.h>
#include <qpa/qwindowsysteminterface.h>

#include <QOffscreenSurface>
#include <QOpenGLContext>

namespace {

bool hasClientExtension(const char* name) {
    // Client extensions are listed for no display at all; a list of names split by blanks.
    const char* list = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (list == nullptr) {
        return false;
    }
    const QList<QByteArray> names = QByteArray(list).split(' ');
    return names.contains(QByteArray(name));
}

// A configuration that renders desktop OpenGL into pbuffers: the only surfaces the
// surfaceless platform has besides none at all.
bool offersDesktopOpenGL(EGLDisplay display) {
    const EGLint attributes[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE,
                                 EGL_OPENGL_BIT, EGL_NONE};
    EGLConfig config = nullptr;
    EGLint count = 0;
    return eglChooseConfig(display, attributes, &config, 1, &count) == EGL_TRUE && count > 0 &&
           eglBindAPI(EGL_OPENGL_API) == EGL_TRUE;
}

} // namespace

EglIntegration::EglIntegration() : fonts(std::make_unique<QGenericUnixFontDatabase>()) {
    if (!hasClientExtension("EGL_MESA_platform_surfaceless")) {
        return;
    }
    EGLDisplay candidate =
        eglGetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (candidate == EGL_NO_DISPLAY) {
        return;
    }
    EGLint major = 0;
    EGLint minor = 0;
    if (eglInitialize(candidate, &major, &minor) != EGL_TRUE) {
        return;
    }
    if (!offersDesktopOpenGL(candidate)) {
        eglTerminate(candidate);
        return;
    }
    display = candidate;
}

EglIntegration::~EglIntegration() {
    if (screen != nullptr) {
        QWindowSystemInterface::handleScreenRemoved(screen);
    }
    if (display != EGL_NO_DISPLAY) {
        eglTerminate(display);
    }
}

void EglIntegration::initialize() {
    // Qt expects a primary screen even where nothing is shown: offscreen surfaces and
    // images take their default format and resolution from it.
    screen = new EglScreen;
    QWindowSystemInterface::handleScreenAdded(screen, true);
}

bool EglIntegration::hasCapability(Capability capability) const {
    switch (capability) {
    case OpenGL:
    case ThreadedOpenGL:
    case ThreadedPixmaps:
        return true;
    default:
        return QPlatformIntegration::hasCapability(capability);
    }
}

QPlatformWindow* EglIntegration::createPlatformWindow(QWindow* window) const {
    return new QPlatformWindow(window);
}

QPlatformBackingStore* EglIntegration::createPlatformBackingStore(QWindow* window) const {
    return new EglBackingStore(window);
}

QPlatformOpenGLContext* EglIntegration::createPlatformOpenGLContext(QOpenGLContext* context) const {
    const QSurfaceFormat format = context->format();
    // The surfaceless platform has no window surfaces, so the configuration is chosen for
    // pbuffers, which also serves a context made current on no surface at all.
    EGLConfig config = q_configFromGLFormat(display, format, false, EGL_PBUFFER_BIT);
    return new EglContext(format, context->shareHandle(), display, config);
}

QPlatformOffscreenSurface*
EglIntegration::createPlatformOffscreenSurface(QOffscreenSurface* surface) const {
    // With EGL_KHR_surfaceless_context (Mesa has it) this is no pbuffer at all; the
    // renderer draws into framebuffer objects anyway.
    return new QEGLPbuffer(display, surface->requestedFormat(), surface);
}

QPlatformFontDatabase* EglIntegration::fontDatabase() const {
    return fonts.get();
}

QAbstractEventDispatcher* EglIntegration::createEventDispatcher() const {
    return createUnixEventDispatcher();
}
