#include "alg3D/approximate/AxisEstimate.h"

#include <atomic>
#include <cmath>
#include <limits>

#include "alg3D/approximate/FitObjCircle3D.h"
#include "alg3D/matrix/DMatrix.h"
#include "alg3D/matrix/PointStatistics.h"
#include "alg3D/matrix/SVD.h"

namespace alg3D {
namespace approximate {

namespace {

// Axis point of a cone (or cylinder) with the given axis direction, by the
// algebraic fit of x² + y² = (R + t·h)² in the frame of the axis: with the axis
// through (cx, cy), x² + y² = 2cx·x + 2cy·y + (R² − cx² − cy²) + 2Rt·h + t²·h² is
// linear in its five unknowns. A circle fit across the axis would put the centre of
// a steep cone section off the axis; this is exact for points on any cone with
// that axis. The point returned lies in the plane across the axis through the
// centroid; `direction` receives the unit axis.
Vec3d coneCenter(const std::vector<Vec3d>& points, const Vec3d& axis, Vec3d& direction) {
    RotationFrame frame;
    frame.setDirection(axis);
    direction = frame.direction();
    const Vec3d origin = centroid(points);
    const std::size_t n = points.size();
    double squares = 0.0;
    for (const Vec3d& p : points)
        squares += (p - origin).squaredNorm();
    const double scale = std::sqrt(squares / double(n));
    if (!(scale > 0.0) || !std::isfinite(scale)) return origin;
    DMatrix a(n, 5), b(n, 1);
    for (std::size_t i = 0; i < n; ++i) {
        const Vec3d q = frame.toLocal(points[i] - origin) / scale;
        double* row = a.row(i);
        row[0] = 2.0 * q.x;
        row[1] = 2.0 * q.y;
        row[2] = 1.0;
        row[3] = 2.0 * q.z;
        row[4] = q.z * q.z;
        b[i] = q.x * q.x + q.y * q.y;
    }
    const DMatrix u = svdSolve(a, b, 0.0);
    const Vec3d center = origin + frame.toWorld(Vec3d(u[0] * scale, u[1] * scale, 0.0));
    const bool finite =
        std::isfinite(center.x) && std::isfinite(center.y) && std::isfinite(center.z);
    return finite ? center : origin;
}

// The candidate fitted: axis point (circle across the axis, or the cone's
// algebraic centre), then the generator line.
AxisFit fitCandidate(const std::vector<Vec3d>& points, const Vec3d& axis, const AxisStart& start,
                     const std::atomic<bool>& abort) {
    AxisFit fit;
    fit.score = std::numeric_limits<double>::quiet_NaN();
    if (start.cone && start.pointState != Fixed) {
        fit.point = coneCenter(points, axis, fit.direction);
    } else {
        FitObjCircle3D circle;
        circle.setNormal(axis, Fixed);
        if (start.pointState != Estimate) circle.setCenter(start.point, start.pointState);
        if (start.radiusState != Estimate) circle.setRadius(start.radius, start.radiusState);
        std::atomic<float> progress{0.0f};
        approximateGaussNewton(points.data(), points.data() + points.size(), circle, 50, false,
                               abort, progress);
        fit.direction = circle.normal;
        fit.point = circle.center();
        fit.radius = circle.radius;
    }

    // Position along the axis (h) and distance from it (rho) of every point.
    const std::size_t n = points.size();
    std::vector<double> h(n), rho(n);
    double sh = 0.0, sr = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const Vec3d d = points[i] - fit.point;
        h[i] = d.dot(fit.direction);
        rho[i] = (d - h[i] * fit.direction).norm();
        sh += h[i];
        sr += rho[i];
    }
    const double meanH = sh / double(n), meanRho = sr / double(n);
    fit.slope = start.slope;
    if (start.fitSlope) {
        double shh = 0.0, shr = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            shh += (h[i] - meanH) * (h[i] - meanH);
            shr += (h[i] - meanH) * (rho[i] - meanRho);
        }
        // Points all at one height show no slope.
        fit.slope = shh > 0.0 ? shr / shh : 0.0;
    }
    fit.intercept = meanRho - fit.slope * meanH;
    if (start.cone && start.pointState != Fixed) fit.radius = fit.intercept;
    // Distance from the generator line in the meridian plane.
    const double norm = std::sqrt(1.0 + fit.slope * fit.slope);
    std::vector<double> distances(n);
    for (std::size_t i = 0; i < n; ++i)
        distances[i] = (rho[i] - fit.intercept - fit.slope * h[i]) / norm;
    fit.score = meanAndStdDev(distances).sigma;
    return fit;
}

}  // namespace

std::vector<Vec3d> estimateSubsample(const Vec3d* begin, std::size_t n) {
    std::vector<Vec3d> sample;
    if (!begin || n == 0) return sample;
    const std::size_t stride = n < 1000 ? 1 : n / 1000;
    sample.reserve(n / stride + 1);
    for (std::size_t i = 0; i < n; i += stride)
        sample.push_back(begin[i]);
    return sample;
}

std::vector<Vec3d> principalCandidateAxes(const std::vector<Vec3d>& points, const Vec3d& c) {
    Matrix3x3d u, v;
    Vec3d w;
    svd(covariance(points, c), u, w, v);
    const Vec3d e0(u(0, 0), u(1, 0), u(2, 0));
    const Vec3d e1(u(0, 1), u(1, 1), u(2, 1));
    const Vec3d e2(u(0, 2), u(1, 2), u(2, 2));
    return {e0,
            e1,
            e2,
            normalize(e0 + e1 + e2),
            normalize(e0 + e1 - e2),
            normalize(e0 - e1 + e2),
            normalize(e1 + e2 - e0)};
}

bool quadricAxis(const std::vector<Vec3d>& points, const Vec3d& c, Vec3d& axis) {
    const std::size_t n = points.size();
    if (n < 9) return false;
    // Centred and scaled to unit RMS distance, so that the monomials are balanced.
    double squares = 0.0;
    for (const Vec3d& p : points)
        squares += (p - c).squaredNorm();
    const double scale = std::sqrt(squares / double(n));
    if (!(scale > 0.0) || !std::isfinite(scale)) return false;
    DMatrix design(n, 10);
    for (std::size_t i = 0; i < n; ++i) {
        const Vec3d q = (points[i] - c) / scale;
        double* row = design.row(i);
        row[0] = q.x * q.x;
        row[1] = q.y * q.y;
        row[2] = q.z * q.z;
        row[3] = 2.0 * q.x * q.y;
        row[4] = 2.0 * q.x * q.z;
        row[5] = 2.0 * q.y * q.z;
        row[6] = q.x;
        row[7] = q.y;
        row[8] = q.z;
        row[9] = 1.0;
    }
    DMatrix uq, vq;
    std::vector<double> wq;
    svd(design, uq, wq, vq);
    // Coefficients: the right singular vector of the smallest singular value.
    const std::size_t k = wq.size() - 1;
    const Matrix3x3d quad(vq(0, k), vq(3, k), vq(4, k), vq(3, k), vq(1, k), vq(5, k), vq(4, k),
                          vq(5, k), vq(2, k));
    // Eigenvalues of the symmetric quadratic part from its SVD: |λ| = w, the sign
    // from whether the left and right vectors agree.
    Matrix3x3d u, v;
    Vec3d w;
    svd(quad, u, w, v);
    double lambda[3];
    Vec3d vectors[3];
    for (std::size_t j = 0; j < 3; ++j) {
        vectors[j] = Vec3d(u(0, j), u(1, j), u(2, j));
        const Vec3d right(v(0, j), v(1, j), v(2, j));
        lambda[j] = vectors[j].dot(right) < 0.0 ? -w[j] : w[j];
    }
    // Order by value and take the one farther from the middle.
    std::size_t order[3] = {0, 1, 2};
    for (std::size_t a = 0; a < 3; ++a)
        for (std::size_t b = a + 1; b < 3; ++b)
            if (lambda[order[b]] < lambda[order[a]]) std::swap(order[a], order[b]);
    const double low = lambda[order[1]] - lambda[order[0]];
    const double high = lambda[order[2]] - lambda[order[1]];
    const Vec3d result = normalize(low > high ? vectors[order[0]] : vectors[order[2]]);
    if (!std::isfinite(result.x) || !std::isfinite(result.y) || !std::isfinite(result.z) ||
        result == Vec3d(0.0, 0.0, 0.0))
        return false;
    axis = result;
    return true;
}

AxisFit bestAxis(const std::vector<Vec3d>& points, const std::vector<Vec3d>& candidates,
                 const AxisStart& start, const std::atomic<bool>* abort) {
    const std::atomic<bool> noAbort{false};
    const std::atomic<bool>& stop = abort ? *abort : noAbort;
    const long long count = static_cast<long long>(candidates.size());
    std::vector<AxisFit> fits(candidates.size());
#pragma omp parallel for schedule(dynamic, 1)
    for (long long k = 0; k < count; ++k)
        fits[std::size_t(k)] = fitCandidate(points, candidates[std::size_t(k)], start, stop);
    // Smallest spread wins; the running best starts at the largest double, so a
    // failed candidate (NaN score) never does. Without any valid one the first
    // candidate is taken.
    std::size_t best = 0;
    double bestScore = 1.7976931348623157e308;
    for (std::size_t k = 0; k < fits.size(); ++k) {
        if (fits[k].score < bestScore) {
            bestScore = fits[k].score;
            best = k;
        }
    }
    return fits.empty() ? AxisFit{} : fits[best];
}

}  // namespace approximate
}  // namespace alg3D
