// Least-squares cylinder: the radius and axis that minimise the sum of squared
// orthogonal distances of the points from the cylinder surface.
//
// Inputs: at least 7 points (Vec3d), start values and a ParamState per parameter.
// Parameters in Jacobian order: radius; axis point x, y, z; angle 1, angle 2 (turns
// of the local frame about its own first and second axes, see RotationFrame; the
// frame's third axis is the cylinder axis). The point's position along the axis is
// free, so a trailing gauge row ties it to the centroid of the points.
// Outputs: the fields below. Errors: "not enough data for geometry approximation.\n"
// from the estimate below 7 points.
// Cost: the estimate fits seven circles to a subsample of at most about 2000 points;
// each iteration is O(n) with a constant number of operations per point.
#pragma once

#include <atomic>
#include <cstddef>

#include "alg3D/approximate/FitFramework.h"
#include "alg3D/matrix/DMatrix.h"
#include "alg3D/matrix/Matrix.h"

namespace alg3D {
namespace approximate {

class FitObjCylinder {
  public:
    enum Parameter : std::size_t {
        kRadius = 0,
        kPointX,
        kPointY,
        kPointZ,
        kAngle1,
        kAngle2,
        kNumParameters
    };
    static constexpr std::size_t kMinPoints = 7;

    double radius = 1.0;             // radius of the surface
    Vec3d point;                     // a point on the axis
    Vec3d direction{0.0, 0.0, 1.0};  // unit axis direction, the frame's third axis
    RotationFrame frame;             // local frame; its third axis is `direction`
    Vec3d centroid;                  // mean of the points, for the gauge row
    ParamState state[kNumParameters] = {Estimate, Estimate, Estimate, Estimate, Estimate, Estimate};

    // Start values with their state (Estimate, Given or Fixed). A direction is
    // normalised and sets both angle state; the zero vector defines no axis and
    // leaves the direction to the estimate.
    void setPoint(const Vec3d& p, ParamState s);
    void setDirection(const Vec3d& d, ParamState s);
    void setRadius(double r, ParamState s);

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
    void applyStep(const DMatrix& delta);

    // Signed distance from the surface: distance from the axis minus the radius
    // (positive outside).
    double deviation(const Vec3d& p) const;
    // The point of the surface nearest to p; for a point on the axis, the surface
    // point in the direction of the frame's first axis.
    Vec3d nearestPoint(const Vec3d& p) const;

    // Residual of one point, |deviation(p)|, and its derivatives with respect to all
    // kNumParameters parameters (the Jacobian row before Fixed ones are dropped).
    // A point on the surface gets the derivatives of the signed distance.
    double residualAndGradient(const Vec3d& p, double* gradient) const;
};

}  // namespace approximate
}  // namespace alg3D
