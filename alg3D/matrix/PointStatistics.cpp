#include "alg3D/matrix/PointStatistics.h"

#include <algorithm>
#include <cmath>

namespace alg3D {

namespace {

// Below this a parallel team costs more than it saves; small neighbourhoods are
// also summed inside parallel per-point loops, where nesting would not help.
constexpr long long kParallelPoints = 20000;
constexpr long long kParallelValues = 1000000;

template <typename P>
long long countOf(const P* begin, const P* end) {
    return (begin && end > begin) ? static_cast<long long>(end - begin) : 0;
}

}  // namespace

template <typename P>
Vec3d centroid(const P* begin, const P* end) {
    const long long n = countOf(begin, end);
    if (n == 0) return Vec3d(0.0, 0.0, 0.0);
    double sx = 0.0, sy = 0.0, sz = 0.0;
    // The branch keeps small ranges out of the OpenMP runtime altogether: even a
    // disabled parallel region costs about a microsecond per call.
    if (n >= kParallelPoints) {
#pragma omp parallel for schedule(static) reduction(+ : sx, sy, sz)
        for (long long i = 0; i < n; ++i) {
            sx += begin[i].x;
            sy += begin[i].y;
            sz += begin[i].z;
        }
    } else {
        for (long long i = 0; i < n; ++i) {
            sx += begin[i].x;
            sy += begin[i].y;
            sz += begin[i].z;
        }
    }
    const double inv = 1.0 / static_cast<double>(n);
    return Vec3d(sx * inv, sy * inv, sz * inv);
}

template <typename P>
double pointSpread(const P* begin, const P* end) {
    const long long n = countOf(begin, end);
    if (n == 0) return 0.0;
    const Vec3d c = centroid(begin, end);
    double largest = 0.0;
#pragma omp parallel for schedule(static) reduction(max : largest) if (n >= kParallelPoints)
    for (long long i = 0; i < n; ++i) {
        const double dx = begin[i].x - c.x, dy = begin[i].y - c.y, dz = begin[i].z - c.z;
        largest = std::max(largest, dx * dx + dy * dy + dz * dz);
    }
    return std::sqrt(largest);
}

namespace {

template <typename P>
inline void addMoments(const P& p, const Vec3d& c, double& xx, double& xy, double& xz, double& yy,
                       double& yz, double& zz) {
    const double dx = p.x - c.x;
    const double dy = p.y - c.y;
    const double dz = p.z - c.z;
    xx += dx * dx;
    xy += dx * dy;
    xz += dx * dz;
    yy += dy * dy;
    yz += dy * dz;
    zz += dz * dz;
}

}  // namespace

template <typename P>
Matrix3x3d covariance(const P* begin, const P* end, const Vec3d& c) {
    const long long n = countOf(begin, end);
    Matrix3x3d cov = Matrix3x3d::zero();
    if (n == 0) return cov;
    double xx = 0.0, xy = 0.0, xz = 0.0, yy = 0.0, yz = 0.0, zz = 0.0;
    if (n >= kParallelPoints) {
#pragma omp parallel for schedule(static) reduction(+ : xx, xy, xz, yy, yz, zz)
        for (long long i = 0; i < n; ++i)
            addMoments(begin[i], c, xx, xy, xz, yy, yz, zz);
    } else {
        for (long long i = 0; i < n; ++i)
            addMoments(begin[i], c, xx, xy, xz, yy, yz, zz);
    }
    const double inv = 1.0 / static_cast<double>(n);
    cov(0, 0) = xx * inv;
    cov(1, 1) = yy * inv;
    cov(2, 2) = zz * inv;
    cov(0, 1) = cov(1, 0) = xy * inv;
    cov(0, 2) = cov(2, 0) = xz * inv;
    cov(1, 2) = cov(2, 1) = yz * inv;
    return cov;
}

MeanAndDeviation meanAndStdDev(const double* begin, const double* end) {
    MeanAndDeviation r;
    const long long n = countOf(begin, end);
    if (n == 0) return r;
    const bool parallel = n > kParallelValues;
    double sum = 0.0;
    if (parallel) {
#pragma omp parallel for schedule(static) reduction(+ : sum)
        for (long long i = 0; i < n; ++i)
            sum += begin[i];
    } else {
        for (long long i = 0; i < n; ++i)
            sum += begin[i];
    }
    r.mean = sum / static_cast<double>(n);
    if (n < 2) return r;
    const double mean = r.mean;
    double squares = 0.0;
    if (parallel) {
#pragma omp parallel for schedule(static) reduction(+ : squares)
        for (long long i = 0; i < n; ++i)
            squares += (begin[i] - mean) * (begin[i] - mean);
    } else {
        for (long long i = 0; i < n; ++i)
            squares += (begin[i] - mean) * (begin[i] - mean);
    }
    r.sigma = std::sqrt(squares / static_cast<double>(n));
    return r;
}

MeanAndDeviation meanAndStdDev(const std::vector<double>& values) {
    return meanAndStdDev(values.data(), values.data() + values.size());
}

double robustLength(const Vec3d& v) {
    const double s = std::max({std::fabs(v.x), std::fabs(v.y), std::fabs(v.z)});
    if (s == 0.0) return 0.0;
    if (std::isinf(s)) return s;
    const double x = v.x / s, y = v.y / s, z = v.z / s;
    return s * std::sqrt(x * x + y * y + z * z);
}

Vec3d normalize(const Vec3d& v) {
    const double s = std::max({std::fabs(v.x), std::fabs(v.y), std::fabs(v.z)});
    if (s == 0.0) return Vec3d(0.0, 0.0, 0.0);
    // Scale first so that a vector of subnormal components keeps its direction.
    const Vec3d u(v.x / s, v.y / s, v.z / s);
    const double len = std::sqrt(u.x * u.x + u.y * u.y + u.z * u.z);
    return Vec3d(u.x / len, u.y / len, u.z / len);
}

bool nearlyEqual(double a, double b) {
    if (a == b) return true;
    // An infinite operand would make the bound infinite and everything "equal".
    if (!std::isfinite(a) || !std::isfinite(b)) return false;
    const double scale = std::max({1.0, std::fabs(a), std::fabs(b)});
    return std::fabs(a - b) <= scale * 2.220446049250313e-16;
}

template double pointSpread<Vec3d>(const Vec3d*, const Vec3d*);
template double pointSpread<GLPoint>(const GLPoint*, const GLPoint*);
template Vec3d centroid<Vec3d>(const Vec3d*, const Vec3d*);
template Vec3d centroid<GLPoint>(const GLPoint*, const GLPoint*);
template Matrix3x3d covariance<Vec3d>(const Vec3d*, const Vec3d*, const Vec3d&);
template Matrix3x3d covariance<GLPoint>(const GLPoint*, const GLPoint*, const Vec3d&);

}  // namespace alg3D
