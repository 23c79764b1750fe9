#include "alg3D/approximate/FitObjLine3D.h"

#include <algorithm>
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

void FitObjLine3D::setPoint(const Vec3d& p, ParamState s) {
    point = p;
    state[kPointX] = state[kPointY] = state[kPointZ] = s;
}

void FitObjLine3D::setDirection(const Vec3d& d, ParamState s) {
    frame.setDirection(d);
    direction = frame.direction();
    state[kAngle1] = state[kAngle2] = s;
}

void FitObjLine3D::estimateInitial(const Vec3d* begin, const Vec3d* end,
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
        frame.setDirection(Vec3d(u(0, 0), u(1, 0), u(2, 0)));
    } else {
        // Kept bit for bit when the frame already carries it (a Fixed value must
        // not drift by a re-normalisation); a field set directly is taken over.
        if (!(frame.direction() == direction)) frame.setDirection(direction);
    }
    direction = frame.direction();
}

std::size_t FitObjLine3D::numFreeParameters() const {
    std::size_t m = 0;
    for (ParamState s : state)
        m += s != Fixed ? 1 : 0;
    return m;
}

namespace {

// Outlier weighting on the distances of the points (and the gauge entry 0), as
// for the single-row shapes; a removed point loses both of its rows.
void weightDistances(DMatrix& r, DMatrix* J, std::size_t n, double minMean) {
    DMatrix distances(n + 1, 1);
    for (std::size_t i = 0; i < n; ++i)
        distances[i] = std::hypot(r[2 * i], r[2 * i + 1]);
    const DMatrix before = distances;
    applyOutlierWeighting(distances, nullptr, minMean);
    for (std::size_t i = 0; i < n; ++i) {
        if (distances[i] == before[i]) continue;
        r[2 * i] = r[2 * i + 1] = 0.0;
        if (J) {
            std::fill(J->row(2 * i), J->row(2 * i) + J->cols(), 0.0);
            std::fill(J->row(2 * i + 1), J->row(2 * i + 1) + J->cols(), 0.0);
        }
    }
}

}  // namespace

void FitObjLine3D::buildJacobian(const Vec3d* begin, const Vec3d* end, DMatrix& J, DMatrix& r,
                                 bool weighting, const std::atomic<bool>* abort) const {
    const std::size_t n = pointCount(begin, end);
    const std::size_t m = numFreeParameters();
    J.assignZeroParallel(2 * n + 1, m, abort);
    r.assignZeroParallel(2 * n + 1, 1, abort);
    bool free[kNumParameters];
    for (std::size_t k = 0; k < kNumParameters; ++k)
        free[k] = state[k] != Fixed;
    const Vec3d a0 = frame.axis(0);
    const Vec3d a1 = frame.axis(1);
    const long long count = static_cast<long long>(n);
    forEachChunk(count, kChunk, count >= kParallelPoints, abort, [&](long long i) {
        // The two components across the line, q.x and q.y, in the frame.
        const Vec3d q = frame.toLocal(begin[i] - point);
        const std::uint64_t row = 2 * static_cast<std::uint64_t>(i);
        r[row] = q.x;
        r[row + 1] = q.y;
        double* jx = J.row(row);
        double* jy = J.row(row + 1);
        std::size_t col = 0;
        for (std::size_t k = 0; k < 3; ++k) {
            if (!free[kPointX + k]) continue;
            jx[col] = -a0[k];
            jy[col] = -a1[k];
            ++col;
        }
        if (free[kAngle1]) {  // dq/da1 = (0, q.z, −q.y)
            jx[col] = 0.0;
            jy[col] = q.z;
            ++col;
        }
        if (free[kAngle2]) {  // dq/da2 = (−q.z, 0, q.x)
            jx[col] = -q.z;
            jy[col] = 0.0;
            ++col;
        }
    });
    // Gauge row: residual 0, the derivative of direction·(point − centroid).
    {
        const Vec3d g = frame.toLocal(point - centroid);
        double* jrow = J.row(2 * n);
        std::size_t col = 0;
        for (std::size_t k = 0; k < 3; ++k)
            if (free[kPointX + k]) jrow[col++] = direction[k];
        if (free[kAngle1]) jrow[col++] = -g.y;
        if (free[kAngle2]) jrow[col++] = g.x;
    }
    if (weighting && !isAborted(abort)) weightDistances(r, &J, n, kWeightingMinMeanJacobian);
}

void FitObjLine3D::computeResiduals(const Vec3d* begin, const Vec3d* end, DMatrix& r,
                                    bool weighting, const std::atomic<bool>* abort) const {
    const std::size_t n = pointCount(begin, end);
    r.assignZeroParallel(2 * n + 1, 1, abort);  // the gauge entry stays 0
    const long long count = static_cast<long long>(n);
    forEachChunk(count, kChunk, count >= kParallelPoints, abort, [&](long long i) {
        const Vec3d q = frame.toLocal(begin[i] - point);
        const std::uint64_t row = 2 * static_cast<std::uint64_t>(i);
        r[row] = q.x;
        r[row + 1] = q.y;
    });
    if (weighting && !isAborted(abort)) weightDistances(r, nullptr, n, kWeightingMinMeanResiduals);
}

void FitObjLine3D::applyStep(const DMatrix& delta) {
    if (delta.size() != numFreeParameters()) throwAlg3dException(errors::kWrongDimensions);
    std::uint64_t k = 0;
    for (std::size_t c = 0; c < 3; ++c)
        if (state[kPointX + c] != Fixed) point[c] += delta[k++];
    const double t1 = state[kAngle1] != Fixed ? reduceAngle2Pi(delta[k++]) : 0.0;
    const double t2 = state[kAngle2] != Fixed ? reduceAngle2Pi(delta[k++]) : 0.0;
    if (t1 != 0.0 || t2 != 0.0) frame.rotate(t1, t2);
    direction = frame.direction();
}

double FitObjLine3D::deviation(const Vec3d& p) const {
    const Vec3d q = frame.toLocal(p - point);
    return std::hypot(q.x, q.y);
}

template std::uint64_t approximateGaussNewton<FitObjLine3D>(const Vec3d*, const Vec3d*,
                                                            FitObjLine3D&, std::uint64_t, bool,
                                                            const std::atomic<bool>&,
                                                            std::atomic<float>&);
template std::uint64_t approximateLevenbergMarquardt<FitObjLine3D>(const Vec3d*, const Vec3d*,
                                                                   FitObjLine3D&, std::uint64_t,
                                                                   bool, const std::atomic<bool>&,
                                                                   std::atomic<float>&);
template struct ParamFitGeometry<FitObjLine3D, Vec3d>;
template void fitGeometry<FitObjLine3D, Vec3d>(ParamFitGeometry<FitObjLine3D, Vec3d>&,
                                               std::atomic<bool>&, std::exception_ptr&);

}  // namespace approximate
}  // namespace alg3D
