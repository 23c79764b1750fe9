// Least-squares circle in space, fitted as a two-dimensional circle inside a plane
// that the initial estimate fixes and the iteration leaves alone.
//
// Parameters in Jacobian order: radius; centre u, v (offsets of the centre from
// planePoint along frame.axis(0) and frame.axis(1)). The plane (planePoint,
// normal) is not iterated: normalState only says whether the estimate computes
// the normal (Estimate: covariance plane of the points) or keeps the one set.
// Residual and deviation of a point p: the distance in the plane between the
// projection of p and its nearest circle point (never negative).
// Inputs: at least 3 points. Outputs: planePoint, normal, frame, u, v, radius;
// center() is the fitted centre in world coordinates.
// Errors: "not enough data for geometry approximation.\n" below 3 points.
// Cost: O(n) per Jacobian or residual pass, parallel over points.
//
// Typical use by other estimates (ellipse, cylinder axis candidates, torus spine):
//   FitObjCircle3D circle;
//   circle.setNormal(axis, Fixed);      // or Given; leave Estimate for covariance
//   circle.setCenter(c, Given);         // optional; Estimate takes the centroid
//   approximateGaussNewton(begin, end, circle, 50, false, abort, progress);
//   circle.center(), circle.radius, circle.normal, circle.frame ...
#pragma once

#include <atomic>
#include <cstddef>

#include "alg3D/approximate/FitFramework.h"
#include "alg3D/matrix/DMatrix.h"
#include "alg3D/matrix/Matrix.h"

namespace alg3D {
namespace approximate {

class FitObjCircle3D {
  public:
    // Indices into state[] (the Jacobian order before Fixed ones are skipped).
    enum Parameter : std::size_t { kRadius = 0, kCenterU = 1, kCenterV = 2 };
    static constexpr std::size_t kNumParameters = 3;
    static constexpr std::size_t kMinPoints = 3;

    // Geometry.
    Vec3d planePoint;             // a point of the circle's plane; the centre when u = v = 0
    Vec3d normal{0.0, 0.0, 1.0};  // unit normal of the plane, always frame.direction()
    RotationFrame frame;          // axes 0 and 1 span the plane (u, v), axis 2 is the normal
    double u = 0.0;               // centre offset along frame.axis(0)
    double v = 0.0;               // centre offset along frame.axis(1)
    double radius = 0.0;

    // States in Jacobian order (radius, u, v), and the normal's state.
    ParamState state[kNumParameters] = {Estimate, Estimate, Estimate};
    ParamState normalState = Estimate;

    // Start values with their states (Estimate, Given or Fixed).
    // Centre: planePoint = c, u = v = 0, both centre states set.
    void setCenter(const Vec3d& c, ParamState s);
    // Normal: normalised (a zero vector gives +z), frame rebuilt, normalState set.
    void setNormal(const Vec3d& n, ParamState s);
    void setRadius(double r, ParamState s);

    // The centre in world coordinates: planePoint + u·axis0 + v·axis1.
    Vec3d center() const;

    // Fit-object contract of FitFramework.h.
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
    // In-plane distance to the circle (never negative).
    double deviation(const Vec3d& p) const;

    // Nearest circle point (world coordinates, in the plane) of the projection of p;
    // a projection on the centre maps to the circle point along +axis0.
    Vec3d nearestPoint(const Vec3d& p) const;
};

}  // namespace approximate
}  // namespace alg3D
