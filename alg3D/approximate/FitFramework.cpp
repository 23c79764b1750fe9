// Non-template parts of the fit framework: outlier weighting, the rotation frame
// of the shapes with an axis, angle reduction and the size-dependent thresholds.
#include "alg3D/approximate/FitFramework.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "alg3D/matrix/Alg3dException.h"
#include "alg3D/matrix/PointStatistics.h"

namespace alg3D {
namespace approximate {

namespace {

// The weighting pass and the size scan are a few operations per value; a team
// only pays off for large inputs.
constexpr long long kParallelValues = 100000;

}  // namespace

void applyOutlierWeighting(DMatrix& r, DMatrix* J, double minMean) {
    const std::uint64_t n = r.size();
    if (n == 0) return;
    if (J && J->rows() != n) throwAlg3dException(errors::kWrongDimensions);
    const MeanAndDeviation stats = meanAndStdDev(r.data(), r.data() + n);
    if (!(stats.mean > minMean)) return;
    const double tau = stats.mean + 3.0 * stats.sigma;
    double* values = r.data();
    const long long count = static_cast<long long>(n);
    const std::uint64_t cols = J ? J->cols() : 0;
#pragma omp parallel for schedule(static) if (count >= kParallelValues)
    for (long long i = 0; i < count; ++i) {
        if (values[i] > tau) {
            values[i] = 0.0;
            if (cols > 0) {
                double* row = J->row(static_cast<std::uint64_t>(i));
                std::fill(row, row + cols, 0.0);
            }
        }
    }
}

void RotationFrame::setDirection(const Vec3d& direction) {
    const Vec3d d = normalize(direction);
    rotation_ = Matrix3x3d::identity();
    if (d.x == 0.0 && d.y == 0.0) {
        if (d.z < 0.0) {
            rotation_(1, 1) = -1.0;
            rotation_(2, 2) = -1.0;
        }
        return;
    }
    // Rodrigues' formula about k = (z × d)/|z × d| = (−d_y, d_x, 0)/s with
    // sin = s and cos = d_z; 1 − cos is formed without cancellation near +z.
    const double s = std::hypot(d.x, d.y);
    const double c = d.z;
    const double kx = -d.y / s;
    const double ky = d.x / s;
    const double omc = c > 0.0 ? s * s / (1.0 + c) : 1.0 - c;
    rotation_(0, 0) = c + omc * kx * kx;
    rotation_(0, 1) = omc * kx * ky;
    rotation_(0, 2) = d.x;
    rotation_(1, 0) = omc * kx * ky;
    rotation_(1, 1) = c + omc * ky * ky;
    rotation_(1, 2) = d.y;
    rotation_(2, 0) = -s * ky;
    rotation_(2, 1) = s * kx;
    rotation_(2, 2) = c;
}

void RotationFrame::rotate(double a1, double a2) {
    const double c1 = std::cos(a1), s1 = std::sin(a1);
    const double c2 = std::cos(a2), s2 = std::sin(a2);
    // About the frame's own axes: R·Rx(a1)·Ry(a2).
    const Matrix3x3d rx(1.0, 0.0, 0.0, 0.0, c1, -s1, 0.0, s1, c1);
    const Matrix3x3d ry(c2, 0.0, s2, 0.0, 1.0, 0.0, -s2, 0.0, c2);
    const Matrix3x3d r = rotation_ * rx * ry;
    // Re-orthonormalise, the direction first, so that hundreds of steps do not
    // let the frame drift away from a rotation.
    const Vec3d z = normalize(Vec3d(r(0, 2), r(1, 2), r(2, 2)));
    Vec3d x(r(0, 0), r(1, 0), r(2, 0));
    x = normalize(x - x.dot(z) * z);
    const Vec3d y = z.cross(x);
    for (std::size_t i = 0; i < 3; ++i) {
        rotation_(i, 0) = x[i];
        rotation_(i, 1) = y[i];
        rotation_(i, 2) = z[i];
    }
}

Vec3d RotationFrame::toLocal(const Vec3d& v) const {
    const Matrix3x3d& r = rotation_;
    return Vec3d(r(0, 0) * v.x + r(1, 0) * v.y + r(2, 0) * v.z,
                 r(0, 1) * v.x + r(1, 1) * v.y + r(2, 1) * v.z,
                 r(0, 2) * v.x + r(1, 2) * v.y + r(2, 2) * v.z);
}

Vec3d RotationFrame::toWorld(const Vec3d& q) const {
    const Matrix3x3d& r = rotation_;
    return Vec3d(r(0, 0) * q.x + r(0, 1) * q.y + r(0, 2) * q.z,
                 r(1, 0) * q.x + r(1, 1) * q.y + r(1, 2) * q.z,
                 r(2, 0) * q.x + r(2, 1) * q.y + r(2, 2) * q.z);
}

double reduceAngle2Pi(double angle) {
    return std::fmod(angle, 6.283185307179586);
}

double dataSize(const Vec3d* begin, const Vec3d* end) {
    const std::size_t n = pointCount(begin, end);
    if (n == 0) return 0.0;
    const Vec3d c = centroid(begin, end);
    const long long count = static_cast<long long>(n);
    double maxSquared = 0.0;
#pragma omp parallel for schedule(static) reduction(max : maxSquared) if (count >= kParallelValues)
    for (long long i = 0; i < count; ++i) {
        const Vec3d d = begin[i] - c;
        maxSquared = std::max(maxSquared, d.squaredNorm());
    }
    return std::sqrt(maxSquared);
}

double stepThreshold(double size) {
    if (size >= 1.0) return 1e-6;
    if (size > 0.0) return 1e-6 * size;
    return std::numeric_limits<double>::min();
}

double gradientThreshold(double size) {
    if (size >= 1.0) return 1e-6;
    if (size > 0.0) return std::max(1e-6 * size * size, std::numeric_limits<double>::min());
    return std::numeric_limits<double>::min();
}

double solveTolerance(double size) {
    return gradientThreshold(size);
}

}  // namespace approximate
}  // namespace alg3D
