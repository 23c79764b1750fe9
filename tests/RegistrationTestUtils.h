// Data of the registration tests: a known rotation from axis and angle, and the angle
// between two rotations, written out independently of the library's own; a smooth height
// field with independent samples of it and a mesh of it.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "TestHelpers.h"
#include "alg3D/matrix/Matrix.h"

namespace registration_test {

// Rotation by `angle` (radians) about `axis` (any length).
inline alg3D::Matrix3x3d axisAngle(alg3D::Vec3d axis, double angle) {
    axis = axis.normalized();
    const double c = std::cos(angle), s = std::sin(angle), C = 1 - c;
    alg3D::Matrix3x3d R;
    R(0, 0) = c + axis.x * axis.x * C;
    R(0, 1) = axis.x * axis.y * C - axis.z * s;
    R(0, 2) = axis.x * axis.z * C + axis.y * s;
    R(1, 0) = axis.y * axis.x * C + axis.z * s;
    R(1, 1) = c + axis.y * axis.y * C;
    R(1, 2) = axis.y * axis.z * C - axis.x * s;
    R(2, 0) = axis.z * axis.x * C - axis.y * s;
    R(2, 1) = axis.z * axis.y * C + axis.x * s;
    R(2, 2) = c + axis.z * axis.z * C;
    return R;
}

// Angle (radians) of the rotation A·Bᵀ, 0 when A = B.
inline double rotationDifference(const alg3D::Matrix3x3d& A, const alg3D::Matrix3x3d& B) {
    const alg3D::Matrix3x3d D = A * B.transposed();
    const double c = std::clamp((D(0, 0) + D(1, 1) + D(2, 2) - 1.0) / 2.0, -1.0, 1.0);
    const alg3D::Vec3d s(D(2, 1) - D(1, 2), D(0, 2) - D(2, 0), D(1, 0) - D(0, 1));
    return std::atan2(s.norm() / 2.0, c);
}

// A smooth surface with hills and saddles over [-5, 5]².
inline double height(double x, double y) {
    return 0.8 * std::sin(0.6 * x) + 0.5 * std::cos(0.9 * y + 0.3 * x) + 0.04 * x * y;
}

// n independent uniform samples of the height field over [x0, x1] x [y0, y1], scaled,
// with normal noise of standard deviation `noise` along z.
inline std::vector<alg3D::Vec3d> surfaceSamples(std::size_t n, double x0, double x1, double y0,
                                                double y1, std::uint64_t seed, double unit = 1.0,
                                                double noise = 0.0) {
    auto rng = testing_helpers::seededRng(seed);
    std::uniform_real_distribution<double> ux(x0, x1), uy(y0, y1);
    std::normal_distribution<double> g(0.0, 1.0);
    std::vector<alg3D::Vec3d> p(n);
    for (alg3D::Vec3d& q : p) {
        const double x = ux(rng), y = uy(rng);
        q = alg3D::Vec3d(x, y, height(x, y) + (noise > 0.0 ? noise * g(rng) : 0.0)) * unit;
    }
    return p;
}

// The mesh of the height field over [-5, 5]², cells x cells squares of two triangles (a
// triangle soup, three corners each).
inline std::vector<alg3D::Vec3d> heightMesh(int cells, double unit = 1.0) {
    std::vector<alg3D::Vec3d> corners;
    const double h = 10.0 / cells;
    for (int i = 0; i < cells; ++i)
        for (int j = 0; j < cells; ++j) {
            const double x0 = -5 + i * h, y0 = -5 + j * h, x1 = x0 + h, y1 = y0 + h;
            const alg3D::Vec3d a(x0, y0, height(x0, y0)), b(x1, y0, height(x1, y0)),
                c(x1, y1, height(x1, y1)), d(x0, y1, height(x0, y1));
            for (const alg3D::Vec3d& p : {a, b, c, a, c, d})
                corners.push_back(p * unit);
        }
    return corners;
}

}  // namespace registration_test
