#pragma once

#include "my_stl_reader.h"

#include <QMatrix4x4>

// Where the cache looks at a model from: the one camera of its pictures, shared by the
// renderer and by whatever must see the facets as the renderer draws them. Slices are shown
// flat on from above, every other model from 60 degrees above the horizon, turned by 41.5
// degrees about its upright axis.
namespace cacheCamera {

// The projection of a width x height picture.
QMatrix4x4 projection(bool slices, int width, int height);
// The eye 2.1 units from the model's centre.
QMatrix4x4 view();
// The model turned to face the eye.
QMatrix4x4 world(bool slices);
// The model's box centred on the origin, its largest extent 1.
QMatrix4x4 fitted(const mySTLReader& reader);

} // namespace cacheCamera
