// Least-squares plane: the plane minimising the sum of squared orthogonal
// distances of the points.
//
// Parameters in Jacobian order: point x, y, z; angle 1, angle 2 (turns of the
// frame about its own first and second axes, see RotationFrame; the normal is the
// frame's third axis). A gauge row (residual 0) carries the derivative of the
// in-plane distance between the point and the centroid; moves of the point inside
// the plane change no residual, and the minimum-norm step of the solver leaves
// them out.
// Residual and deviation of a point p: the signed distance normal·(p − point).
// Inputs: at least 3 points. Outputs: point, normal (unit), d() = −normal·point.
// Errors: "not enough data for geometry approximation.\n" below 3 points.
// Cost: O(n) per Jacobian or residual pass, parallel over points.
#pragma once

#include <atomic>
#include <cstddef>

#include "alg3D/approximate/FitFramework.h"
#include "alg3D/matrix/DMatrix.h"
#include "alg3D/matrix/Matrix.h"

namespace alg3D {
namespace approximate {

class FitObjPlane {
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
    static constexpr std::size_t kMinPoints = 3;

    Vec3d point;                  // a point of the plane
    Vec3d normal{0.0, 0.0, 1.0};  // unit normal, always frame.direction()
    RotationFrame frame;
    Vec3d centroid;  // of the points, for the gauge row (set by the estimate)
    ParamState state[kNumParameters] = {Estimate, Estimate, Estimate, Estimate, Estimate};

    // Start values with their states: the three point states together, and both
    // angle states for a normal (normalised; a zero vector gives +z).
    void setPoint(const Vec3d& p, ParamState s);
    void setNormal(const Vec3d& n, ParamState s);

    // The plane's offset in n·x + d = 0.
    double d() const { return -normal.dot(point); }

    // Fit-object contract of FitFramework.h. The estimate takes the centroid for
    // point coordinates in state Estimate and, when an angle is Estimate, the
    // covariance eigenvector of the smallest eigenvalue as normal.
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
    // Signed distance normal·(p − point).
    double deviation(const Vec3d& p) const;
};

}  // namespace approximate
}  // namespace alg3D
