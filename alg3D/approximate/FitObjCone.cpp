#include "alg3D/approximate/FitObjCone.h"

#include <cmath>
#include <vector>

#include "alg3D/approximate/AxisEstimate.h"
#include "alg3D/approximate/FitSchemes-inl.h"
#include "alg3D/approximate/SolidFitSupport-inl.h"
#include "alg3D/matrix/Alg3dException.h"
#include "alg3D/matrix/PointStatistics.h"

namespace alg3D {
namespace approximate {

namespace {

// The opening angle stays below a right angle, where the cone would turn into a
// plane and its radius lose its meaning.
constexpr double kMaxOpeningAngle = 1.5707963267948966 * (1.0 - 1e-9);

// Distance of a point from the cone in the meridian plane through the point. With
// rho the distance from the axis and h the position along it, the surface is the
// pair of lines rho = ±(radius + h·tan(angle)); distances from them are
// rho·cos − sigma·(h·sin + radius·cos) for sigma = ±1, and the nearer one counts.
struct MeridianDistance {
    double rho, h, ux, uy;  // position in the meridian plane, radial unit vector
    double c, s;            // cosine and sine of the opening angle
    double sigma;           // +1: the sheet rho = radius + h·tan(angle), −1: the other
    double d;               // signed distance from that sheet (positive away from the axis)
};

MeridianDistance meridianDistance(const FitObjCone& cone, const Vec3d& q) {
    MeridianDistance m;
    m.rho = std::sqrt(q.x * q.x + q.y * q.y);
    m.h = q.z;
    m.ux = m.rho > 0.0 ? q.x / m.rho : 1.0;
    m.uy = m.rho > 0.0 ? q.y / m.rho : 0.0;
    m.c = std::cos(cone.angle);
    m.s = std::sin(cone.angle);
    const double e = m.h * m.s + cone.radius * m.c;
    const double d1 = m.rho * m.c - e;
    const double d2 = m.rho * m.c + e;
    if (std::abs(d1) <= std::abs(d2)) {
        m.sigma = 1.0;
        m.d = d1;
    } else {
        m.sigma = -1.0;
        m.d = d2;
    }
    return m;
}

}  // namespace

void FitObjCone::setPoint(const Vec3d& p, ParamState s) {
    point = p;
    state[kPointX] = state[kPointY] = state[kPointZ] = s;
}

void FitObjCone::setDirection(const Vec3d& d, ParamState s) {
    const Vec3d unit = normalize(d);
    if (unit == Vec3d(0.0, 0.0, 0.0)) {
        state[kAngle1] = state[kAngle2] = Estimate;
        return;
    }
    frame.setDirection(unit);
    direction = frame.direction();
    state[kAngle1] = state[kAngle2] = s;
}

void FitObjCone::setRadius(double r, ParamState s) {
    radius = r;
    state[kRadius] = s;
}

void FitObjCone::setAngle(double a, ParamState s) {
    angle = a;
    state[kAngle] = s;
}

std::size_t FitObjCone::numFreeParameters() const {
    return solid_fit::countFree(state, kNumParameters);
}

double FitObjCone::residualAndGradient(const Vec3d& p, double* g) const {
    const Vec3d q = frame.toLocal(p - point);
    const MeridianDistance m = meridianDistance(*this, q);
    // The residual is |d|: its derivatives are those of d times the sign of d.
    const double sg = m.d < 0.0 ? -1.0 : 1.0;
    // d = rho·c − sigma·(h·s + radius·c); rho and h depend on the local coordinates.
    const Vec3d gradQ(sg * m.c * m.ux, sg * m.c * m.uy, -sg * m.sigma * m.s);
    const Vec3d gradWorld = frame.toWorld(gradQ);
    g[kAngle] = sg * (-m.rho * m.s - m.sigma * (m.h * m.c - radius * m.s));
    g[kRadius] = -sg * m.sigma * m.c;
    g[kPointX] = -gradWorld.x;
    g[kPointY] = -gradWorld.y;
    g[kPointZ] = -gradWorld.z;
    g[kAngle1] = gradQ.dot(frame.dLocalDAngle1(q));
    g[kAngle2] = gradQ.dot(frame.dLocalDAngle2(q));
    return std::abs(m.d);
}

double FitObjCone::deviation(const Vec3d& p) const {
    return std::abs(meridianDistance(*this, frame.toLocal(p - point)).d);
}

Vec3d FitObjCone::nearestPoint(const Vec3d& p) const {
    const MeridianDistance m = meridianDistance(*this, frame.toLocal(p - point));
    // Foot point on the sheet's line in the meridian plane; a negative distance from
    // the axis lies on the far side of it.
    const double rho = m.rho - m.d * m.c;
    const double h = m.h + m.d * m.sigma * m.s;
    return point + frame.toWorld(Vec3d(rho * m.ux, rho * m.uy, h));
}

void FitObjCone::buildJacobian(const Vec3d* begin, const Vec3d* end, DMatrix& J, DMatrix& r,
                               bool weighting, const std::atomic<bool>* abort) const {
    const solid_fit::AxisGauge gauge{&point, &centroid, &frame, kPointX, kAngle1};
    solid_fit::buildJacobian(*this, state, &gauge, begin, end, J, r, weighting, abort);
}

void FitObjCone::computeResiduals(const Vec3d* begin, const Vec3d* end, DMatrix& r, bool weighting,
                                  const std::atomic<bool>* abort) const {
    const solid_fit::AxisGauge gauge{&point, &centroid, &frame, kPointX, kAngle1};
    solid_fit::computeResiduals(*this, state, &gauge, begin, end, r, weighting, abort);
}

void FitObjCone::applyStep(const DMatrix& delta) {
    double step[kNumParameters] = {};
    solid_fit::expandStep(state, kNumParameters, delta, step);
    double factor = 1.0;
    for (int k = 0; k < 64 && std::abs(angle + factor * step[kAngle]) >= kMaxOpeningAngle; ++k)
        factor *= 0.5;
    if (std::abs(angle + factor * step[kAngle]) >= kMaxOpeningAngle) factor = 0.0;
    for (double& s : step)
        s *= factor;
    angle += step[kAngle];
    radius += step[kRadius];
    point += Vec3d(step[kPointX], step[kPointY], step[kPointZ]);
    if (step[kAngle1] != 0.0 || step[kAngle2] != 0.0) {
        frame.rotate(reduceAngle2Pi(step[kAngle1]), reduceAngle2Pi(step[kAngle2]));
        direction = frame.direction();
    }
    // (−radius, −angle) is the same double cone; keep the sheet through `point` the
    // one with a positive radius where the values are free to change.
    if (radius < 0.0 && state[kRadius] != Fixed && state[kAngle] != Fixed) {
        radius = -radius;
        angle = -angle;
    }
}

void FitObjCone::estimateInitial(const Vec3d* begin, const Vec3d* end,
                                 const std::atomic<bool>* abort) {
    const std::size_t n = pointCount(begin, end);
    if (n < kMinPoints) throwAlg3dException(errors::kNotEnoughData);

    const std::vector<Vec3d> sample = estimateSubsample(begin, n);
    const Vec3d sampleCentroid = alg3D::centroid(sample);
    const bool pointFree[3] = {state[kPointX] == Estimate, state[kPointY] == Estimate,
                               state[kPointZ] == Estimate};
    for (std::size_t k = 0; k < 3; ++k)
        if (pointFree[k]) point[k] = sampleCentroid[k];
    const bool directionFree = state[kAngle1] == Estimate || state[kAngle2] == Estimate;
    const bool angleFree = state[kAngle] == Estimate;

    // The axis as for the cylinder, but scored with the cone's generator line
    // (distance from the axis linear along it) instead of a constant radius, and
    // with one more candidate: the principal axes of a cone section are turned
    // against its axis, the axis of the algebraic quadric through it is not.
    // Starting every cone as a cylinder (opening angle 0) lets the first
    // Gauss–Newton steps on steep cone sections run the angle to a right angle, so
    // the line's slope gives the start angle.
    AxisStart start;
    start.point = point;
    if (pointFree[0] || pointFree[1] || pointFree[2])
        start.pointState = Estimate;
    else if (state[kPointX] == Fixed && state[kPointY] == Fixed && state[kPointZ] == Fixed)
        start.pointState = Fixed;
    else
        start.pointState = Given;
    start.cone = true;
    start.fitSlope = angleFree || directionFree;
    start.slope = std::tan(angle);
    std::vector<Vec3d> candidates;
    if (directionFree) {
        candidates = principalCandidateAxes(sample, sampleCentroid);
        Vec3d axis;
        if (quadricAxis(sample, sampleCentroid, axis)) candidates.push_back(axis);
    } else {
        candidates.push_back(direction);
    }
    const AxisFit best = bestAxis(sample, candidates, start, abort);
    if (isAborted(abort)) return;

    for (std::size_t k = 0; k < 3; ++k)
        if (pointFree[k]) point[k] = best.point[k];
    double slope = best.slope;
    if (directionFree) {
        // A given angle has a sign: the estimated direction points the way in which
        // the radius then grows or shrinks as given.
        const bool flip = !angleFree && slope * angle < 0.0;
        frame.setDirection(flip ? -1.0 * best.direction : best.direction);
        if (flip) slope = -slope;
    } else if (frame.direction() != direction) {
        frame.setDirection(direction);
    }
    direction = frame.direction();
    if (angleFree) angle = std::atan(slope);

    if (state[kRadius] == Estimate) {
        // Radius in the plane across the axis through `point` (which need not be the
        // circle centre when it was given).
        const double t = std::tan(angle);
        double sum = 0.0;
        for (const Vec3d& p : sample) {
            const Vec3d q = frame.toLocal(p - point);
            sum += std::sqrt(q.x * q.x + q.y * q.y) - t * q.z;
        }
        radius = sum / double(sample.size());
        if (radius < 0.0 && angleFree) {
            // The sheet through `point` is the other one: same surface, positive radius.
            radius = -radius;
            angle = -angle;
        }
        if (radius < 1e-6) radius = 1e-6;
    }
    centroid = alg3D::centroid(begin, end);
}

template std::uint64_t approximateGaussNewton<FitObjCone>(const Vec3d*, const Vec3d*, FitObjCone&,
                                                          std::uint64_t, bool,
                                                          const std::atomic<bool>&,
                                                          std::atomic<float>&);
template std::uint64_t approximateLevenbergMarquardt<FitObjCone>(const Vec3d*, const Vec3d*,
                                                                 FitObjCone&, std::uint64_t, bool,
                                                                 const std::atomic<bool>&,
                                                                 std::atomic<float>&);
template struct ParamFitGeometry<FitObjCone, Vec3d>;
template void fitGeometry<FitObjCone, Vec3d>(ParamFitGeometry<FitObjCone, Vec3d>&,
                                             std::atomic<bool>&, std::exception_ptr&);

}  // namespace approximate
}  // namespace alg3D
