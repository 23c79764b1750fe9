// Chebyshev (minimax, minimum zone) fits: method 2 of ParamFitGeometry.
//
// approximateChebyshev, for every fit object: minimises the largest absolute deviation of
// the points from the shape by the damped linear minimax iteration of
// ChebyshevScheme-inl.h.
//  - circle, ellipse, superellipse, sphere, cylinder, cone, torus: from the shape's
//    Levenberg-Marquardt fit (same cap, no weighting); Fixed parameters stay fixed.
//  - plane (at least 3 points): on the vertices of the convex hull (tolerance 1e-6),
//    from the thinnest slab of a hull facet; the result is the central plane of the
//    minimum zone. All points on one line or one point: "geometry approximation
//    failed.\n".
//  - line (at least 2 points): the axis of the thinnest enclosing cylinder, on the hull
//    vertices, from the best hull-edge direction (see minimaxLineStart); all five states
//    become Given. Collinear points give their line.
// Returns the iterations (the index of the stopping iteration, or maxIterations).
// Errors: "not enough data for geometry approximation.\n" below the minimum count;
// "geometry approximation failed.\n" when a linear program fails. An abort stops before
// the next linear program and keeps the last accepted parameters.
// Cost per iteration: a Jacobian and a dense simplex over n + m rows (n the points, or
// the hull vertices for plane and line).
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "alg3D/approximate/FitFramework.h"
#include "alg3D/matrix/Matrix.h"

namespace alg3D {
namespace approximate {

class FitObjLine3D;
class FitObjPlane;

template <class FitObj>
std::uint64_t approximateChebyshev(const Vec3d* begin, const Vec3d* end, FitObj& fitObj,
                                   std::uint64_t maxIterations, const std::atomic<bool>& abort,
                                   std::atomic<float>& progress);

std::uint64_t approximateChebyshev(const Vec3d* begin, const Vec3d* end, FitObjPlane& fitObj,
                                   std::uint64_t maxIterations, const std::atomic<bool>& abort,
                                   std::atomic<float>& progress);

std::uint64_t approximateChebyshev(const Vec3d* begin, const Vec3d* end, FitObjLine3D& fitObj,
                                   std::uint64_t maxIterations, const std::atomic<bool>& abort,
                                   std::atomic<float>& progress);

// The minimax line of points (the axis of their thinnest enclosing cylinder), on the
// hull vertices. Start: every hull edge (each once) is a candidate direction; the hull
// vertices are projected on the plane across it through their centroid and the smallest
// enclosing ball of the projections gives a radius; the smallest radius wins and gives
// the start direction and point (the ball's centre). Hulls with more than 4096 edges use
// 4096 of them, evenly spread. requireHull: fail with "geometry approximation
// failed.\n" when the points have no hull (all on a line or a point) instead of
// returning the points' own line. progress is not reset: the start adds up to half of
// progressSpan to it, the iteration the other half (the caller sets 0 and 100). An abort
// stops the start (the best candidate so far is used) or the iteration (the last
// accepted axis is kept); the radius always belongs to the returned axis.
struct MinimaxLineResult {
    Vec3d point;
    Vec3d direction;
    double radius = 0.0;  // largest distance of a point from the line
    std::uint64_t iterations = 0;
};
MinimaxLineResult minimaxLine(const Vec3d* begin, const Vec3d* end, std::uint64_t maxIterations,
                              const std::atomic<bool>& abort, std::atomic<float>& progress,
                              bool requireHull, float progressSpan = 100.0f);

}  // namespace approximate
}  // namespace alg3D
