#include "cache_camera.h"

namespace cacheCamera {

namespace {

constexpr float kDistance = 2.1f;
constexpr float kFieldOfView = 45.0f;

} // namespace

QMatrix4x4 projection(bool slices, int width, int height) {
    QMatrix4x4 projection;
    if (slices) {
        // One model unit to half the side (200 pixels of 400): the fitted model spans at most
        // one unit, so it always fits. Depth keeps its scale, so the model stays between the
        // planes at any side.
        projection.ortho(-width / 2.0f, width / 2.0f, -height / 2.0f, height / 2.0f, -100.0f,
                         1000.0f);
        projection.scale(width / 2.0f, height / 2.0f, 200.0f);
    } else {
        projection.perspective(kFieldOfView, static_cast<float>(width) / height, 0.01f, 2000.0f);
    }
    return projection;
}

QMatrix4x4 view() {
    QMatrix4x4 view;
    view.translate(0, 0, -kDistance);
    return view;
}

QMatrix4x4 world(bool slices) {
    QMatrix4x4 world;
    if (slices) {
        world.rotate(-90.0f, 1, 0, 0);
    } else {
        world.rotate(-60.0f, 1, 0, 0);
        world.rotate(41.5f, 0, 0, 1);
    }
    return world;
}

QMatrix4x4 fitted(const mySTLReader& reader) {
    QMatrix4x4 model;
    model.scale(static_cast<float>(1.0 / double(reader.maxExtent)));
    model.translate(-(reader.maxX + reader.minX) / 2, -(reader.maxY + reader.minY) / 2,
                    -(reader.maxZ + reader.minZ) / 2);
    return model;
}

} // namespace cacheCamera
