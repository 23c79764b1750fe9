#include "alg3D/approximate/FitObjTorus.h"

#include <atomic>
#include <cmath>
#include <utility>

#include "alg3D/approximate/FitObjCircle3D.h"
#include "alg3D/approximate/FitSchemes-inl.h"
#include "alg3D/approximate/SolidFitSupport-inl.h"
#include "alg3D/matrix/Alg3dException.h"
#include "alg3D/matrix/PointStatistics.h"

namespace alg3D {
namespace approximate {

namespace {

// Distance of a point from the torus in the meridian plane through the point. With
// rho the distance from the axis and h the height above the equator, the surface
// cuts that plane in the circles of radius r2 about (±r1, 0); the nearer one counts
// (for r1 ≥ r2 that is always the one on the point's side).
struct MeridianDistance {
    double ux, uy;  // radial unit vector
    double sigma;   // the tube circle about (sigma·r1, 0)
    double nr, nh;  // unit vector from that circle's centre towards the point
    double d;       // signed distance from the tube (positive outside)
};

MeridianDistance meridianDistance(const FitObjTorus& torus, const Vec3d& q) {
    MeridianDistance m;
    const double rho = std::sqrt(q.x * q.x + q.y * q.y);
    m.ux = rho > 0.0 ? q.x / rho : 1.0;
    m.uy = rho > 0.0 ? q.y / rho : 0.0;
    const double l1 = std::hypot(rho - torus.r1, q.z);
    const double l2 = std::hypot(rho + torus.r1, q.z);
    const double d1 = l1 - torus.r2;
    const double d2 = l2 - torus.r2;
    double l;
    if (std::abs(d1) <= std::abs(d2)) {
        m.sigma = 1.0;
        m.d = d1;
        l = l1;
    } else {
        m.sigma = -1.0;
        m.d = d2;
        l = l2;
    }
    // On the spine circle every direction in the meridian plane is nearest; the
    // outward radial one is taken.
    m.nr = l > 0.0 ? (rho - m.sigma * torus.r1) / l : 1.0;
    m.nh = l > 0.0 ? q.z / l : 0.0;
    return m;
}

}  // namespace

void FitObjTorus::setCenter(const Vec3d& c, ParamState s) {
    center = c;
    state[kCenterX] = state[kCenterY] = state[kCenterZ] = s;
}

void FitObjTorus::setDirection(const Vec3d& d, ParamState s) {
    const Vec3d unit = normalize(d);
    if (unit == Vec3d(0.0, 0.0, 0.0)) {
        state[kAngle1] = state[kAngle2] = Estimate;
        return;
    }
    frame.setDirection(unit);
    direction = frame.direction();
    state[kAngle1] = state[kAngle2] = s;
}

void FitObjTorus::setRadius1(double r, ParamState s) {
    r1 = r;
    state[kR1] = s;
}

void FitObjTorus::setRadius2(double r, ParamState s) {
    r2 = r;
    state[kR2] = s;
}

std::size_t FitObjTorus::numFreeParameters() const {
    return solid_fit::countFree(state, kNumParameters);
}

double FitObjTorus::residualAndGradient(const Vec3d& p, double* g) const {
    const Vec3d q = frame.toLocal(p - center);
    const MeridianDistance m = meridianDistance(*this, q);
    // The residual is |d|: its derivatives are those of d times the sign of d.
    const double sg = m.d < 0.0 ? -1.0 : 1.0;
    // d = |(rho − sigma·r1, h)| − r2; rho and h depend on the local coordinates.
    const Vec3d gradQ(sg * m.nr * m.ux, sg * m.nr * m.uy, sg * m.nh);
    const Vec3d gradWorld = frame.toWorld(gradQ);
    g[kR1] = -sg * m.sigma * m.nr;
    g[kR2] = -sg;
    g[kCenterX] = -gradWorld.x;
    g[kCenterY] = -gradWorld.y;
    g[kCenterZ] = -gradWorld.z;
    g[kAngle1] = gradQ.dot(frame.dLocalDAngle1(q));
    g[kAngle2] = gradQ.dot(frame.dLocalDAngle2(q));
    return std::abs(m.d);
}

double FitObjTorus::deviation(const Vec3d& p) const {
    return std::abs(meridianDistance(*this, frame.toLocal(p - center)).d);
}

Vec3d FitObjTorus::nearestPoint(const Vec3d& p) const {
    const MeridianDistance m = meridianDistance(*this, frame.toLocal(p - center));
    const double rho = m.sigma * r1 + r2 * m.nr;
    const double h = r2 * m.nh;
    return center + frame.toWorld(Vec3d(rho * m.ux, rho * m.uy, h));
}

void FitObjTorus::buildJacobian(const Vec3d* begin, const Vec3d* end, DMatrix& J, DMatrix& r,
                                bool weighting, const std::atomic<bool>* abort) const {
    solid_fit::buildJacobian(*this, state, nullptr, begin, end, J, r, weighting, abort);
}

void FitObjTorus::computeResiduals(const Vec3d* begin, const Vec3d* end, DMatrix& r, bool weighting,
                                   const std::atomic<bool>* abort) const {
    solid_fit::computeResiduals(*this, state, nullptr, begin, end, r, weighting, abort);
}

void FitObjTorus::applyStep(const DMatrix& delta) {
    double step[kNumParameters] = {};
    solid_fit::expandStep(state, kNumParameters, delta, step);
    r1 += step[kR1];
    r2 += step[kR2];
    center += Vec3d(step[kCenterX], step[kCenterY], step[kCenterZ]);
    if (step[kAngle1] != 0.0 || step[kAngle2] != 0.0) {
        frame.rotate(reduceAngle2Pi(step[kAngle1]), reduceAngle2Pi(step[kAngle2]));
        direction = frame.direction();
    }
}

void FitObjTorus::estimateInitial(const Vec3d* begin, const Vec3d* end,
                                  const std::atomic<bool>* abort) {
    const std::size_t n = pointCount(begin, end);
    if (n < kMinPoints) throwAlg3dException(errors::kNotEnoughData);

    // The spine circle, from the torus's given centre and axis.
    FitObjCircle3D circle;
    const bool centerFree[3] = {state[kCenterX] == Estimate, state[kCenterY] == Estimate,
                                state[kCenterZ] == Estimate};
    if (!centerFree[0] && !centerFree[1] && !centerFree[2]) {
        const bool fixed =
            state[kCenterX] == Fixed && state[kCenterY] == Fixed && state[kCenterZ] == Fixed;
        circle.setCenter(center, fixed ? Fixed : Given);
    }
    const bool directionFree = state[kAngle1] == Estimate || state[kAngle2] == Estimate;
    if (!directionFree) {
        const bool fixed = state[kAngle1] == Fixed && state[kAngle2] == Fixed;
        circle.setNormal(direction, fixed ? Fixed : Given);
    }
    if (state[kR1] != Estimate) circle.setRadius(r1, state[kR1]);
    const std::atomic<bool> noAbort{false};
    std::atomic<float> progress{0.0f};
    approximateGaussNewton(begin, end, circle, 50, weighting, abort ? *abort : noAbort, progress);
    // The torus keeps its values: an aborted run is dropped anyway.
    if (isAborted(abort)) return;

    const Vec3d spineCenter = circle.center();
    for (std::size_t k = 0; k < 3; ++k)
        if (centerFree[k]) center[k] = spineCenter[k];
    if (directionFree)
        frame = circle.frame;
    else if (frame.direction() != direction)
        frame.setDirection(direction);
    direction = frame.direction();
    if (state[kR1] == Estimate) r1 = circle.radius;

    if (state[kR2] == Estimate) {
        const long long count = static_cast<long long>(n);
        double sum = 0.0;
#pragma omp parallel for schedule(static) reduction(+ : sum) if (count >= solid_fit::kParallelRows)
        for (long long i = 0; i < count; ++i) {
            const Vec3d q = frame.toLocal(begin[i] - center);
            sum += std::hypot(std::sqrt(q.x * q.x + q.y * q.y) - r1, q.z);
        }
        r2 = sum / static_cast<double>(n);
    }
    // The spine is the larger circle; a Fixed radius keeps its value and role.
    if (r2 > r1 && state[kR1] != Fixed && state[kR2] != Fixed) std::swap(r1, r2);
    if (state[kR1] == Estimate && r1 < 1e-6) r1 = 1e-6;
    if (state[kR2] == Estimate && r2 < 1e-6) r2 = 1e-6;
}

template std::uint64_t approximateGaussNewton<FitObjTorus>(const Vec3d*, const Vec3d*, FitObjTorus&,
                                                           std::uint64_t, bool,
                                                           const std::atomic<bool>&,
                                                           std::atomic<float>&);
template std::uint64_t approximateLevenbergMarquardt<FitObjTorus>(const Vec3d*, const Vec3d*,
                                                                  FitObjTorus&, std::uint64_t, bool,
                                                                  const std::atomic<bool>&,
                                                                  std::atomic<float>&);
template struct ParamFitGeometry<FitObjTorus, Vec3d>;
template void fitGeometry<FitObjTorus, Vec3d>(ParamFitGeometry<FitObjTorus, Vec3d>&,
                                              std::atomic<bool>&, std::exception_ptr&);

}  // namespace approximate
}  // namespace alg3D
