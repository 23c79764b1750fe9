// Whether a point set surrounds the centre of a sphere or the axis of a cylinder, the
// condition under which a maximum inscribing element exists.
//
// - enclosesCentre: true when the centre lies strictly inside the convex hull of the
//   points (built with the hull's automatic tolerance); flat or degenerate hulls enclose
//   nothing.
// - enclosesAxis: true when the axis (point, direction; the direction need not be unit
//   length but must not be zero) passes strictly inside the hull of the points projected
//   along it, i.e. the angular gaps between the projected points, seen from the axis,
//   are all below pi. Points on the axis are left out.
// Cost: the hull (expected O(n log h)); the axis test O(n log n) for the sort of angles.
#pragma once

#include "alg3D/matrix/Matrix.h"

namespace alg3D {
namespace approximate {

bool enclosesCentre(const Vec3d* begin, const Vec3d* end, const Vec3d& centre);
bool enclosesAxis(const Vec3d* begin, const Vec3d* end, const Vec3d& point, const Vec3d& direction);

}  // namespace approximate
}  // namespace alg3D
