#include "open_gl_helper.h"
#include "qt_printers.h"

#include <gtest/gtest.h>

namespace {

// The probe's outcome set by hand: these are string rules, no context needed. The source has
// every construct a rule touches; plain replacements also hit the ends of longer words.
TEST(MapShader, SourceIsRewrittenForTheProbedVersion) {
    const QString block = "#ifdef GL_ES \nprecision mediump float;\n#endif\n";
    const QString body = "in vec4 v;\nout highp vec4 fragColor;\nout vec4 fragColor;\n"
                         "layout (x) main_in id = gl_VertexID;\n";
    const QString oldVertex = "attribute vec4 v;\nvarying highp vec4 fragColor;\n"
                              "varying vec4 fragColor;\nlayvarying (x) main_attribute id = %1;\n";
    const QString oldFragment =
        "varying vec4 v;\n//out highp vec4 gl_FragColor;\n"
        "//out vec4 gl_FragColor;\nlayout (x) main_varying id = gl_VertexID;\n";
    // The probed GLSL version, whether it is 1.30 or later, whether the extension compiled, a
    // vertex shader or not, and what comes out.
    const std::tuple<const char*, bool, bool, bool, QString> cases[] = {
        // Desktop compilers refuse the precision block from 4.10 on.
        {"400", true, false, false, "#version 400\n" + block + body},
        {"410", true, false, false, "#version 410\n" + body},
        {"120", false, true, true,
         "#version 120\n#extension GL_EXT_gpu_shader4:require\n\n" + block +
             oldVertex.arg("gl_VertexID")},
        {"110", false, false, true, "#version 110\n" + block + oldVertex.arg("0.0")},
        {"120", false, false, false, "#version 120\n" + block + oldFragment},
        // Nothing compiled: no version line.
        {"", false, false, true, "\n" + block + oldVertex.arg("0.0")},
    };
    openGLHelper* helper = openGLHelper::instance();
    for (const auto& [glsl, glsl130, ext, vertex, want] : cases) {
        std::tie(helper->glslVersion, helper->bSupport_GLSL130, helper->bSupport_GL_EXT) =
            std::tuple(QString(glsl), glsl130, ext);
        EXPECT_EQ(helper->mapShader(("#version 130\n" + block + body).toLatin1(), vertex), want)
            << glsl;
    }
}

} // namespace
