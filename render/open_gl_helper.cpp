#include "open_gl_helper.h"

#include "log.h"

#include <QLoggingCategory>
#include <QOpenGLContext>
#include <QOpenGLShader>

namespace {

// The probe's version lines go to the toolkit's debug output under a category of their own,
// so a host can silence them (the thumbnailer does) without silencing Qt.
Q_LOGGING_CATEGORY(lcProbe, "voxalis.gl.probe")

struct GlslCandidate {
    qint32 versionCode;
    const char* glsl;
};

// Tried from the last row up: the highest version the context offers and the driver compiles.
constexpr GlslCandidate kCandidates[] = {{0x20, "110"}, {0x21, "120"}, {0x30, "130"}, {0x31, "140"},
                                         {0x32, "150"}, {0x33, "330"}, {0x40, "400"}, {0x41, "410"},
                                         {0x42, "420"}, {0x43, "430"}, {0x44, "440"}, {0x45, "450"},
                                         {0x46, "460"}};

// GLSL 1.30 is the first version with in/out and user-defined fragment outputs.
constexpr qint32 kGlsl130 = 0x30;
// From GLSL 4.10 desktop compilers refuse the GL_ES precision block.
constexpr int kLastVersionWithPrecisionBlock = 400;

} // namespace

openGLHelper* openGLHelper::instance() {
    // Created on first use, never destroyed: the probe outlives every renderer.
    static openGLHelper* const helper = new openGLHelper;
    return helper;
}

void openGLHelper::init() {
    QOpenGLContext* context = QOpenGLContext::currentContext();
    if (context == nullptr) {
        trace(QStringLiteral("openGLHelper::init without a current context"));
        return;
    }
    const QSurfaceFormat format = context->format();
    const qint32 contextVersion = format.majorVersion() * 16 + format.minorVersion();
    glVersion = contextVersion;
    bSupport_GLSL130 = false;

    QOpenGLShader test(QOpenGLShader::Vertex);
    QString chosen;
    for (int row = int(std::size(kCandidates)) - 1; row >= 0; --row) {
        const GlslCandidate& candidate = kCandidates[row];
        if (candidate.versionCode > contextVersion || candidate.versionCode > versionCap) {
            continue;
        }
        const bool valid = test.compileSourceCode(
            QStringLiteral("#version %1\nvoid main(){}").arg(QLatin1String(candidate.glsl)));
        qCDebug(lcProbe, "=======Version: %s valid: %s", candidate.glsl, valid ? "true" : "false");
        if (valid) {
            bSupport_GLSL130 = candidate.versionCode >= kGlsl130;
            glVersion = candidate.versionCode;
            chosen = QLatin1String(candidate.glsl);
            break;
        }
    }
    bSupport_GL_EXT = false;
    glslVersion = chosen;
    if (!bSupport_GLSL130 && !glslVersion.isEmpty()) {
        bSupport_GL_EXT = test.compileSourceCode(
            QStringLiteral("#version %1\n#extension GL_EXT_gpu_shader4:require\nvoid main(){}")
                .arg(glslVersion));
    }
}

QString openGLHelper::mapShaderS(QString s, bool bVertex) {
    const QString versionLine = QStringLiteral("#version 130");
    if (glslVersion.isEmpty()) {
        s.remove(versionLine);
    } else if (!bSupport_GLSL130 && bSupport_GL_EXT) {
        s.replace(versionLine,
                  QStringLiteral("#version %1\n#extension GL_EXT_gpu_shader4:require\n")
                      .arg(glslVersion));
    } else {
        s.replace(versionLine, QStringLiteral("#version %1").arg(glslVersion));
        if (glslVersion.toInt() > kLastVersionWithPrecisionBlock) {
            s.remove(QStringLiteral("#ifdef GL_ES \nprecision mediump float;\n#endif\n"));
        }
    }
    if (bSupport_GLSL130) {
        return s;
    }
    // GLSL 1.10 and 1.20 spell in and out the old way. Plain replacements: longer words that
    // end the same way change too, which the built-in sources allow for.
    if (bVertex) {
        s.replace(QStringLiteral("in "), QStringLiteral("attribute "));
        s.replace(QStringLiteral("out "), QStringLiteral("varying "));
        if (!bSupport_GL_EXT) {
            s.replace(QStringLiteral("gl_VertexID"), QStringLiteral("0.0"));
        }
    } else {
        s.replace(QStringLiteral("in "), QStringLiteral("varying "));
        s.replace(QStringLiteral("out highp vec4 fragColor"),
                  QStringLiteral("//out highp vec4 fragColor"));
        s.replace(QStringLiteral("out vec4 fragColor"), QStringLiteral("//out vec4 fragColor"));
        s.replace(QStringLiteral("fragColor"), QStringLiteral("gl_FragColor"));
    }
    return s;
}

QString openGLHelper::mapShader(const char* source, bool bVertex) {
    mappedSource = mapShaderS(QString::fromLatin1(source), bVertex).toLatin1();
    return QString::fromLatin1(mappedSource);
}
