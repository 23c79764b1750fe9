// Distances of test points from a fitted primitive: line, plane, circle, ellipse,
// superellipse, sphere, cylinder, cone and torus (the fit objects of alg3D/approximate).
//
// Values, one per test point in input order, written to out[0 .. end - begin):
//   line          distance from the line, never negative
//   plane         normal·(x - point), positive on the normal's side
//   sphere        |x - centre| - radius
//   cylinder      distance from the axis minus the radius
//   circle        distance from the axis line (centre, normal) minus the radius
//   ellipse, superellipse
//                 in-plane distance between the projection of x and the nearest curve
//                 point, negative when the projection lies inside the curve
//   cone          distance from the surface (nearer sheet), negative inside
//   torus         distance from the spine circle minus the tube radius (negative inside)
// The geometry and nearest-point routines are the fit objects' own.
// No exceptions. Cost: O(n) (the planar curves a bounded search per point), in parallel
// on `threads` OpenMP threads (0 = all processors).
#pragma once

#include "alg3D/approximate/FitObjForward.h"
#include "alg3D/matrix/GLPoint.h"

namespace alg3D {
namespace algorithm {

template <typename P>
void distancesToPrimitive(const approximate::FitObjLine3D& line, const P* begin, const P* end,
                          double* out, int threads = 0);
template <typename P>
void distancesToPrimitive(const approximate::FitObjPlane& plane, const P* begin, const P* end,
                          double* out, int threads = 0);
template <typename P>
void distancesToPrimitive(const approximate::FitObjCircle3D& circle, const P* begin, const P* end,
                          double* out, int threads = 0);
template <typename P>
void distancesToPrimitive(const approximate::FitObjEllipse3D& ellipse, const P* begin, const P* end,
                          double* out, int threads = 0);
template <typename P>
void distancesToPrimitive(const approximate::FitObjSuperEllipse3D& curve, const P* begin,
                          const P* end, double* out, int threads = 0);
template <typename P>
void distancesToPrimitive(const approximate::FitObjSphere& sphere, const P* begin, const P* end,
                          double* out, int threads = 0);
template <typename P>
void distancesToPrimitive(const approximate::FitObjCylinder& cylinder, const P* begin, const P* end,
                          double* out, int threads = 0);
template <typename P>
void distancesToPrimitive(const approximate::FitObjCone& cone, const P* begin, const P* end,
                          double* out, int threads = 0);
template <typename P>
void distancesToPrimitive(const approximate::FitObjTorus& torus, const P* begin, const P* end,
                          double* out, int threads = 0);

}  // namespace algorithm
}  // namespace alg3D
