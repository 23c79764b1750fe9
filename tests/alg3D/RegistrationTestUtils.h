// Rotations of the registration tests: a known rotation from axis and angle, and the
// angle between two rotations, written out independently of the library's own.
#pragma once

#include <algorithm>
#include <cmath>

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

}  // namespace registration_test
