// Radial distance of a point of the plane from a superellipse, and its derivatives
// with respect to the curve's parameters: a cheap stand-in for the Euclidean
// distance of EllipseDistance.h where many rough fits are needed (the start
// search of the superellipse fit on partial arcs).
//
// With the point (X, Y) in the curve's own frame, ρ = |(X, Y)| and
// F = (X²/a²)^(1/k) + (Y²/b²)^(1/k), the curve point on the ray from the centre
// through the point is (X, Y)·F^(−k/2) (the curve is F = 1 and F grows with the
// power 2/k along a ray), so the signed radial distance is ρ·(1 − F^(−k/2)):
// positive outside, negative inside, and equal to the Euclidean distance to first
// order where the ray meets the curve along its normal. Its minimum over a set of
// points lies close to the least-squares one, and it costs a few logarithms and
// exponentials per point instead of a closest-point search.
// Inputs: the curve's parameters (PlanarCurveParams; a, b > 0, k > 0) and the
// point in the plane's 2D frame. Output: the signed distance and its derivatives in
// the order a, b, k, u, v, angle. A point at the centre, or one whose terms
// overflow, gets the distance ρ and zero derivatives (finite everywhere).
// Cost: three logarithms, three exponentials and one square root.
#pragma once

#include "alg3D/approximate/EllipseDistance.h"

namespace alg3D {
namespace approximate {

struct RadialCurveDistance {
    double distance = 0.0;
    double derivative[6] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0};  // a, b, k, u, v, angle
};

// cosAngle and sinAngle are cos(c.angle) and sin(c.angle), computed once per pass
// by the caller.
RadialCurveDistance superEllipseRadialDistance(const PlanarCurveParams& c, double cosAngle,
                                               double sinAngle, double px, double py);

}  // namespace approximate
}  // namespace alg3D
