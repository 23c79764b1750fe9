// Colour scale: a value in [0, 1] and a hue range in degrees to the saturated,
// full-brightness colour of hue (1 - v) * range. With range 240: 0 blue, 0.5 green,
// 1 red. Values outside [0, 1] are clamped; NaN counts as 0.
#pragma once

#include "alg3D/matrix/GLPoint.h"

namespace alg3D {

Color colorScale(double value, double hueRange);

}  // namespace alg3D
