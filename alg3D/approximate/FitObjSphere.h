// Least-squares sphere: centre and radius minimising the sum of squared distances
// of the points from the sphere surface.
//
// Parameters in Jacobian order: radius; centre x, y, z.
// Residual of a point p in the iteration: its distance from the nearest sphere
// point (never negative); the deviation shown to the user is signed,
// ‖p − c‖ − r (positive outside).
// Inputs: at least 4 points. Outputs: center, radius.
// Errors: "not enough data for geometry approximation.\n" below 4 points.
// Cost: O(n) per Jacobian or residual pass, parallel over points.
#pragma once

#include <atomic>
#include <cstddef>

#include "alg3D/approximate/FitFramework.h"
#include "alg3D/matrix/DMatrix.h"
#include "alg3D/matrix/Matrix.h"

namespace alg3D {
namespace approximate {

class FitObjSphere {
  public:
    // Indices into state[] (the Jacobian order before Fixed ones are skipped).
    enum Parameter : std::size_t { kRadius = 0, kCenterX = 1, kCenterY = 2, kCenterZ = 3 };
    static constexpr std::size_t kNumParameters = 4;
    static constexpr std::size_t kMinPoints = 4;

    Vec3d center;
    double radius = 0.0;
    ParamState state[kNumParameters] = {Estimate, Estimate, Estimate, Estimate};

    // Start values with their states (the three centre states together).
    void setCenter(const Vec3d& c, ParamState s);
    void setRadius(double r, ParamState s);

    // Fit-object contract of FitFramework.h. The estimate takes the centroid for
    // centre coordinates in state Estimate and the root mean square distance from
    // the centre for an Estimate radius; a free radius below 1e-6 becomes 1e-6.
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
    // Signed distance ‖p − c‖ − r.
    double deviation(const Vec3d& p) const;

    // Nearest sphere point of p; a point at the centre maps to c + r·(0, 0, 1).
    Vec3d nearestPoint(const Vec3d& p) const;
};

}  // namespace approximate
}  // namespace alg3D
