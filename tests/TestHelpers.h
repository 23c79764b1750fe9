// Shared test helpers: vector comparison with the relative error in the message, seeded
// random generators so that a failure reproduces, and a small box mesh.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <sstream>
#include <string>
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

// A box mesh whose shared corners repeat exactly, as in an STL file: corner k of the box
// is (x, y, z) = (bit 0, bit 1, bit 2 of k) scaled between the two corners below, all of
// them exact in float.
inline alg3D::Vec3d boxCorner(int k) {
    return alg3D::Vec3d(k & 1 ? 0.5 : -1.5, k & 2 ? 4.0 : 2.25, k & 4 ? 12.75 : 10.0);
}

// The box's twelve triangles as a soup of 36 corners, every face seen from outside
// counter-clockwise.
inline std::vector<alg3D::Vec3d> boxTriangles() {
    const int faces[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4},
                             {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    std::vector<alg3D::Vec3d> corners;
    for (const auto& f : faces)
        for (const int k : {f[0], f[1], f[2], f[0], f[2], f[3]})
            corners.push_back(boxCorner(k));
    return corners;
}

// The box's eight vertices in the order the triangles first use them (not sorted by
// coordinates, so that a sorted result shows).
inline std::vector<alg3D::Vec3d> boxVertices() {
    std::vector<alg3D::Vec3d> vertices;
    for (const int k : {0, 2, 3, 1, 4, 5, 7, 6})
        vertices.push_back(boxCorner(k));
    return vertices;
}

// The bytes of a binary STL file holding a triangle soup (normals left zero).
inline std::string binaryStl(const std::vector<alg3D::Vec3d>& corners) {
    std::string bytes(80, '\0');
    const auto count = static_cast<std::uint32_t>(corners.size() / 3);
    bytes.append(reinterpret_cast<const char*>(&count), 4);
    for (std::size_t t = 0; t < count; ++t) {
        float record[12] = {0.0f, 0.0f, 0.0f};
        for (std::size_t c = 0; c < 3; ++c)
            for (std::size_t k = 0; k < 3; ++k)
                record[3 + 3 * c + k] = static_cast<float>(corners[3 * t + c][k]);
        bytes.append(reinterpret_cast<const char*>(record), sizeof record);
        bytes.append(2, '\0');
    }
    return bytes;
}

}  // namespace testing_helpers

#define EXPECT_VEC_NEAR(a, b, tol) EXPECT_PRED_FORMAT3(testing_helpers::vecNear, a, b, tol)
#define ASSERT_VEC_NEAR(a, b, tol) ASSERT_PRED_FORMAT3(testing_helpers::vecNear, a, b, tol)
