// Shared mechanics of the ellipse and superellipse fits, included only by their
// .cpp files: the plane taken over from an estimate, the principal-moment angle,
// the Jacobian and residual passes over the points and the step with its
// step-factor halvings and the reordering of the semi-axes.
//
// A fit object supplies the fields planePoint, normal, frame, u, v, a, b, angle,
// minSemiAxis, state[], and
//   PlanarCurveDistance distance(double x, double y) const;
// for a point (x, y) of the plane's 2D frame, and the static table
// kColumns of the PlanarCurveDistance members in its Jacobian order.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "alg3D/approximate/AbortablePass.h"
#include "alg3D/approximate/EllipseDistance.h"
#include "alg3D/approximate/FitFramework.h"
#include "alg3D/matrix/Alg3dException.h"
#include "alg3D/matrix/DMatrix.h"
#include "alg3D/matrix/Matrix.h"

namespace alg3D {
namespace approximate {
namespace planar_curve {

constexpr double kPi = 3.141592653589793;
constexpr double kHalfPi = 1.5707963267948966;

// Halvings of the step factor before a step is given up (h = 0): far beyond
// any step that could still change a parameter.
constexpr int kMaxHalvings = 80;

// The angle in [0, π): the a axis and its opposite are the same curve.
inline double reduceAnglePi(double angle) {
    double r = std::fmod(angle, kPi);
    if (r < 0.0) r += kPi;
    if (r >= kPi) r = 0.0;  // −tiny + π rounds to π
    return r;
}

// The smallest semi-axis the fits allow: 1e-6 for data of size 1 and above, scaled
// with the size below, like the step thresholds.
inline double minSemiAxisFor(double size) {
    return size > 0.0 ? stepThreshold(size) : 1e-6;
}

// Angle of the principal axis of the second moments about (cu, cv) of the points'
// projections into the frame (the direction of the larger eigenvalue); 0 for
// moments without a preferred direction.
inline double principalAngle(const Vec3d* begin, const Vec3d* end, const Vec3d& planePoint,
                             const RotationFrame& frame, double cu, double cv) {
    const long long count = static_cast<long long>(pointCount(begin, end));
    double mxx = 0.0, mxy = 0.0, myy = 0.0;
#pragma omp parallel for schedule(static) reduction(+ : mxx, mxy, myy) if (count >= 100000)
    for (long long i = 0; i < count; ++i) {
        const Vec3d q = frame.toLocal(begin[i] - planePoint);
        const double x = q.x - cu;
        const double y = q.y - cv;
        mxx += x * x;
        mxy += x * y;
        myy += y * y;
    }
    // The eigenvector of [[mxx, mxy], [mxy, myy]] with the larger eigenvalue lies
    // at half the angle of (mxx − myy, 2·mxy).
    const double dx = mxx - myy;
    const double dy = 2.0 * mxy;
    return dx == 0.0 && dy == 0.0 ? 0.0 : 0.5 * std::atan2(dy, dx);
}

// Puts a ≥ b: if a < b, a Fixed a keeps its value and b becomes a²/b, a Fixed b
// keeps its value and a becomes b²/a, otherwise the two are swapped; in every
// case the angle turns by a quarter. Both Fixed (only from start values) are
// swapped as well, which keeps the curve the user fixed. A Fixed angle is never
// turned: the a axis then stays where the user put it, even as the shorter one
// (the nearest-point routines take the semi-axes in either order). Finally the
// angle is brought into [0, π).
inline void orderSemiAxes(double& a, double& b, double& angle, ParamState stateA, ParamState stateB,
                          ParamState stateAngle) {
    if (a < b && stateAngle != Fixed) {
        if (stateA == Fixed && stateB == Fixed)
            std::swap(a, b);
        else if (stateA == Fixed)
            b = a * a / b;
        else if (stateB == Fixed)
            a = b * b / a;
        else
            std::swap(a, b);
        angle += kHalfPi;
    }
    angle = reduceAnglePi(angle);
}

// Pointers to the parameters of a shape in its Jacobian order, their states, and
// the positions of the semi-axes, the shape factor (or −1) and the angle.
struct ParameterSet {
    double* value[6];
    const ParamState* state;
    std::size_t count;
    std::size_t indexA, indexB, indexAngle;
    long long indexFactor;
};

// Adds h·δ to the free parameters: the angle component is first reduced modulo
// π; h starts at 1 and is halved while the turn would exceed a quarter, then
// while a semi-axis would fall below minSemiAxis or the shape factor would leave
// [kMinShapeFactor, kMaxShapeFactor]. Then the semi-axes are ordered.
inline void applyStep(const ParameterSet& p, const DMatrix& delta, double minSemiAxis) {
    double step[6] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
    std::uint64_t k = 0;
    for (std::size_t i = 0; i < p.count; ++i) {
        if (p.state[i] == Fixed) continue;
        if (k >= delta.size()) throwAlg3dException(errors::kWrongDimensions);
        step[i] = delta[k++];
    }
    if (k != delta.size()) throwAlg3dException(errors::kWrongDimensions);
    step[p.indexAngle] = std::fmod(step[p.indexAngle], kPi);

    const double a = *p.value[p.indexA], b = *p.value[p.indexB];
    const auto tooFar = [&](double h) {
        if (std::abs(step[p.indexAngle]) * h > kHalfPi) return true;
        if (a + h * step[p.indexA] < minSemiAxis || b + h * step[p.indexB] < minSemiAxis)
            return true;
        if (p.indexFactor >= 0) {
            const std::size_t f = static_cast<std::size_t>(p.indexFactor);
            const double factor = *p.value[f] + h * step[f];
            if (factor < kMinShapeFactor || factor > kMaxShapeFactor) return true;
        }
        return false;
    };
    double h = 1.0;
    int halvings = 0;
    while (tooFar(h)) {
        if (++halvings > kMaxHalvings) {
            h = 0.0;
            break;
        }
        h *= 0.5;
    }
    for (std::size_t i = 0; i < p.count; ++i)
        if (p.state[i] != Fixed) *p.value[i] += h * step[i];
    orderSemiAxes(*p.value[p.indexA], *p.value[p.indexB], *p.value[p.indexAngle], p.state[p.indexA],
                  p.state[p.indexB], p.state[p.indexAngle]);
}

// The Jacobian (rows: points, columns: free parameters) and the residual column
// of a fit object with a distance() member (see the top of this file). An abort
// skips the remaining chunks and the weighting; the caller drops the result.
template <class FitObj>
void buildJacobian(const FitObj& fit, const Vec3d* begin, const Vec3d* end, DMatrix& J, DMatrix& r,
                   bool weighting, long long chunk, long long parallelRows,
                   const std::atomic<bool>* abort) {
    const std::size_t n = pointCount(begin, end);
    std::size_t columns[FitObj::kNumParameters];
    std::size_t m = 0;
    for (std::size_t k = 0; k < FitObj::kNumParameters; ++k)
        if (fit.state[k] != Fixed) columns[m++] = k;
    J.assignZeroParallel(n, m, abort);
    r.assignZeroParallel(n, 1, abort);
    const long long count = static_cast<long long>(n);
    forEachChunk(count, chunk, count >= parallelRows, abort, [&](long long i) {
        const Vec3d q = fit.frame.toLocal(begin[i] - fit.planePoint);
        const PlanarCurveDistance d = fit.distance(q.x, q.y);
        const std::uint64_t row = static_cast<std::uint64_t>(i);
        r[row] = d.distance;
        double* jrow = J.row(row);
        for (std::size_t c = 0; c < m; ++c)
            jrow[c] = d.*(FitObj::kColumns[columns[c]]);
    });
    if (weighting && !isAborted(abort)) applyOutlierWeighting(r, &J, kWeightingMinMeanJacobian);
}

template <class FitObj>
void computeResiduals(const FitObj& fit, const Vec3d* begin, const Vec3d* end, DMatrix& r,
                      bool weighting, long long chunk, long long parallelRows,
                      const std::atomic<bool>* abort) {
    const std::size_t n = pointCount(begin, end);
    r.assignZeroParallel(n, 1, abort);
    const long long count = static_cast<long long>(n);
    forEachChunk(count, chunk, count >= parallelRows, abort, [&](long long i) {
        const Vec3d q = fit.frame.toLocal(begin[i] - fit.planePoint);
        r[static_cast<std::uint64_t>(i)] = fit.distance(q.x, q.y).distance;
    });
    if (weighting && !isAborted(abort))
        applyOutlierWeighting(r, nullptr, kWeightingMinMeanResiduals);
}

}  // namespace planar_curve
}  // namespace approximate
}  // namespace alg3D
