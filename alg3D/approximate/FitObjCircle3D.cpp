#include "alg3D/approximate/FitObjCircle3D.h"

#include <cmath>

#include "alg3D/approximate/AbortablePass.h"
#include "alg3D/approximate/FitSchemes-inl.h"
#include "alg3D/matrix/Alg3dException.h"
#include "alg3D/matrix/PointStatistics.h"
#include "alg3D/matrix/SVD.h"

namespace alg3D {
namespace approximate {

namespace {

// Per-point work is a few dozen flops; chunks of this many points keep the
// dynamic schedule's bookkeeping out of the profile while still balancing.
constexpr long long kChunk = 256;
// Below this a parallel team costs more than it saves.
constexpr long long kParallelPoints = 4096;

// Projections closer to the centre than this have no usable radial direction.
constexpr double kCenterEpsilon = 1e-12;

// In-plane geometry of one point relative to the circle.
struct CirclePoint {
    double ex, ey;    // from the nearest circle point to the projection (frame axes 0, 1)
    double distance;  // |e|, the residual
    double radiusDerivative;
};

inline CirclePoint evaluate(const FitObjCircle3D& c, const Vec3d& p) {
    const Vec3d q = c.frame.toLocal(p - c.planePoint);
    const double dx = q.x - c.u;
    const double dy = q.y - c.v;
    const double len = std::hypot(dx, dy);
    CirclePoint r;
    if (len > kCenterEpsilon) {
        const double scale = 1.0 - c.radius / len;
        r.ex = dx * scale;
        r.ey = dy * scale;
        r.radiusDerivative = len > c.radius ? -1.0 : 1.0;
    } else {
        r.ex = dx - c.radius;
        r.ey = dy;
        r.radiusDerivative = 1.0;
    }
    r.distance = std::hypot(r.ex, r.ey);
    return r;
}

}  // namespace

void FitObjCircle3D::setCenter(const Vec3d& c, ParamState s) {
    planePoint = c;
    u = 0.0;
    v = 0.0;
    state[kCenterU] = s;
    state[kCenterV] = s;
}

void FitObjCircle3D::setNormal(const Vec3d& n, ParamState s) {
    frame.setDirection(n);
    normal = frame.direction();
    normalState = s;
}

void FitObjCircle3D::setRadius(double r, ParamState s) {
    radius = r;
    state[kRadius] = s;
}

Vec3d FitObjCircle3D::center() const {
    return planePoint + u * frame.axis(0) + v * frame.axis(1);
}

void FitObjCircle3D::estimateInitial(const Vec3d* begin, const Vec3d* end,
                                     const std::atomic<bool>* abort) {
    const std::size_t n = pointCount(begin, end);
    if (n < kMinPoints) throwAlg3dException(errors::kNotEnoughData);
    const Vec3d c = centroid(begin, end);
    if (isAborted(abort)) return;
    if (state[kCenterU] == Estimate || state[kCenterV] == Estimate) planePoint = c;
    if (normalState == Estimate) {
        Matrix3x3d uu, vv;
        Vec3d w;
        svd(covariance(begin, end, c), uu, w, vv);
        frame.setDirection(Vec3d(uu(0, 2), uu(1, 2), uu(2, 2)));
    } else {
        // Kept bit for bit when the frame already carries it (a Fixed value must
        // not drift by a re-normalisation); a field set directly is taken over.
        if (!(frame.direction() == normal)) frame.setDirection(normal);
    }
    normal = frame.direction();
    u = 0.0;
    v = 0.0;
    if (state[kRadius] == Estimate) {
        const long long count = static_cast<long long>(n);
        double sum = 0.0;
#pragma omp parallel for schedule(static) reduction(+ : sum) if (count >= kParallelPoints)
        for (long long i = 0; i < count; ++i) {
            const Vec3d q = frame.toLocal(begin[i] - planePoint);
            sum += std::hypot(q.x, q.y);
        }
        radius = sum / static_cast<double>(n);
    }
    if (state[kRadius] != Fixed && radius < 1e-6) radius = 1e-6;
}

std::size_t FitObjCircle3D::numFreeParameters() const {
    std::size_t m = 0;
    for (ParamState s : state)
        m += s != Fixed ? 1 : 0;
    return m;
}

void FitObjCircle3D::buildJacobian(const Vec3d* begin, const Vec3d* end, DMatrix& J, DMatrix& r,
                                   bool weighting, const std::atomic<bool>* abort) const {
    const std::size_t n = pointCount(begin, end);
    const std::size_t m = numFreeParameters();
    J.assignZeroParallel(n, m, abort);
    r.assignZeroParallel(n, 1, abort);
    const bool freeRadius = state[kRadius] != Fixed;
    const bool freeU = state[kCenterU] != Fixed;
    const bool freeV = state[kCenterV] != Fixed;
    const long long count = static_cast<long long>(n);
    forEachChunk(count, kChunk, count >= kParallelPoints, abort, [&](long long i) {
        const CirclePoint cp = evaluate(*this, begin[i]);
        const std::uint64_t row = static_cast<std::uint64_t>(i);
        r[row] = cp.distance;
        double* jrow = J.row(row);
        std::size_t col = 0;
        // A point exactly on the circle has no residual direction: zero derivatives.
        const bool onCircle = !(cp.distance > 0.0);
        if (freeRadius) jrow[col++] = onCircle ? 0.0 : cp.radiusDerivative;
        if (freeU) jrow[col++] = onCircle ? 0.0 : -cp.ex / cp.distance;
        if (freeV) jrow[col++] = onCircle ? 0.0 : -cp.ey / cp.distance;
    });
    if (weighting && !isAborted(abort)) applyOutlierWeighting(r, &J, kWeightingMinMeanJacobian);
}

void FitObjCircle3D::computeResiduals(const Vec3d* begin, const Vec3d* end, DMatrix& r,
                                      bool weighting, const std::atomic<bool>* abort) const {
    const std::size_t n = pointCount(begin, end);
    r.assignZeroParallel(n, 1, abort);
    const long long count = static_cast<long long>(n);
    forEachChunk(count, kChunk, count >= kParallelPoints, abort, [&](long long i) {
        r[static_cast<std::uint64_t>(i)] = evaluate(*this, begin[i]).distance;
    });
    if (weighting && !isAborted(abort))
        applyOutlierWeighting(r, nullptr, kWeightingMinMeanResiduals);
}

void FitObjCircle3D::applyStep(const DMatrix& delta) {
    if (delta.size() != numFreeParameters()) throwAlg3dException(errors::kWrongDimensions);
    std::uint64_t k = 0;
    if (state[kRadius] != Fixed) radius += delta[k++];
    if (state[kCenterU] != Fixed) u += delta[k++];
    if (state[kCenterV] != Fixed) v += delta[k++];
}

double FitObjCircle3D::deviation(const Vec3d& p) const {
    return evaluate(*this, p).distance;
}

Vec3d FitObjCircle3D::nearestPoint(const Vec3d& p) const {
    const Vec3d q = frame.toLocal(p - planePoint);
    const double dx = q.x - u;
    const double dy = q.y - v;
    const double len = std::hypot(dx, dy);
    double cx = radius, cy = 0.0;
    if (len > kCenterEpsilon) {
        cx = radius * dx / len;
        cy = radius * dy / len;
    }
    return planePoint + frame.toWorld(Vec3d(u + cx, v + cy, 0.0));
}

template std::uint64_t approximateGaussNewton<FitObjCircle3D>(const Vec3d*, const Vec3d*,
                                                              FitObjCircle3D&, std::uint64_t, bool,
                                                              const std::atomic<bool>&,
                                                              std::atomic<float>&);
template std::uint64_t approximateLevenbergMarquardt<FitObjCircle3D>(const Vec3d*, const Vec3d*,
                                                                     FitObjCircle3D&, std::uint64_t,
                                                                     bool, const std::atomic<bool>&,
                                                                     std::atomic<float>&);
template struct ParamFitGeometry<FitObjCircle3D, Vec3d>;
template void fitGeometry<FitObjCircle3D, Vec3d>(ParamFitGeometry<FitObjCircle3D, Vec3d>&,
                                                 std::atomic<bool>&, std::exception_ptr&);

}  // namespace approximate
}  // namespace alg3D
