#include "alg3D/approximate/FitObjSuperEllipse3D.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#include "alg3D/approximate/EllipseFitSupport-inl.h"
#include "alg3D/approximate/FitObjEllipse3D.h"
#include "alg3D/approximate/FitSchemes-inl.h"
#include "alg3D/matrix/Alg3dException.h"

namespace alg3D {
namespace approximate {

namespace {

// A point costs some fifty power evaluations; small chunks balance the threads.
constexpr long long kChunk = 16;
// Below this a parallel team costs more than it saves.
constexpr long long kParallelPoints = 64;

}  // namespace

void FitObjSuperEllipse3D::setCenter(const Vec3d& c, ParamState s) {
    planePoint = c;
    u = 0.0;
    v = 0.0;
    state[kCenterU] = s;
    state[kCenterV] = s;
}

void FitObjSuperEllipse3D::setNormal(const Vec3d& n, ParamState s) {
    frame.setDirection(n);
    normal = frame.direction();
    normalState = s;
}

void FitObjSuperEllipse3D::setSemiAxisA(double value, ParamState s) {
    a = value;
    state[kSemiAxisA] = s;
}

void FitObjSuperEllipse3D::setSemiAxisB(double value, ParamState s) {
    b = value;
    state[kSemiAxisB] = s;
}

void FitObjSuperEllipse3D::setFactor(double value, ParamState s) {
    factor = value;
    state[kFactor] = s;
}

void FitObjSuperEllipse3D::setAngle(double value, ParamState s) {
    angle = value;
    state[kAngle] = s;
}

Vec3d FitObjSuperEllipse3D::center() const {
    return planePoint + u * frame.axis(0) + v * frame.axis(1);
}

Vec3d FitObjSuperEllipse3D::axisA() const {
    return std::cos(angle) * frame.axis(0) + std::sin(angle) * frame.axis(1);
}

PlanarCurveParams FitObjSuperEllipse3D::curveParams() const {
    PlanarCurveParams c;
    c.a = a;
    c.b = b;
    c.k = factor;
    c.u = u;
    c.v = v;
    c.angle = angle;
    return c;
}

PlanarCurveDistance FitObjSuperEllipse3D::distance(double x, double y) const {
    return superEllipseDistance(curveParams(), x, y);
}

void FitObjSuperEllipse3D::estimateInitial(const Vec3d* begin, const Vec3d* end) {
    const std::size_t n = pointCount(begin, end);
    if (n < kMinPoints) throwAlg3dException(errors::kNotEnoughData);

    // Plane, centre, semi-axes and angle from an ellipse with the superellipse's
    // given values and states.
    FitObjEllipse3D ellipse;
    ellipse.planePoint = center();
    ellipse.frame = frame;
    ellipse.normal = normal;
    ellipse.normalState = normalState;
    ellipse.a = a;
    ellipse.b = b;
    ellipse.angle = angle;
    ellipse.state[FitObjEllipse3D::kSemiAxisA] = state[kSemiAxisA];
    ellipse.state[FitObjEllipse3D::kSemiAxisB] = state[kSemiAxisB];
    ellipse.state[FitObjEllipse3D::kCenterU] = state[kCenterU];
    ellipse.state[FitObjEllipse3D::kCenterV] = state[kCenterV];
    ellipse.state[FitObjEllipse3D::kAngle] = state[kAngle];
    {
        const std::atomic<bool> noAbort{false};
        std::atomic<float> progress{0.0f};
        approximateLevenbergMarquardt(begin, end, ellipse, 20, false, noAbort, progress);
    }
    // The ellipse's plane; its values replace those in state Estimate, while given
    // ones stay the start values (the ellipse fitted with them as its start, but
    // its semi-axes, centre and angle make up for k = 1).
    frame = ellipse.frame;
    normal = ellipse.normal;
    const bool estimateCenter = state[kCenterU] == Estimate || state[kCenterV] == Estimate;
    // Without an Estimate centre the ellipse's plane point is the given centre,
    // moved into the plane of the points.
    planePoint = estimateCenter ? ellipse.center() : ellipse.planePoint;
    u = 0.0;
    v = 0.0;
    if (state[kSemiAxisA] == Estimate) a = ellipse.a;
    if (state[kSemiAxisB] == Estimate) b = ellipse.b;
    if (state[kAngle] == Estimate) angle = ellipse.angle;
    minSemiAxis = ellipse.minSemiAxis;
    if (!(a >= minSemiAxis)) a = minSemiAxis;
    if (!(b >= minSemiAxis)) b = minSemiAxis;
    if (!std::isfinite(angle)) angle = 0.0;
    planar_curve::orderSemiAxes(a, b, angle, state[kSemiAxisA], state[kSemiAxisB], state[kAngle]);
    if (state[kFactor] == Estimate) factor = 1.0;
    if (!(factor >= kMinShapeFactor)) factor = kMinShapeFactor;
    if (factor > kMaxShapeFactor) factor = kMaxShapeFactor;
}

std::size_t FitObjSuperEllipse3D::numFreeParameters() const {
    std::size_t m = 0;
    for (ParamState s : state)
        m += s != Fixed ? 1 : 0;
    return m;
}

void FitObjSuperEllipse3D::buildJacobian(const Vec3d* begin, const Vec3d* end, DMatrix& J,
                                         DMatrix& r, bool weighting) const {
    planar_curve::buildJacobian(*this, begin, end, J, r, weighting, kChunk, kParallelPoints);
}

void FitObjSuperEllipse3D::computeResiduals(const Vec3d* begin, const Vec3d* end, DMatrix& r,
                                            bool weighting) const {
    planar_curve::computeResiduals(*this, begin, end, r, weighting, kChunk, kParallelPoints);
}

void FitObjSuperEllipse3D::applyStep(const DMatrix& delta) {
    const planar_curve::ParameterSet p{{&a, &b, &factor, &u, &v, &angle},
                                       state,
                                       kNumParameters,
                                       kSemiAxisA,
                                       kSemiAxisB,
                                       kAngle,
                                       kFactor};
    planar_curve::applyStep(p, delta, minSemiAxis);
}

double FitObjSuperEllipse3D::deviation(const Vec3d& p) const {
    const Vec3d q = frame.toLocal(p - planePoint);
    double x, y;
    toCurveFrame(curveParams(), q.x, q.y, x, y);
    return closestPointOnSuperEllipse(a, b, factor, x, y).distance;
}

Vec3d FitObjSuperEllipse3D::nearestPoint(const Vec3d& p) const {
    const Vec3d q = frame.toLocal(p - planePoint);
    double x, y;
    toCurveFrame(curveParams(), q.x, q.y, x, y);
    const CurveClosestPoint cp = closestPointOnSuperEllipse(a, b, factor, x, y);
    const double cs = std::cos(angle), sn = std::sin(angle);
    return planePoint +
           frame.toWorld(Vec3d(u + cs * cp.x - sn * cp.y, v + sn * cp.x + cs * cp.y, 0.0));
}

template std::uint64_t approximateGaussNewton<FitObjSuperEllipse3D>(const Vec3d*, const Vec3d*,
                                                                    FitObjSuperEllipse3D&,
                                                                    std::uint64_t, bool,
                                                                    const std::atomic<bool>&,
                                                                    std::atomic<float>&);
template std::uint64_t approximateLevenbergMarquardt<FitObjSuperEllipse3D>(
    const Vec3d*, const Vec3d*, FitObjSuperEllipse3D&, std::uint64_t, bool,
    const std::atomic<bool>&, std::atomic<float>&);
template struct ParamFitGeometry<FitObjSuperEllipse3D, Vec3d>;
template void fitGeometry<FitObjSuperEllipse3D, Vec3d>(
    ParamFitGeometry<FitObjSuperEllipse3D, Vec3d>&, std::atomic<bool>&, std::exception_ptr&);

}  // namespace approximate
}  // namespace alg3D
