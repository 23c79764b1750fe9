#include "alg3D/approximate/FitObjEllipse3D.h"

#include <atomic>
#include <cmath>

#include "alg3D/approximate/EllipseFitSupport-inl.h"
#include "alg3D/approximate/FitObjCircle3D.h"
#include "alg3D/approximate/FitSchemes-inl.h"
#include "alg3D/matrix/Alg3dException.h"
#include "alg3D/matrix/PointStatistics.h"

namespace alg3D {
namespace approximate {

namespace {

// A point costs a bisection of 60 to 120 halvings; chunks of this many points
// balance the threads without scheduling overhead.
constexpr long long kChunk = 64;
// Below this a parallel team costs more than it saves.
constexpr long long kParallelPoints = 512;

}  // namespace

void FitObjEllipse3D::setCenter(const Vec3d& c, ParamState s) {
    planePoint = c;
    u = 0.0;
    v = 0.0;
    state[kCenterU] = s;
    state[kCenterV] = s;
}

void FitObjEllipse3D::setNormal(const Vec3d& n, ParamState s) {
    frame.setDirection(n);
    normal = frame.direction();
    normalState = s;
}

void FitObjEllipse3D::setSemiAxisA(double value, ParamState s) {
    a = value;
    state[kSemiAxisA] = s;
}

void FitObjEllipse3D::setSemiAxisB(double value, ParamState s) {
    b = value;
    state[kSemiAxisB] = s;
}

void FitObjEllipse3D::setAngle(double value, ParamState s) {
    angle = value;
    state[kAngle] = s;
}

Vec3d FitObjEllipse3D::center() const {
    return planePoint + u * frame.axis(0) + v * frame.axis(1);
}

Vec3d FitObjEllipse3D::axisA() const {
    return std::cos(angle) * frame.axis(0) + std::sin(angle) * frame.axis(1);
}

PlanarCurveParams FitObjEllipse3D::curveParams() const {
    PlanarCurveParams c;
    c.a = a;
    c.b = b;
    c.k = 1.0;
    c.u = u;
    c.v = v;
    c.angle = angle;
    return c;
}

PlanarCurveDistance FitObjEllipse3D::distance(double x, double y) const {
    return ellipseDistance(curveParams(), x, y);
}

void FitObjEllipse3D::estimateInitial(const Vec3d* begin, const Vec3d* end,
                                      const std::atomic<bool>* abort) {
    const std::size_t n = pointCount(begin, end);
    if (n < kMinPoints) throwAlg3dException(errors::kNotEnoughData);
    const Vec3d givenCenter = center();
    const bool estimateCenter = state[kCenterU] == Estimate || state[kCenterV] == Estimate;

    // The plane, the centre and a start radius from a circle with the ellipse's
    // given values and states.
    FitObjCircle3D circle;
    circle.planePoint = givenCenter;
    circle.state[FitObjCircle3D::kCenterU] = state[kCenterU];
    circle.state[FitObjCircle3D::kCenterV] = state[kCenterV];
    if (normalState != Estimate) circle.setNormal(normal, normalState);
    {
        const std::atomic<bool> noAbort{false};
        std::atomic<float> progress{0.0f};
        approximateGaussNewton(begin, end, circle, 10, false, abort ? *abort : noAbort, progress);
    }
    if (isAborted(abort)) return;
    minSemiAxis = planar_curve::minSemiAxisFor(dataSize(begin, end));
    frame = circle.frame;
    normal = circle.normal;
    planePoint = estimateCenter ? circle.center() : givenCenter;
    // A given centre off the plane of the points would carry the whole curve out
    // of it: only its position inside the plane is the user's.
    planePoint = planePoint + normal.dot(centroid(begin, end) - planePoint) * normal;
    u = 0.0;
    v = 0.0;

    if (state[kSemiAxisA] == Estimate) a = circle.radius;
    if (state[kSemiAxisB] == Estimate) b = circle.radius;
    if (state[kAngle] == Estimate)
        angle = planar_curve::principalAngle(begin, end, planePoint, frame, 0.0, 0.0);
    if (!(a >= minSemiAxis)) a = minSemiAxis;
    if (!(b >= minSemiAxis)) b = minSemiAxis;
    if (!std::isfinite(angle)) angle = 0.0;
    planar_curve::orderSemiAxes(a, b, angle, state[kSemiAxisA], state[kSemiAxisB], state[kAngle]);
}

std::size_t FitObjEllipse3D::numFreeParameters() const {
    std::size_t m = 0;
    for (ParamState s : state)
        m += s != Fixed ? 1 : 0;
    return m;
}

void FitObjEllipse3D::buildJacobian(const Vec3d* begin, const Vec3d* end, DMatrix& J, DMatrix& r,
                                    bool weighting, const std::atomic<bool>* abort) const {
    planar_curve::buildJacobian(*this, begin, end, J, r, weighting, kChunk, kParallelPoints, abort);
}

void FitObjEllipse3D::computeResiduals(const Vec3d* begin, const Vec3d* end, DMatrix& r,
                                       bool weighting, const std::atomic<bool>* abort) const {
    planar_curve::computeResiduals(*this, begin, end, r, weighting, kChunk, kParallelPoints, abort);
}

void FitObjEllipse3D::applyStep(const DMatrix& delta) {
    const planar_curve::ParameterSet p{{&a, &b, &u, &v, &angle, nullptr},
                                       state,
                                       kNumParameters,
                                       kSemiAxisA,
                                       kSemiAxisB,
                                       kAngle,
                                       -1};
    planar_curve::applyStep(p, delta, minSemiAxis);
}

double FitObjEllipse3D::deviation(const Vec3d& p) const {
    const Vec3d q = frame.toLocal(p - planePoint);
    double x, y;
    toCurveFrame(curveParams(), q.x, q.y, x, y);
    return closestPointOnEllipse(a, b, x, y).distance;
}

Vec3d FitObjEllipse3D::nearestPoint(const Vec3d& p) const {
    const Vec3d q = frame.toLocal(p - planePoint);
    double x, y;
    toCurveFrame(curveParams(), q.x, q.y, x, y);
    const CurveClosestPoint cp = closestPointOnEllipse(a, b, x, y);
    const double cs = std::cos(angle), sn = std::sin(angle);
    return planePoint +
           frame.toWorld(Vec3d(u + cs * cp.x - sn * cp.y, v + sn * cp.x + cs * cp.y, 0.0));
}

template std::uint64_t approximateGaussNewton<FitObjEllipse3D>(const Vec3d*, const Vec3d*,
                                                               FitObjEllipse3D&, std::uint64_t,
                                                               bool, const std::atomic<bool>&,
                                                               std::atomic<float>&);
template std::uint64_t approximateLevenbergMarquardt<FitObjEllipse3D>(const Vec3d*, const Vec3d*,
                                                                      FitObjEllipse3D&,
                                                                      std::uint64_t, bool,
                                                                      const std::atomic<bool>&,
                                                                      std::atomic<float>&);
template struct ParamFitGeometry<FitObjEllipse3D, Vec3d>;
template void fitGeometry<FitObjEllipse3D, Vec3d>(ParamFitGeometry<FitObjEllipse3D, Vec3d>&,
                                                  std::atomic<bool>&, std::exception_ptr&);

}  // namespace approximate
}  // namespace alg3D
