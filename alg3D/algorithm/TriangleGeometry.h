// Triangle geometry for the triangle k-d tree and the mesh distances.
//
// closestPointOnTriangle: the point of triangle (a, b, c) nearest to p, found by
//   classifying p against the Voronoi regions of the corners, the edges and the
//   face. Every comparison against zero uses a tolerance of 1e-10 relative to the
//   triangle's size (its longest edge squared, or that squared again for the
//   region values), so points just off a region boundary snap to the corner or
//   edge and the result does not depend on the unit of length. Triangles without usable
//   area (coincident or collinear corners) are treated as their three edges,
//   which the region tests cannot classify. Cost: O(1).
// enclosingSphereCentre: centre of the smallest sphere that encloses the three
//   corners (circumcentre for acute triangles, midpoint of the longest edge
//   otherwise, centre of the bounding box for degenerate triangles). Cost: O(1).
//
// Neither function throws; non-finite input gives non-finite output.
#pragma once

#include "alg3D/matrix/Matrix.h"

namespace alg3D {
namespace algorithm {

Vec3d closestPointOnTriangle(const Vec3d& p, const Vec3d& a, const Vec3d& b, const Vec3d& c);

Vec3d enclosingSphereCentre(const Vec3d& p0, const Vec3d& p1, const Vec3d& p2);

// Unit normal (v1 - v0) x (v2 - v0) of a triangle, or the zero vector when the
// triangle has no area.
Vec3d triangleNormal(const Vec3d& v0, const Vec3d& v1, const Vec3d& v2);

}  // namespace algorithm
}  // namespace alg3D
