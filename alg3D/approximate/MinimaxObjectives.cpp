#include "alg3D/approximate/MinimaxObjectives.h"

#include <cmath>

#include "alg3D/matrix/Alg3dException.h"

namespace alg3D {
namespace approximate {

namespace {
constexpr long long kParallelPoints = 20000;

std::size_t countFree(const ParamState* s, std::size_t n) {
    std::size_t m = 0;
    for (std::size_t k = 0; k < n; ++k)
        if (s[k] != Fixed) ++m;
    return m;
}
}  // namespace

double AxisObjective::distance(const Vec3d& p) const {
    const Vec3d q = frame.toLocal(p - point);
    return std::hypot(q.x, q.y);
}

std::size_t AxisObjective::numFreeParameters() const {
    return countFree(state, 5);
}

void AxisObjective::buildJacobian(const Vec3d* begin, const Vec3d* end, DMatrix& J, DMatrix& r,
                                  bool) const {
    const std::size_t n = pointCount(begin, end);
    const std::size_t m = numFreeParameters();
    J.assign(n + 1, m);
    r.assign(n + 1, 1);
    bool free[5];
    for (std::size_t k = 0; k < 5; ++k)
        free[k] = state[k] != Fixed;
    const Vec3d a0 = frame.axis(0), a1 = frame.axis(1);
    const long long count = static_cast<long long>(n);
#pragma omp parallel for schedule(static) if (count >= kParallelPoints)
    for (long long i = 0; i < count; ++i) {
        const Vec3d q = frame.toLocal(begin[i] - point);
        const double d = std::hypot(q.x, q.y);
        const std::uint64_t row = static_cast<std::uint64_t>(i);
        r[row] = offset + sign * d;
        double* jrow = J.row(row);
        // Unit vector from the axis to the point in the local frame (zero on the axis).
        const double ux = d > 0.0 ? q.x / d : 0.0, uy = d > 0.0 ? q.y / d : 0.0;
        const Vec3d u = ux * a0 + uy * a1;
        std::size_t col = 0;
        for (std::size_t k = 0; k < 3; ++k)
            if (free[k]) jrow[col++] = -sign * u[k];
        // dq/dangle1 = (0, q.z, −q.y), dq/dangle2 = (−q.z, 0, q.x).
        if (free[3]) jrow[col++] = sign * (uy * q.z);
        if (free[4]) jrow[col++] = sign * (-ux * q.z);
    }
    const Vec3d g = frame.toLocal(point - centroid);
    r[n] = g.z;
    double* jrow = J.row(n);
    const Vec3d d = frame.direction();
    std::size_t col = 0;
    for (std::size_t k = 0; k < 3; ++k)
        if (free[k]) jrow[col++] = d[k];
    if (free[3]) jrow[col++] = -g.y;
    if (free[4]) jrow[col++] = g.x;
}

void AxisObjective::computeResiduals(const Vec3d* begin, const Vec3d* end, DMatrix& r, bool) const {
    const std::size_t n = pointCount(begin, end);
    r.assign(n + 1, 1);
    const long long count = static_cast<long long>(n);
#pragma omp parallel for schedule(static) if (count >= kParallelPoints)
    for (long long i = 0; i < count; ++i)
        r[static_cast<std::uint64_t>(i)] = offset + sign * distance(begin[i]);
    r[n] = frame.toLocal(point - centroid).z;
}

void AxisObjective::applyStep(const DMatrix& delta) {
    if (delta.size() != numFreeParameters()) throwAlg3dException(errors::kWrongDimensions);
    std::uint64_t k = 0;
    for (std::size_t c = 0; c < 3; ++c)
        if (state[c] != Fixed) point[c] += delta[k++];
    const double t1 = state[3] != Fixed ? reduceAngle2Pi(delta[k++]) : 0.0;
    const double t2 = state[4] != Fixed ? reduceAngle2Pi(delta[k++]) : 0.0;
    if (t1 != 0.0 || t2 != 0.0) frame.rotate(t1, t2);
}

std::size_t InscribedSphereObjective::numFreeParameters() const {
    return countFree(state, 3);
}

void InscribedSphereObjective::buildJacobian(const Vec3d* begin, const Vec3d* end, DMatrix& J,
                                             DMatrix& r, bool) const {
    const std::size_t n = pointCount(begin, end);
    const std::size_t m = numFreeParameters();
    J.assign(n, m);
    r.assign(n, 1);
    const long long count = static_cast<long long>(n);
#pragma omp parallel for schedule(static) if (count >= kParallelPoints)
    for (long long i = 0; i < count; ++i) {
        const Vec3d v = begin[i] - center;
        const double d = v.norm();
        const std::uint64_t row = static_cast<std::uint64_t>(i);
        r[row] = 2.0 * heldRadius - d;
        double* jrow = J.row(row);
        std::size_t col = 0;
        for (std::size_t k = 0; k < 3; ++k)
            if (state[k] != Fixed) jrow[col++] = d > 0.0 ? v[k] / d : 0.0;
    }
}

void InscribedSphereObjective::computeResiduals(const Vec3d* begin, const Vec3d* end, DMatrix& r,
                                                bool) const {
    const std::size_t n = pointCount(begin, end);
    r.assign(n, 1);
    const long long count = static_cast<long long>(n);
#pragma omp parallel for schedule(static) if (count >= kParallelPoints)
    for (long long i = 0; i < count; ++i)
        r[static_cast<std::uint64_t>(i)] = 2.0 * heldRadius - (begin[i] - center).norm();
}

void InscribedSphereObjective::applyStep(const DMatrix& delta) {
    if (delta.size() != numFreeParameters()) throwAlg3dException(errors::kWrongDimensions);
    std::uint64_t k = 0;
    for (std::size_t c = 0; c < 3; ++c)
        if (state[c] != Fixed) center[c] += delta[k++];
}

}  // namespace approximate
}  // namespace alg3D
