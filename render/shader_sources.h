#pragma once

// The renderer's shaders, written once for GLSL 1.30; openGLHelper::mapShader adapts them to
// the version the driver offers. With COLOURED defined they take a colour per vertex
// (attribute "colour") instead of the one blue.
namespace shaders {

// Used without a geometry stage: the reader stores a facet normal after every position.
extern const char kPlainVertex[];
// With a geometry stage (OpenGL 3.3 and later), which computes the facet normal itself.
extern const char kGeometryPathVertex[];
extern const char kGeometry[];
// Both paths: the blue of the tool chain, lit from the front left, with a little specular.
extern const char kFragment[];

} // namespace shaders
