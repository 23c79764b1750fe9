// Least-squares superellipse in space, (x²/a²)^(1/k) + (y²/b²)^(1/k) = 1 in its own
// frame, fitted as a two-dimensional curve inside a plane that the initial estimate
// fixes and the iteration leaves alone. k = 1 is the ellipse, small k approaches
// a rectangle, k = 2 is a rhombus and larger k give concave stars.
//
// Parameters in Jacobian order: semi-axis a, semi-axis b, shape factor k; centre
// u, v (offsets of the centre from planePoint along frame.axis(0) and
// frame.axis(1)); angle (the in-plane rotation of the a axis from frame.axis(0),
// radians, kept in [0, π)). After every step a ≥ b and k stays within
// [kMinShapeFactor, kMaxShapeFactor] = [0.005, 10]. The plane (planePoint, normal)
// is not iterated; normalState only says whether the estimate computes the normal.
// Residual and deviation of a point p: the distance in the plane between the
// projection of p and its nearest curve point (never negative), by the sampled and
// polished search of EllipseDistance.h; the Jacobian holds the exact derivatives
// of that distance (envelope theorem at the nearest point).
// Estimate: an ellipse with the superellipse's given values and states, fitted by
// Levenberg-Marquardt (20 iterations), gives the plane and the centre, semi-axes
// and angle in state Estimate (given values stay the start values); an Estimate
// shape factor starts at 1. On partial arcs a start search then picks the start
// with the lowest sum of squares (see searchArcStart).
// Inputs: at least 3 points. Outputs: planePoint (the centre after the estimate),
// normal, frame, u, v, a, b, factor, angle; center() and axisA() in world
// coordinates.
// Errors: "not enough data for geometry approximation.\n" below 3 points.
// Cost: O(n) per Jacobian or residual pass (about 50 power evaluations and a few
// Newton steps per point), parallel over points.
#pragma once

#include <atomic>
#include <cstddef>

#include "alg3D/approximate/EllipseDistance.h"
#include "alg3D/approximate/FitFramework.h"
#include "alg3D/matrix/DMatrix.h"
#include "alg3D/matrix/Matrix.h"

namespace alg3D {
namespace approximate {

class FitObjSuperEllipse3D {
  public:
    // Indices into state[] (the Jacobian order before Fixed ones are skipped).
    enum Parameter : std::size_t {
        kSemiAxisA = 0,
        kSemiAxisB = 1,
        kFactor = 2,
        kCenterU = 3,
        kCenterV = 4,
        kAngle = 5
    };
    static constexpr std::size_t kNumParameters = 6;
    static constexpr std::size_t kMinPoints = 3;

    // Geometry.
    Vec3d planePoint;             // a point of the plane; the centre when u = v = 0
    Vec3d normal{0.0, 0.0, 1.0};  // unit normal of the plane, always frame.direction()
    RotationFrame frame;          // axes 0 and 1 span the plane (u, v), axis 2 is the normal
    double u = 0.0;               // centre offset along frame.axis(0)
    double v = 0.0;               // centre offset along frame.axis(1)
    double a = 0.0;               // semi-axis along the angle's direction, a ≥ b after a fit
    double b = 0.0;
    double factor = 1.0;  // shape factor k
    double angle = 0.0;   // of the a axis from frame.axis(0) towards frame.axis(1)
    // Smallest semi-axis of the steps: 1e-6, scaled with the data size below 1
    // (set by the estimate).
    double minSemiAxis = 1e-6;

    // States in Jacobian order (a, b, k, u, v, angle), and the normal's state.
    ParamState state[kNumParameters] = {Estimate, Estimate, Estimate, Estimate, Estimate, Estimate};
    ParamState normalState = Estimate;

    // Start values with their states (Estimate, Given or Fixed).
    // Centre: planePoint = c, u = v = 0, both centre states set. The estimate moves
    // a given centre along the normal into the plane of the points.
    void setCenter(const Vec3d& c, ParamState s);
    // Normal: normalised (a zero vector gives +z), frame rebuilt, normalState set.
    void setNormal(const Vec3d& n, ParamState s);
    void setSemiAxisA(double value, ParamState s);
    void setSemiAxisB(double value, ParamState s);
    // Shape factor; the estimate brings it into [0.005, 10].
    void setFactor(double value, ParamState s);
    // Angle of the a axis in radians, against frame.axis(0) of the normal's frame.
    void setAngle(double value, ParamState s);

    // The centre in world coordinates: planePoint + u·axis0 + v·axis1.
    Vec3d center() const;
    // Unit direction of the a axis in world coordinates.
    Vec3d axisA() const;

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
    // Adds the step with the step-factor halvings (angle turn at most a quarter,
    // semi-axes at least minSemiAxis, k within [0.005, 10]) and keeps a ≥ b (see
    // EllipseFitSupport-inl.h).
    void applyStep(const DMatrix& delta);
    // In-plane distance to the curve (never negative).
    double deviation(const Vec3d& p) const;

    // Nearest curve point (world coordinates, in the plane) of the projection of p.
    Vec3d nearestPoint(const Vec3d& p) const;

    // Distance and derivatives for a point (x, y) of the plane's 2D frame.
    PlanarCurveDistance distance(double x, double y) const;
    // PlanarCurveDistance members in the Jacobian order.
    static constexpr double PlanarCurveDistance::*kColumns[kNumParameters] = {
        &PlanarCurveDistance::dA, &PlanarCurveDistance::dB, &PlanarCurveDistance::dK,
        &PlanarCurveDistance::dU, &PlanarCurveDistance::dV, &PlanarCurveDistance::dAngle};

  private:
    PlanarCurveParams curveParams() const;
    // Last part of the estimate on partial arcs (largest angular gap of the points
    // above 60 degrees), when the factor is in state Estimate and no parameter is
    // Given: the ellipse's start often lies in the basin of a worse minimum there
    // (on a quarter arc the ellipse can be several times too large). Box starts
    // (the bounding box of the points in 6 orientations over a quarter turn, each
    // corner as the centre, the sides as the semi-axes, factors 0.6, 1 and 1.5) and
    // the ellipse's start are refined by short fits of the radial distance on 24 of
    // the points and ranked by its sum of squares; the three best that lie in
    // different basins are fitted by the Euclidean distance on at most 200 of the
    // points, and the lowest sum of squares gives the start. Fixed parameters keep
    // their values. An abort (passed to every inner fit) keeps the ellipse's start.
    // Cost: 73 rough fits of 24 points (a few logarithms per point) and 3 fits of
    // at most 200 points on one thread, independent of n beyond the subsample.
    void searchArcStart(const Vec3d* begin, const Vec3d* end, const std::atomic<bool>* abort);
};

}  // namespace approximate
}  // namespace alg3D
