// Least-squares torus: the centre, axis, major radius r1 (of the spine circle) and
// minor radius r2 (of the tube) that minimise the sum of squared orthogonal
// distances of the points from the torus surface.
//
// Inputs: at least 7 points (Vec3d), start values and a ParamState per parameter.
// Parameters in Jacobian order: r1; r2; centre x, y, z; angle 1, angle 2 (turns of
// the local frame about its own first and second axes, see RotationFrame; the
// frame's third axis is the torus axis). No gauge row: the torus has no free
// position.
// Outputs: the fields below. Errors: "not enough data for geometry approximation.\n"
// from the estimate below 7 points.
// Cost: the estimate is a circle fit of at most 50 Gauss–Newton iterations plus one
// pass; each iteration O(n).
#pragma once

#include <atomic>
#include <cstddef>

#include "alg3D/approximate/FitFramework.h"
#include "alg3D/matrix/DMatrix.h"
#include "alg3D/matrix/Matrix.h"

namespace alg3D {
namespace approximate {

class FitObjTorus {
  public:
    enum Parameter : std::size_t {
        kR1 = 0,
        kR2,
        kCenterX,
        kCenterY,
        kCenterZ,
        kAngle1,
        kAngle2,
        kNumParameters
    };
    static constexpr std::size_t kMinPoints = 7;

    double r1 = 1.0;                 // major radius: radius of the spine circle
    double r2 = 0.5;                 // minor radius: radius of the tube
    Vec3d center;                    // centre of the spine circle
    Vec3d direction{0.0, 0.0, 1.0};  // unit axis direction, the frame's third axis
    RotationFrame frame;             // local frame; its third axis is `direction`
    // Outlier weighting of the spine-circle fit inside the estimate; the fit command
    // sets it to the run's weighting setting.
    bool weighting = false;
    ParamState state[kNumParameters] = {Estimate, Estimate, Estimate, Estimate,
                                        Estimate, Estimate, Estimate};

    // Start values with their state (Estimate, Given or Fixed). A direction is
    // normalised and sets both angle state; the zero vector defines no axis and
    // leaves the direction to the estimate.
    void setCenter(const Vec3d& c, ParamState s);
    void setDirection(const Vec3d& d, ParamState s);
    void setRadius1(double r, ParamState s);
    void setRadius2(double r, ParamState s);

    // Fit-object contract (FitFramework.h). The estimate fits the spine circle, takes
    // r2 as the mean distance of the points from it and swaps r1 and r2 when r2 comes
    // out larger (unless either of them is Fixed).
    // An abort (optional flag) ends the passes over the points early and leaves the
    // estimate's fields unspecified; the caller drops an aborted run's object.
    void estimateInitial(const Vec3d* begin, const Vec3d* end,
                         const std::atomic<bool>* abort = nullptr);
    std::size_t numFreeParameters() const;
    std::size_t numResidualRows(std::size_t n) const { return n; }
    void buildJacobian(const Vec3d* begin, const Vec3d* end, DMatrix& J, DMatrix& r, bool weighting,
                       const std::atomic<bool>* abort = nullptr) const;
    void computeResiduals(const Vec3d* begin, const Vec3d* end, DMatrix& r, bool weighting,
                          const std::atomic<bool>* abort = nullptr) const;
    void applyStep(const DMatrix& delta);

    // Distance from the surface (never negative).
    double deviation(const Vec3d& p) const;
    // The point of the surface nearest to p. A point on the axis takes the meridian
    // plane of the frame's first axis; a point on the spine circle the outermost
    // point of the tube.
    Vec3d nearestPoint(const Vec3d& p) const;

    // Residual of one point, deviation(p), and its derivatives with respect to all
    // kNumParameters parameters (the Jacobian row before Fixed ones are dropped).
    // A point on the surface gets the derivatives of the signed distance.
    double residualAndGradient(const Vec3d& p, double* gradient) const;
};

}  // namespace approximate
}  // namespace alg3D
