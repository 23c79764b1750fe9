#include "alg3D/approximate/FitObjSphere.h"

#include <cmath>

#include "alg3D/approximate/AbortablePass.h"
#include "alg3D/approximate/FitSchemes-inl.h"
#include "alg3D/matrix/Alg3dException.h"
#include "alg3D/matrix/PointStatistics.h"

namespace alg3D {
namespace approximate {

namespace {

// Per-point work is a few dozen flops; chunks of this many points keep the
// dynamic schedule's bookkeeping out of the profile while still balancing.
constexpr long long kChunk = 256;
// Below this a parallel team costs more than it saves.
constexpr long long kParallelPoints = 4096;

// One point against the sphere: e runs from the nearest sphere point to p.
struct SpherePoint {
    Vec3d e;
    double distance;          // |e|, the residual
    double radiusDerivative;  // −1 outside, +1 inside
};

inline SpherePoint evaluate(const FitObjSphere& s, const Vec3d& p) {
    const Vec3d v = p - s.center;
    const double w = v.norm();
    SpherePoint r;
    if (w > 0.0) {
        r.e = v * (1.0 - s.radius / w);
        r.radiusDerivative = w > s.radius ? -1.0 : 1.0;
    } else {
        // The centre itself: its nearest point is taken on the third axis.
        r.e = Vec3d(0.0, 0.0, -s.radius);
        r.radiusDerivative = 1.0;
    }
    r.distance = r.e.norm();
    return r;
}

}  // namespace

void FitObjSphere::setCenter(const Vec3d& c, ParamState s) {
    center = c;
    state[kCenterX] = state[kCenterY] = state[kCenterZ] = s;
}

void FitObjSphere::setRadius(double r, ParamState s) {
    radius = r;
    state[kRadius] = s;
}

void FitObjSphere::estimateInitial(const Vec3d* begin, const Vec3d* end,
                                   const std::atomic<bool>* abort) {
    const std::size_t n = pointCount(begin, end);
    if (n < kMinPoints) throwAlg3dException(errors::kNotEnoughData);
    const Vec3d c = centroid(begin, end);
    if (isAborted(abort)) return;
    for (std::size_t k = 0; k < 3; ++k)
        if (state[kCenterX + k] == Estimate) center[k] = c[k];
    if (state[kRadius] == Estimate) {
        const long long count = static_cast<long long>(n);
        double sum = 0.0;
#pragma omp parallel for schedule(static) reduction(+ : sum) if (count >= kParallelPoints)
        for (long long i = 0; i < count; ++i)
            sum += (begin[i] - center).squaredNorm();
        radius = std::sqrt(sum / static_cast<double>(n));
    }
    if (state[kRadius] != Fixed && radius < 1e-6) radius = 1e-6;
}

std::size_t FitObjSphere::numFreeParameters() const {
    std::size_t m = 0;
    for (ParamState s : state)
        m += s != Fixed ? 1 : 0;
    return m;
}

void FitObjSphere::buildJacobian(const Vec3d* begin, const Vec3d* end, DMatrix& J, DMatrix& r,
                                 bool weighting, const std::atomic<bool>* abort) const {
    const std::size_t n = pointCount(begin, end);
    const std::size_t m = numFreeParameters();
    J.assignZeroParallel(n, m, abort);
    r.assignZeroParallel(n, 1, abort);
    bool free[kNumParameters];
    for (std::size_t k = 0; k < kNumParameters; ++k)
        free[k] = state[k] != Fixed;
    const long long count = static_cast<long long>(n);
    forEachChunk(count, kChunk, count >= kParallelPoints, abort, [&](long long i) {
        const SpherePoint sp = evaluate(*this, begin[i]);
        const std::uint64_t row = static_cast<std::uint64_t>(i);
        r[row] = sp.distance;
        double* jrow = J.row(row);
        std::size_t col = 0;
        // A point exactly on the sphere has no residual direction: zero derivatives.
        const bool onSurface = !(sp.distance > 0.0);
        if (free[kRadius]) jrow[col++] = onSurface ? 0.0 : sp.radiusDerivative;
        for (std::size_t k = 0; k < 3; ++k)
            if (free[kCenterX + k]) jrow[col++] = onSurface ? 0.0 : -sp.e[k] / sp.distance;
    });
    if (weighting && !isAborted(abort)) applyOutlierWeighting(r, &J, kWeightingMinMeanJacobian);
}

void FitObjSphere::computeResiduals(const Vec3d* begin, const Vec3d* end, DMatrix& r,
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

void FitObjSphere::applyStep(const DMatrix& delta) {
    if (delta.size() != numFreeParameters()) throwAlg3dException(errors::kWrongDimensions);
    std::uint64_t k = 0;
    if (state[kRadius] != Fixed) radius += delta[k++];
    for (std::size_t c = 0; c < 3; ++c)
        if (state[kCenterX + c] != Fixed) center[c] += delta[k++];
}

double FitObjSphere::deviation(const Vec3d& p) const {
    return (p - center).norm() - radius;
}

Vec3d FitObjSphere::nearestPoint(const Vec3d& p) const {
    return p - evaluate(*this, p).e;
}

template std::uint64_t approximateGaussNewton<FitObjSphere>(const Vec3d*, const Vec3d*,
                                                            FitObjSphere&, std::uint64_t, bool,
                                                            const std::atomic<bool>&,
                                                            std::atomic<float>&);
template std::uint64_t approximateLevenbergMarquardt<FitObjSphere>(const Vec3d*, const Vec3d*,
                                                                   FitObjSphere&, std::uint64_t,
                                                                   bool, const std::atomic<bool>&,
                                                                   std::atomic<float>&);
template struct ParamFitGeometry<FitObjSphere, Vec3d>;
template void fitGeometry<FitObjSphere, Vec3d>(ParamFitGeometry<FitObjSphere, Vec3d>&,
                                               std::atomic<bool>&, std::exception_ptr&);

}  // namespace approximate
}  // namespace alg3D
