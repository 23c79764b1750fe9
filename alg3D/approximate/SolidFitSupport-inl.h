// Shared mechanics of the solid fits (cylinder, cone, torus), included only by their
// .cpp files: the Jacobian and residual passes over the points, the gauge row that
// ties an axis point to the centroid, and the mapping between free parameters and
// columns. A fit object supplies
//   double residualAndGradient(const Vec3d& p, double* gradient) const;
// returning the residual of one point and its derivatives with respect to every
// parameter of the shape's order (Fixed ones included; they are dropped here), and
//   double deviation(const Vec3d& p) const;
// whose absolute value is that residual.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "alg3D/approximate/AbortablePass.h"
#include "alg3D/approximate/FitFramework.h"
#include "alg3D/matrix/Alg3dException.h"
#include "alg3D/matrix/DMatrix.h"
#include "alg3D/matrix/Matrix.h"

namespace alg3D {
namespace approximate {
namespace solid_fit {

// Jacobian rows are cheap and uniform; handing them out one by one costs more in
// scheduling than the work itself on large clouds.
constexpr long long kRowChunk = 256;
// Below this the team start-up costs more than the rows.
constexpr long long kParallelRows = 2000;

inline std::size_t countFree(const ParamState* state, std::size_t count) {
    std::size_t m = 0;
    for (std::size_t k = 0; k < count; ++k)
        if (state[k] != Fixed) ++m;
    return m;
}

// Indices of the free parameters in the shape's order; returns their number.
inline std::size_t freeIndices(const ParamState* state, std::size_t count, std::size_t* out) {
    std::size_t m = 0;
    for (std::size_t k = 0; k < count; ++k)
        if (state[k] != Fixed) out[m++] = k;
    return m;
}

// Spreads a step over the free parameters into a full-length step (0 for Fixed).
// Throws "matrices have wrong dimensions.\n" for a step of the wrong length.
inline void expandStep(const ParamState* state, std::size_t count, const DMatrix& delta,
                       double* step) {
    if (delta.size() != countFree(state, count)) throwAlg3dException(errors::kWrongDimensions);
    for (std::size_t k = 0; k < count; ++k)
        step[k] = 0.0;
    std::size_t j = 0;
    for (std::size_t k = 0; k < count; ++k)
        if (state[k] != Fixed) step[k] = delta[j++];
}

// Gauge row of an axis: the component along the axis of (point − centroid), with its
// derivatives for the axis point (three consecutive parameters from pointIndex) and
// the two frame angles (from angleIndex).
struct AxisGauge {
    const Vec3d* point;
    const Vec3d* centroid;
    const RotationFrame* frame;
    std::size_t pointIndex;
    std::size_t angleIndex;

    double residual(double* gradient, std::size_t count) const {
        const Vec3d offset = *point - *centroid;
        const Vec3d a = frame->direction();
        for (std::size_t k = 0; k < count; ++k)
            gradient[k] = 0.0;
        gradient[pointIndex] = a.x;
        gradient[pointIndex + 1] = a.y;
        gradient[pointIndex + 2] = a.z;
        // Turning the frame about its first axis moves the third axis towards minus
        // the second axis, about its second axis towards the first axis.
        gradient[angleIndex] = -frame->axis(1).dot(offset);
        gradient[angleIndex + 1] = frame->axis(0).dot(offset);
        return a.dot(offset);
    }
};

// The Jacobian and residual passes; an abort skips the remaining chunks and the
// weighting (the caller drops the result).
template <class FitObj, std::size_t N>
void buildJacobian(const FitObj& obj, const ParamState (&state)[N], const AxisGauge* gauge,
                   const Vec3d* begin, const Vec3d* end, DMatrix& J, DMatrix& r, bool weighting,
                   const std::atomic<bool>* abort) {
    std::size_t columns[N];
    const std::size_t m = freeIndices(state, N, columns);
    const std::size_t n = pointCount(begin, end);
    const std::size_t rows = n + (gauge ? 1 : 0);
    J.assignZeroParallel(rows, m, abort);
    r.assignZeroParallel(rows, 1, abort);
    const long long count = static_cast<long long>(n);
    forEachChunk(count, kRowChunk, count >= kParallelRows, abort, [&](long long i) {
        double g[N];
        r[std::uint64_t(i)] = obj.residualAndGradient(begin[i], g);
        double* row = J.row(std::uint64_t(i));
        for (std::size_t k = 0; k < m; ++k)
            row[k] = g[columns[k]];
    });
    if (gauge) {
        double g[N];
        r[n] = gauge->residual(g, N);
        double* row = J.row(n);
        for (std::size_t k = 0; k < m; ++k)
            row[k] = g[columns[k]];
    }
    if (weighting && !isAborted(abort)) applyOutlierWeighting(r, &J, kWeightingMinMeanJacobian);
}

template <class FitObj, std::size_t N>
void computeResiduals(const FitObj& obj, const ParamState (&)[N], const AxisGauge* gauge,
                      const Vec3d* begin, const Vec3d* end, DMatrix& r, bool weighting,
                      const std::atomic<bool>* abort) {
    const std::size_t n = pointCount(begin, end);
    r.assignZeroParallel(n + (gauge ? 1 : 0), 1, abort);
    const long long count = static_cast<long long>(n);
    forEachChunk(count, kRowChunk, count >= kParallelRows, abort,
                 [&](long long i) { r[std::uint64_t(i)] = std::abs(obj.deviation(begin[i])); });
    if (gauge) {
        double g[N];
        r[n] = gauge->residual(g, N);
    }
    if (weighting && !isAborted(abort))
        applyOutlierWeighting(r, nullptr, kWeightingMinMeanResiduals);
}

}  // namespace solid_fit
}  // namespace approximate
}  // namespace alg3D
