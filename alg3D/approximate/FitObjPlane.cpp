#include "alg3D/approximate/FitObjPlane.h"

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

}  // namespace

void FitObjPlane::setPoint(const Vec3d& p, ParamState s) {
    point = p;
    state[kPointX] = state[kPointY] = state[kPointZ] = s;
}

void FitObjPlane::setNormal(const Vec3d& n, ParamState s) {
    frame.setDirection(n);
    normal = frame.direction();
    state[kAngle1] = state[kAngle2] = s;
}

void FitObjPlane::estimateInitial(const Vec3d* begin, const Vec3d* end,
                                  const std::atomic<bool>* abort) {
    const std::size_t n = pointCount(begin, end);
    if (n < kMinPoints) throwAlg3dException(errors::kNotEnoughData);
    centroid = alg3D::centroid(begin, end);
    if (isAborted(abort)) return;
    for (std::size_t k = 0; k < 3; ++k)
        if (state[kPointX + k] == Estimate) point[k] = centroid[k];
    if (state[kAngle1] == Estimate || state[kAngle2] == Estimate) {
        Matrix3x3d u, v;
        Vec3d w;
        svd(covariance(begin, end, centroid), u, w, v);
        frame.setDirection(Vec3d(u(0, 2), u(1, 2), u(2, 2)));
    } else {
        // Kept bit for bit when the frame already carries it (a Fixed value must
        // not drift by a re-normalisation); a field set directly is taken over.
        if (!(frame.direction() == normal)) frame.setDirection(normal);
    }
    normal = frame.direction();
}

std::size_t FitObjPlane::numFreeParameters() const {
    std::size_t m = 0;
    for (ParamState s : state)
        m += s != Fixed ? 1 : 0;
    return m;
}

void FitObjPlane::buildJacobian(const Vec3d* begin, const Vec3d* end, DMatrix& J, DMatrix& r,
                                bool weighting, const std::atomic<bool>* abort) const {
    const std::size_t n = pointCount(begin, end);
    const std::size_t m = numFreeParameters();
    J.assignZeroParallel(n + 1, m, abort);
    r.assignZeroParallel(n + 1, 1, abort);
    bool free[kNumParameters];
    for (std::size_t k = 0; k < kNumParameters; ++k)
        free[k] = state[k] != Fixed;
    const long long count = static_cast<long long>(n);
    forEachChunk(count, kChunk, count >= kParallelPoints, abort, [&](long long i) {
        const Vec3d q = frame.toLocal(begin[i] - point);
        const std::uint64_t row = static_cast<std::uint64_t>(i);
        r[row] = q.z;
        double* jrow = J.row(row);
        std::size_t col = 0;
        for (std::size_t k = 0; k < 3; ++k)
            if (free[kPointX + k]) jrow[col++] = -normal[k];
        if (free[kAngle1]) jrow[col++] = -q.y;
        if (free[kAngle2]) jrow[col++] = q.x;
    });
    // Gauge row: residual 0, the derivative of the in-plane distance between the
    // point and the centroid (a zero row while the point is the centroid).
    {
        const Vec3d g = frame.toLocal(point - centroid);
        const double len = std::hypot(g.x, g.y);
        const double inv = len > 0.0 ? 1.0 / len : 0.0;
        const Vec3d t = (g.x * inv) * frame.axis(0) + (g.y * inv) * frame.axis(1);
        double* jrow = J.row(n);
        std::size_t col = 0;
        for (std::size_t k = 0; k < 3; ++k)
            if (free[kPointX + k]) jrow[col++] = t[k];
        if (free[kAngle1]) jrow[col++] = g.y * g.z * inv;
        if (free[kAngle2]) jrow[col++] = -g.x * g.z * inv;
    }
    if (weighting && !isAborted(abort)) applyOutlierWeighting(r, &J, kWeightingMinMeanJacobian);
}

void FitObjPlane::computeResiduals(const Vec3d* begin, const Vec3d* end, DMatrix& r, bool weighting,
                                   const std::atomic<bool>* abort) const {
    const std::size_t n = pointCount(begin, end);
    r.assignZeroParallel(n + 1, 1, abort);  // the gauge entry stays 0
    const long long count = static_cast<long long>(n);
    forEachChunk(count, kChunk, count >= kParallelPoints, abort, [&](long long i) {
        r[static_cast<std::uint64_t>(i)] = normal.dot(begin[i] - point);
    });
    if (weighting && !isAborted(abort))
        applyOutlierWeighting(r, nullptr, kWeightingMinMeanResiduals);
}

void FitObjPlane::applyStep(const DMatrix& delta) {
    if (delta.size() != numFreeParameters()) throwAlg3dException(errors::kWrongDimensions);
    std::uint64_t k = 0;
    for (std::size_t c = 0; c < 3; ++c)
        if (state[kPointX + c] != Fixed) point[c] += delta[k++];
    const double t1 = state[kAngle1] != Fixed ? reduceAngle2Pi(delta[k++]) : 0.0;
    const double t2 = state[kAngle2] != Fixed ? reduceAngle2Pi(delta[k++]) : 0.0;
    if (t1 != 0.0 || t2 != 0.0) frame.rotate(t1, t2);
    normal = frame.direction();
}

double FitObjPlane::deviation(const Vec3d& p) const {
    return normal.dot(p - point);
}

template std::uint64_t approximateGaussNewton<FitObjPlane>(const Vec3d*, const Vec3d*, FitObjPlane&,
                                                           std::uint64_t, bool,
                                                           const std::atomic<bool>&,
                                                           std::atomic<float>&);
template std::uint64_t approximateLevenbergMarquardt<FitObjPlane>(const Vec3d*, const Vec3d*,
                                                                  FitObjPlane&, std::uint64_t, bool,
                                                                  const std::atomic<bool>&,
                                                                  std::atomic<float>&);
template struct ParamFitGeometry<FitObjPlane, Vec3d>;
template void fitGeometry<FitObjPlane, Vec3d>(ParamFitGeometry<FitObjPlane, Vec3d>&,
                                              std::atomic<bool>&, std::exception_ptr&);

}  // namespace approximate
}  // namespace alg3D
