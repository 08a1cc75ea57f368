#pragma once

#include <QtGlobal>

#include <array>

// A corner's colour as the renderer uploads it: red, green, blue and alpha bytes, in sRGB as
// 3MF and PLY give them. Alpha is kept but not blended: a picture shows the part opaque.
using MeshColour = std::array<quint8, 4>;
// The one colour of a model whose file gives none, and of the facets a coloured file leaves
// without one.
constexpr MeshColour kModelColour = {40, 164, 230, 255};
