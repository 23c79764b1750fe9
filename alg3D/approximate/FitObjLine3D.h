// Least-squares line in space: the line minimising the sum of squared orthogonal
// distances of the points.
//
// Parameters in Jacobian order: point x, y, z; angle 1, angle 2 (turns of the
// frame about its own first and second axes, see RotationFrame; the direction is
// the frame's third axis). A gauge row ties the point's position along the line to
// the centroid: residual 0, derivative of direction·(point − centroid).
// Deviation of a point p: its distance from the line (never negative). The
// iteration carries that distance as its two components across the line (rows
// 2i and 2i + 1 of J and r, then the gauge row): their squares add up to the
// squared distance, so the sum of squares, the optimum and the outlier weighting
// (applied to the distances) are those of the distance. The distance as a single
// row would give Gauss-Newton only half the curvature across the line (the
// distance's own second derivative times the distance is as large as the
// Jacobian term, whatever the noise), so from any start off the optimum the
// steps would jump twice as far as they should: the iteration bounces around the
// optimum for noise all round the line and diverges for flat noise.
// Inputs: at least 2 points. Outputs: point, direction (unit).
// Errors: "not enough data for geometry approximation.\n" below 2 points.
// Cost: O(n) per Jacobian or residual pass, parallel over points.
#pragma once

#include <atomic>
#include <cstddef>

#include "alg3D/approximate/FitFramework.h"
#include "alg3D/matrix/DMatrix.h"
#include "alg3D/matrix/Matrix.h"

namespace alg3D {
namespace approximate {

class FitObjLine3D {
  public:
    // Indices into state[] (the Jacobian order before Fixed ones are skipped).
    enum Parameter : std::size_t {
        kPointX = 0,
        kPointY = 1,
        kPointZ = 2,
        kAngle1 = 3,
        kAngle2 = 4
    };
    static constexpr std::size_t kNumParameters = 5;
    static constexpr std::size_t kMinPoints = 2;

    Vec3d point;                     // a point of the line
    Vec3d direction{0.0, 0.0, 1.0};  // unit direction, always frame.direction()
    RotationFrame frame;
    Vec3d centroid;  // of the points, for the gauge row (set by the estimate)
    ParamState state[kNumParameters] = {Estimate, Estimate, Estimate, Estimate, Estimate};

    // Start values with their states: the three point states together, and both
    // angle states for a direction (normalised; a zero vector gives +z).
    void setPoint(const Vec3d& p, ParamState s);
    void setDirection(const Vec3d& d, ParamState s);

    // Fit-object contract of FitFramework.h. The estimate takes the centroid for
    // point coordinates in state Estimate and, when an angle is Estimate, the
    // principal axis of the covariance (largest eigenvalue) as direction.
    // An abort (optional flag) ends the passes over the points early and leaves the
    // estimate's fields unspecified; the caller drops an aborted run's object.
    void estimateInitial(const Vec3d* begin, const Vec3d* end,
                         const std::atomic<bool>* abort = nullptr);
    std::size_t numFreeParameters() const;
    std::size_t numResidualRows(std::size_t n) const { return 2 * n + 1; }
    void buildJacobian(const Vec3d* begin, const Vec3d* end, DMatrix& J, DMatrix& r, bool weighting,
                       const std::atomic<bool>* abort = nullptr) const;
    void computeResiduals(const Vec3d* begin, const Vec3d* end, DMatrix& r, bool weighting,
                          const std::atomic<bool>* abort = nullptr) const;
    void applyStep(const DMatrix& delta);
    // Distance of p from the line.
    double deviation(const Vec3d& p) const;
};

}  // namespace approximate
}  // namespace alg3D
