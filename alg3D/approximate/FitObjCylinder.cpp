#include "alg3D/approximate/FitObjCylinder.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "alg3D/approximate/AxisEstimate.h"
#include "alg3D/approximate/FitSchemes-inl.h"
#include "alg3D/approximate/SolidFitSupport-inl.h"
#include "alg3D/matrix/Alg3dException.h"
#include "alg3D/matrix/PointStatistics.h"

namespace alg3D {
namespace approximate {

void FitObjCylinder::setPoint(const Vec3d& p, ParamState s) {
    point = p;
    state[kPointX] = state[kPointY] = state[kPointZ] = s;
}

void FitObjCylinder::setDirection(const Vec3d& d, ParamState s) {
    const Vec3d unit = normalize(d);
    if (unit == Vec3d(0.0, 0.0, 0.0)) {
        state[kAngle1] = state[kAngle2] = Estimate;
        return;
    }
    frame.setDirection(unit);
    direction = frame.direction();
    state[kAngle1] = state[kAngle2] = s;
}

void FitObjCylinder::setRadius(double r, ParamState s) {
    radius = r;
    state[kRadius] = s;
}

std::size_t FitObjCylinder::numFreeParameters() const {
    return solid_fit::countFree(state, kNumParameters);
}

double FitObjCylinder::residualAndGradient(const Vec3d& p, double* g) const {
    const Vec3d q = frame.toLocal(p - point);
    const double rho = std::sqrt(q.x * q.x + q.y * q.y);
    // On the axis every direction across it is nearest; the frame's first axis is
    // taken, as in nearestPoint.
    const double ux = rho > 0.0 ? q.x / rho : 1.0;
    const double uy = rho > 0.0 ? q.y / rho : 0.0;
    const double d = rho - radius;
    // The residual is |d|: its derivatives are those of d times the sign of d.
    const double s = d < 0.0 ? -1.0 : 1.0;
    const Vec3d gradQ(s * ux, s * uy, 0.0);  // with respect to the local coordinates
    const Vec3d gradWorld = frame.toWorld(gradQ);
    g[kRadius] = -s;
    g[kPointX] = -gradWorld.x;
    g[kPointY] = -gradWorld.y;
    g[kPointZ] = -gradWorld.z;
    g[kAngle1] = gradQ.dot(frame.dLocalDAngle1(q));
    g[kAngle2] = gradQ.dot(frame.dLocalDAngle2(q));
    return std::abs(d);
}

double FitObjCylinder::deviation(const Vec3d& p) const {
    const Vec3d q = frame.toLocal(p - point);
    return std::sqrt(q.x * q.x + q.y * q.y) - radius;
}

Vec3d FitObjCylinder::nearestPoint(const Vec3d& p) const {
    const Vec3d q = frame.toLocal(p - point);
    const double rho = std::sqrt(q.x * q.x + q.y * q.y);
    const double ux = rho > 0.0 ? q.x / rho : 1.0;
    const double uy = rho > 0.0 ? q.y / rho : 0.0;
    return point + frame.toWorld(Vec3d(radius * ux, radius * uy, q.z));
}

void FitObjCylinder::buildJacobian(const Vec3d* begin, const Vec3d* end, DMatrix& J, DMatrix& r,
                                   bool weighting, const std::atomic<bool>* abort) const {
    solid_fit::AxisGauge gauge{&point, &centroid, &frame, kPointX, kAngle1};
    solid_fit::buildJacobian(*this, state, &gauge, begin, end, J, r, weighting, abort);
}

void FitObjCylinder::computeResiduals(const Vec3d* begin, const Vec3d* end, DMatrix& r,
                                      bool weighting, const std::atomic<bool>* abort) const {
    solid_fit::AxisGauge gauge{&point, &centroid, &frame, kPointX, kAngle1};
    solid_fit::computeResiduals(*this, state, &gauge, begin, end, r, weighting, abort);
}

void FitObjCylinder::applyStep(const DMatrix& delta) {
    double step[kNumParameters] = {};
    solid_fit::expandStep(state, kNumParameters, delta, step);
    radius += step[kRadius];
    point += Vec3d(step[kPointX], step[kPointY], step[kPointZ]);
    if (step[kAngle1] != 0.0 || step[kAngle2] != 0.0) {
        frame.rotate(reduceAngle2Pi(step[kAngle1]), reduceAngle2Pi(step[kAngle2]));
        direction = frame.direction();
    }
}

void FitObjCylinder::estimateInitial(const Vec3d* begin, const Vec3d* end,
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

    // The circles across the candidates start from the cylinder's own start values.
    AxisStart start;
    start.point = point;
    if (pointFree[0] || pointFree[1] || pointFree[2])
        start.pointState = Estimate;
    else if (state[kPointX] == Fixed && state[kPointY] == Fixed && state[kPointZ] == Fixed)
        start.pointState = Fixed;
    else
        start.pointState = Given;
    start.radius = radius;
    start.radiusState = state[kRadius];
    const AxisFit best = bestAxis(sample,
                                  directionFree ? principalCandidateAxes(sample, sampleCentroid)
                                                : std::vector<Vec3d>{direction},
                                  start, abort);
    if (isAborted(abort)) return;

    for (std::size_t k = 0; k < 3; ++k)
        if (pointFree[k]) point[k] = best.point[k];
    if (state[kRadius] == Estimate) radius = std::max(best.radius, 1e-6);
    // A given direction keeps its frame (and so its exact value) unless the field
    // was changed without setDirection.
    if (directionFree)
        frame.setDirection(best.direction);
    else if (frame.direction() != direction)
        frame.setDirection(direction);
    direction = frame.direction();
    centroid = alg3D::centroid(begin, end);
}

template std::uint64_t approximateGaussNewton<FitObjCylinder>(const Vec3d*, const Vec3d*,
                                                              FitObjCylinder&, std::uint64_t, bool,
                                                              const std::atomic<bool>&,
                                                              std::atomic<float>&);
template std::uint64_t approximateLevenbergMarquardt<FitObjCylinder>(const Vec3d*, const Vec3d*,
                                                                     FitObjCylinder&, std::uint64_t,
                                                                     bool, const std::atomic<bool>&,
                                                                     std::atomic<float>&);
template struct ParamFitGeometry<FitObjCylinder, Vec3d>;
template void fitGeometry<FitObjCylinder, Vec3d>(ParamFitGeometry<FitObjCylinder, Vec3d>&,
                                                 std::atomic<bool>&, std::exception_ptr&);

}  // namespace approximate
}  // namespace alg3D
