#include "open_gl_helper.h"
#include "qt_printers.h"
#include "shader_sources.h"

#include <gtest/gtest.h>

namespace {

const QString kBlock = "#ifdef GL_ES \nprecision mediump float;\n#endif\n";

// The probe's outcome, set by hand: these are string rules, no context needed.
class MapShader : public ::testing::Test {
protected:
    void probed(const char* glsl, bool glsl130, bool ext) {
        helper->glslVersion = QString::fromLatin1(glsl);
        helper->bSupport_GLSL130 = glsl130;
        helper->bSupport_GL_EXT = ext;
    }
    openGLHelper* helper = openGLHelper::instance();
};

TEST_F(MapShader, ModernVersionsOnlyGetTheirVersionLine) {
    probed("330", true, false);
    const QString vertex = helper->mapShaderS(shaders::kPlainVertex, true);
    EXPECT_TRUE(vertex.startsWith("#version 330\n" + kBlock));
    EXPECT_EQ(vertex.mid(QString("#version 330").size()),
              QString(shaders::kPlainVertex).mid(QString("#version 130").size()));
    probed("400", true, false);
    EXPECT_TRUE(helper->mapShaderS(shaders::kFragment, false).contains(kBlock));
}

TEST_F(MapShader, FromGlsl410ThePrecisionBlockGoes) {
    for (const char* glsl : {"410", "450", "460"}) {
        probed(glsl, true, false);
        const QString fragment = helper->mapShaderS(shaders::kFragment, false);
        EXPECT_TRUE(fragment.startsWith(QString("#version %1\nin highp vec3 vert;").arg(glsl)))
            << glsl;
        EXPECT_FALSE(fragment.contains("GL_ES")) << glsl;
        EXPECT_TRUE(fragment.contains("out highp vec4 fragColor;")) << glsl;
    }
}

TEST_F(MapShader, LegacyVersionWithTheExtensionKeepsVertexId) {
    probed("120", false, true);
    const QString source =
        "#version 130\nin vec4 vertex;\nout vec3 vert;\nfloat id = gl_VertexID;\n";
    EXPECT_EQ(helper->mapShaderS(source, true),
              "#version 120\n#extension GL_EXT_gpu_shader4:require\n\nattribute vec4 vertex;\n"
              "varying vec3 vert;\nfloat id = gl_VertexID;\n");
}

TEST_F(MapShader, LegacyVersionWithoutTheExtensionLosesVertexId) {
    probed("110", false, false);
    const QString source = "#version 130\nin vec4 vertex;\nfloat id = gl_VertexID;\n";
    EXPECT_EQ(helper->mapShaderS(source, true),
              "#version 110\nattribute vec4 vertex;\nfloat id = 0.0;\n");
}

TEST_F(MapShader, LegacyFragmentWritesGlFragColor) {
    probed("120", false, false);
    const QString fragment = helper->mapShaderS(shaders::kFragment, false);
    EXPECT_TRUE(fragment.contains("varying highp vec3 vert;"));
    EXPECT_TRUE(fragment.contains("//out highp vec4 gl_FragColor;"));
    EXPECT_TRUE(fragment.contains("    gl_FragColor = vec4(col + specular, 1.0);"));
    EXPECT_FALSE(fragment.contains("\nin "));
    EXPECT_EQ(helper->mapShaderS("out vec4 fragColor;\n", false), "//out vec4 gl_FragColor;\n");
}

TEST_F(MapShader, NothingCompiledStripsTheVersionLine) {
    probed("", false, false);
    const QString vertex = helper->mapShaderS(shaders::kPlainVertex, true);
    EXPECT_TRUE(vertex.startsWith("\n" + kBlock + "attribute highp vec4 vertex;"));
    EXPECT_FALSE(vertex.contains("#version"));
}

TEST_F(MapShader, ReplacementsAlsoHitTheEndsOfLongerWords) {
    probed("", false, false);
    EXPECT_EQ(helper->mapShaderS("layout (triangles) in;\nlayout (max_vertices = 3) out;\n", true),
              "layvarying (triangles) in;\nlayvarying (max_vertices = 3) out;\n");
    EXPECT_EQ(helper->mapShaderS("vec4 main_in vec;", true), "vec4 main_attribute vec;");
}

TEST_F(MapShader, ByteSourcesGoThroughTheSameRules) {
    probed("120", false, false);
    EXPECT_EQ(helper->mapShader(shaders::kFragment, false),
              helper->mapShaderS(shaders::kFragment, false));
}

} // namespace
