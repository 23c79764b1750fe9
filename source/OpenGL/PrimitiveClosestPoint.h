// Closest points of the primitive shapes, each in the shape's local frame (axis or
// normal along +z, as the tessellations of PrimitiveMesh.h): the answer of the primitive
// objects' nearestPoint, which takes the query into that frame and the result back.
//
// Inputs: the query point q (local coordinates) and the shape's sizes. Output: the point
// of the shape closest to q (exact up to rounding; the ellipse and superellipse outlines
// through the fits' closest-point routines). Shapes and their point sets:
//   segment      from the origin to (0, 0, length)
//   disc         the filled circle of radius r in z = 0
//   ellipse, superellipse
//                the filled area in z = 0 (the objects draw them filled): q's projection
//                when it falls inside, else the closest outline point
//   sphere       radius r around the origin
//   tube         the cylinder mantle of radius r between z = 0 and z = height (open)
//   cone         the mantle between radius rBottom at z = 0 and rTop at z = height
//                (radii of either sign, as in PrimitiveMesh.h; open)
//   torus        spine circle r1 in z = 0, tube radius r2 (r1 ≥ r2)
// Where the closest point is not unique (q on an axis, at a centre) one of them is
// returned: the one in the local +x direction.
// Errors: none. Cost: constant (the superellipse: about 40 power evaluations).
#pragma once

#include "alg3D/matrix/Matrix.h"

namespace primitive_closest {

alg3D::Vec3d segment(const alg3D::Vec3d& q, double length);
alg3D::Vec3d disc(const alg3D::Vec3d& q, double radius);
alg3D::Vec3d ellipseArea(const alg3D::Vec3d& q, double a, double b, double angle);
alg3D::Vec3d superEllipseArea(const alg3D::Vec3d& q, double a, double b, double angle, double eps);
alg3D::Vec3d sphere(const alg3D::Vec3d& q, double radius);
alg3D::Vec3d tube(const alg3D::Vec3d& q, double radius, double height);
alg3D::Vec3d cone(const alg3D::Vec3d& q, double rBottom, double rTop, double height);
alg3D::Vec3d torus(const alg3D::Vec3d& q, double r1, double r2);

}  // namespace primitive_closest
