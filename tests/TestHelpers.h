// Shared test helpers: vector comparison with the relative error in the message,
// and seeded random generators so that a failure reproduces.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <sstream>
#include <vector>

#include "alg3D/matrix/Matrix.h"

namespace testing_helpers {

template <typename V>
::testing::AssertionResult vecNear(const char* ea, const char* eb, const char*, const V& a,
                                   const V& b, double tol) {
    double diff = 0.0, scale = 0.0;
    for (std::size_t i = 0; i < V::size; ++i) {
        diff = std::max(diff, std::abs(double(a[i]) - double(b[i])));
        scale = std::max({scale, std::abs(double(a[i])), std::abs(double(b[i]))});
    }
    if (diff <= tol) return ::testing::AssertionSuccess();
    std::ostringstream s;
    s.precision(17);
    s << ea << " and " << eb << " differ by " << diff << " (relative "
      << (scale > 0 ? diff / scale : diff) << ", tolerance " << tol << "):\n  (";
    for (std::size_t i = 0; i < V::size; ++i)
        s << (i ? ", " : "") << a[i];
    s << ")\n  (";
    for (std::size_t i = 0; i < V::size; ++i)
        s << (i ? ", " : "") << b[i];
    s << ")";
    return ::testing::AssertionFailure() << s.str();
}

inline std::mt19937_64 seededRng(std::uint64_t seed) {
    return std::mt19937_64(seed);
}

// Points whose minimum-zone sphere is known: the six octahedron directions lie `delta`
// outside the sphere (centre, r), the eight cube directions `delta` inside, and `count`
// random points strictly between. The zone is the sphere itself with half-width delta.
inline std::vector<alg3D::Vec3d> sphereZonePoints(const alg3D::Vec3d& centre, double r,
                                                  double delta, std::uint64_t seed, int count) {
    using alg3D::Vec3d;
    std::vector<Vec3d> points;
    for (int a = 0; a < 3; ++a)
        for (const double s : {-1.0, 1.0}) {
            Vec3d d(0.0, 0.0, 0.0);
            d[static_cast<std::size_t>(a)] = s;
            points.push_back(centre + (r + delta) * d);
        }
    for (int c = 0; c < 8; ++c) {
        const Vec3d d =
            Vec3d(c & 1 ? 1.0 : -1.0, c & 2 ? 1.0 : -1.0, c & 4 ? 1.0 : -1.0).normalized();
        points.push_back(centre + (r - delta) * d);
    }
    auto rng = seededRng(seed);
    std::normal_distribution<double> g(0.0, 1.0);
    std::uniform_real_distribution<double> inside(-0.9 * delta, 0.9 * delta);
    for (int i = 0; i < count; ++i) {
        const Vec3d d = Vec3d(g(rng), g(rng), g(rng)).normalized();
        points.push_back(centre + (r + inside(rng)) * d);
    }
    return points;
}

// Six flat, bent clusters around irregular centres: every rigid motion of them shows, so
// registration tests recover it. Point i belongs to cluster i mod 6.
inline std::vector<alg3D::Vec3d> clusterPoints(std::size_t n, std::uint64_t seed) {
    using alg3D::Vec3d;
    auto rng = seededRng(seed);
    std::normal_distribution<double> g(0.0, 1.0);
    const Vec3d centres[] = {{0, 0, 0}, {9, 1, 0}, {2, 8, 1}, {1, 2, 7}, {8, 7, 5}, {-6, 3, -2}};
    std::vector<Vec3d> p;
    for (std::size_t i = 0; i < n; ++i) {
        const double x = 0.5 * g(rng), y = 0.3 * g(rng), z = 0.15 * g(rng);
        p.push_back(centres[i % 6] + Vec3d(x + 0.2 * y * y, y, z + 0.05 * x * x));
    }
    return p;
}

}  // namespace testing_helpers

#define EXPECT_VEC_NEAR(a, b, tol) EXPECT_PRED_FORMAT3(testing_helpers::vecNear, a, b, tol)
#define ASSERT_VEC_NEAR(a, b, tol) ASSERT_PRED_FORMAT3(testing_helpers::vecNear, a, b, tol)
