// Start axis of the shapes of revolution with a straight generator (cylinder,
// cone) for their least-squares fits.
//
// Inputs: a subsample of the points (at most about 2000, see estimateSubsample) and
// candidate axis directions. For each candidate the axis point is found: for the
// cylinder as the centre of the circle of the points projected on the plane across
// it (Gauss–Newton, 50 iterations, no weighting), for the cone by an algebraic cone
// fit with that axis direction (linear least squares). The distances of the points
// from the axis through that point are then fitted by a straight line over the
// position along the axis (the cone's generator; slope 0 for the cylinder), and
// the candidate is scored by the standard deviation of the distances of the points
// from the surface this defines.
// Outputs: the best candidate with its axis point (the circle centre), the circle's
// radius, and the line's slope and intercept. No exceptions for at least 3 points.
// Cost: O(candidates · 50 · points); the candidates run in parallel.
#pragma once

#include <atomic>
#include <cstddef>
#include <vector>

#include "alg3D/approximate/FitFramework.h"
#include "alg3D/matrix/Matrix.h"

namespace alg3D {
namespace approximate {

// Every (n / 1000)-th point (integer division; every point below 1000 points).
std::vector<Vec3d> estimateSubsample(const Vec3d* begin, std::size_t n);

// The three principal axes of the covariance of the points about c and the four
// diagonals between them: no direction is more than about 35 degrees from one.
std::vector<Vec3d> principalCandidateAxes(const std::vector<Vec3d>& points, const Vec3d& c);

// Axis of the quadric fitted algebraically to the points (smallest singular vector
// of the design matrix): the eigenvector of its quadratic part whose eigenvalue
// stands apart from the other two, as for a circular cone or cylinder. For a cone
// section this is close to the axis where the principal axes are not. False when
// the result is not a finite unit vector.
bool quadricAxis(const std::vector<Vec3d>& points, const Vec3d& c, Vec3d& axis);

// Start values the candidates' circles begin from, and the generator's slope.
struct AxisStart {
    Vec3d point;  // start of the circle centre unless Estimate
    ParamState pointState = Estimate;
    double radius = 0.0;  // start of the circle radius unless Estimate
    ParamState radiusState = Estimate;
    bool cone = false;      // axis point by the algebraic cone fit, not a circle
    bool fitSlope = false;  // fit the slope (cone) or keep `slope`
    double slope = 0.0;     // d(distance from axis)/d(position along axis)
};

struct AxisFit {
    Vec3d direction;         // unit candidate direction
    Vec3d point;             // circle centre, on the axis
    double radius = 0.0;     // circle radius
    double slope = 0.0;      // of the distance from the axis along `direction`
    double intercept = 0.0;  // distance from the axis in the plane across it through `point`
    double score = 0.0;      // standard deviation of the distances from the surface
};

// The best of the candidates (at least one) for the points (at least 3). Once `abort`
// is set the candidates' circle fits stop at their next check and the result is
// meaningless (the caller drops it).
AxisFit bestAxis(const std::vector<Vec3d>& points, const std::vector<Vec3d>& candidates,
                 const AxisStart& start, const std::atomic<bool>* abort = nullptr);

}  // namespace approximate
}  // namespace alg3D
