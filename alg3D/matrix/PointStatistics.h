// Point and value statistics shared by the fits, normals and registration:
// centroid, spread and covariance of points (Vec3d or GLPoint, half-open ranges
// [begin, end) or whole vectors), mean and population standard deviation of
// values, and small robust helpers on Vec3d.
// No exceptions: empty input gives zero results. Cost: O(n); centroid and
// covariance reduce in parallel for large ranges, the standard deviation only
// above 1,000,000 values.
#pragma once

#include <vector>

#include "alg3D/matrix/GLPoint.h"
#include "alg3D/matrix/Matrix.h"

namespace alg3D {

// Mean of the points; the zero vector for an empty range.
template <typename P>
Vec3d centroid(const P* begin, const P* end);

// Σ (p - c)(p - c)ᵀ / n, symmetric; the zero matrix for an empty range.
template <typename P>
Matrix3x3d covariance(const P* begin, const P* end, const Vec3d& c);

// The largest distance of a point from the centroid (0 for an empty range): the size
// of the data that unit-independent thresholds scale with.
template <typename P>
double pointSpread(const P* begin, const P* end);

template <typename P>
Vec3d centroid(const std::vector<P>& points) {
    return centroid(points.data(), points.data() + points.size());
}

template <typename P>
Matrix3x3d covariance(const std::vector<P>& points, const Vec3d& c) {
    return covariance(points.data(), points.data() + points.size(), c);
}

struct MeanAndDeviation {
    double mean = 0.0;
    double sigma = 0.0;  // population standard deviation √(Σ(x - mean)² / n)
};

// Two passes (mean, then squared deviations from it). sigma is 0 for fewer than
// two values, mean is 0 for none.
MeanAndDeviation meanAndStdDev(const double* begin, const double* end);
MeanAndDeviation meanAndStdDev(const std::vector<double>& values);

// ‖v‖ as s·‖v/s‖ with s the largest absolute component, so that neither tiny nor
// huge components are lost to underflow or overflow; 0 for the zero vector.
double robustLength(const Vec3d& v);

// v / ‖v‖; the zero vector when the length is 0.
Vec3d normalize(const Vec3d& v);

// True when a == b or |a - b| <= max(1, |a|, |b|)·2⁻⁵² (absolute near zero,
// relative elsewhere). An infinite or NaN operand is only equal to itself (NaN
// to nothing).
bool nearlyEqual(double a, double b);

}  // namespace alg3D
