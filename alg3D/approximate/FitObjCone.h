// Least-squares cone: the axis, opening angle and radius that minimise the sum of
// squared orthogonal distances of the points from the cone surface.
//
// Inputs: at least 8 points (Vec3d), start values and a ParamState per parameter.
// Parameters in Jacobian order: opening angle; radius at the axis point; axis point
// x, y, z; angle 1, angle 2 (turns of the local frame about its own first and second
// axes, see RotationFrame; the frame's third axis is the cone axis).
// Geometry: with h the position along `direction` measured from `point`, the surface
// has the radius radius + h·tan(angle), i.e. `angle` is the angle between the axis
// and the surface lines, positive when the radius grows along `direction`. The
// surface is the whole double cone; a point's distance is taken to the nearer sheet.
// The point's position along the axis is free, so a trailing gauge row ties it to
// the centroid of the points.
// Outputs: the fields below; angleToAxis() and radiusAtPoint() give the opening angle
// and radius of the sheet through `point`. Errors: "not enough data for geometry
// approximation.\n" from the estimate below 8 points.
// Estimate: the axis from the same candidates as the cylinder's plus the axis of the
// algebraic quadric through the points, each scored by how well a cone with that
// axis fits (AxisEstimate.h); the opening angle and radius from the straight line
// of the distance from the axis over the position along it, so that steep cone
// sections start near their cone rather than as a cylinder.
// Cost: the estimate is O(n) plus work on a subsample of at most about 2000 points;
// each iteration O(n).
#pragma once

#include <atomic>
#include <cstddef>

#include "alg3D/approximate/FitFramework.h"
#include "alg3D/matrix/DMatrix.h"
#include "alg3D/matrix/Matrix.h"

namespace alg3D {
namespace approximate {

class FitObjCone {
  public:
    enum Parameter : std::size_t {
        kAngle = 0,
        kRadius,
        kPointX,
        kPointY,
        kPointZ,
        kAngle1,
        kAngle2,
        kNumParameters
    };
    static constexpr std::size_t kMinPoints = 8;

    double angle = 0.0;              // opening angle (axis to surface line), radians
    double radius = 1.0;             // radius in the plane across the axis through `point`
    Vec3d point;                     // a point on the axis
    Vec3d direction{0.0, 0.0, 1.0};  // unit axis direction, the frame's third axis
    RotationFrame frame;             // local frame; its third axis is `direction`
    Vec3d centroid;                  // mean of the points, for the gauge row
    ParamState state[kNumParameters] = {Estimate, Estimate, Estimate, Estimate,
                                        Estimate, Estimate, Estimate};

    // Start values with their state (Estimate, Given or Fixed). A direction is
    // normalised and sets both angle state; the zero vector defines no axis and
    // leaves the direction to the estimate.
    void setPoint(const Vec3d& p, ParamState s);
    void setDirection(const Vec3d& d, ParamState s);
    void setRadius(double r, ParamState s);
    void setAngle(double a, ParamState s);

    // The angle between the axis and the surface lines (radians, positive when the
    // radius grows along `direction`) and the radius in the plane across the axis
    // through `point`, for the sheet that passes through that plane. They equal
    // `angle` and `radius` unless the iteration left a negative radius, which
    // describes the same surface with the opposite angle.
    double angleToAxis() const { return radius < 0.0 ? -angle : angle; }
    double radiusAtPoint() const { return radius < 0.0 ? -radius : radius; }

    // Fit-object contract (FitFramework.h).
    // An abort (optional flag) ends the passes over the points early and leaves the
    // estimate's fields unspecified; the caller drops an aborted run's object.
    void estimateInitial(const Vec3d* begin, const Vec3d* end,
                         const std::atomic<bool>* abort = nullptr);
    std::size_t numFreeParameters() const;
    std::size_t numResidualRows(std::size_t n) const { return n + 1; }
    void buildJacobian(const Vec3d* begin, const Vec3d* end, DMatrix& J, DMatrix& r, bool weighting,
                       const std::atomic<bool>* abort = nullptr) const;
    void computeResiduals(const Vec3d* begin, const Vec3d* end, DMatrix& r, bool weighting,
                          const std::atomic<bool>* abort = nullptr) const;
    // Adds the step; the whole step is halved while it would take the opening angle
    // to a right angle or beyond. A negative radius is turned into the same surface
    // with a positive radius when neither radius nor angle is Fixed.
    void applyStep(const DMatrix& delta);

    // Distance from the surface (never negative).
    double deviation(const Vec3d& p) const;
    // The point of the surface nearest to p; for a point on the axis, a surface point
    // in the direction of the frame's first axis.
    Vec3d nearestPoint(const Vec3d& p) const;

    // Residual of one point, deviation(p), and its derivatives with respect to all
    // kNumParameters parameters (the Jacobian row before Fixed ones are dropped).
    // A point on the surface gets the derivatives of the signed distance.
    double residualAndGradient(const Vec3d& p, double* gradient) const;
};

}  // namespace approximate
}  // namespace alg3D
