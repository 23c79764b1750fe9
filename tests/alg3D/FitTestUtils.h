// Test data with known least-squares solutions for the fits.
//
// Null-space construction: for points on a shape with unit surface normals n_i and
// the Jacobian J (n x m) of the signed orthogonal distances with respect to the
// shape's parameters at the true values, residuals r with Jᵀr = 0 make the true
// parameters the least-squares solution of the moved points p_i + r_i·n_i (the
// gradient of the signed distance is constant along the normal line). The
// parameterisation of J is the test's own choice; it only has to span the same
// tangent space as the fit's parameters.
#pragma once

#include <Eigen/Dense>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "alg3D/matrix/Matrix.h"

namespace fit_test {

// Random residuals orthogonal to the columns of J, scaled so that the largest
// absolute value is `amplitude`.
inline std::vector<double> nullSpaceResiduals(const Eigen::MatrixXd& J, double amplitude,
                                              std::mt19937_64& rng) {
    std::uniform_real_distribution<double> uni(-1.0, 1.0);
    Eigen::VectorXd z(J.rows());
    for (Eigen::Index i = 0; i < z.size(); ++i)
        z[i] = uni(rng);
    // Project twice: one pass leaves rounding residue of size eps·cond(J).
    Eigen::ColPivHouseholderQR<Eigen::MatrixXd> qr(J);
    for (int pass = 0; pass < 2; ++pass)
        z -= J * qr.solve(z);
    const double maxAbs = z.cwiseAbs().maxCoeff();
    std::vector<double> r(static_cast<std::size_t>(z.size()));
    for (std::size_t i = 0; i < r.size(); ++i)
        r[i] = maxAbs > 0 ? z[Eigen::Index(i)] * (amplitude / maxAbs) : 0.0;
    return r;
}

// Moves each point along its unit normal by its residual.
inline std::vector<alg3D::Vec3d> displaceAlongNormals(const std::vector<alg3D::Vec3d>& points,
                                                      const std::vector<alg3D::Vec3d>& normals,
                                                      const std::vector<double>& r) {
    std::vector<alg3D::Vec3d> moved(points.size());
    for (std::size_t i = 0; i < points.size(); ++i)
        moved[i] = points[i] + r[i] * normals[i];
    return moved;
}

// A random rotation (uniform over SO(3)) as a 3x3 matrix, columns orthonormal.
inline alg3D::Matrix3x3d randomRotation(std::mt19937_64& rng) {
    std::normal_distribution<double> g(0.0, 1.0);
    Eigen::Quaterniond q(g(rng), g(rng), g(rng), g(rng));
    q.normalize();
    const Eigen::Matrix3d m = q.toRotationMatrix();
    alg3D::Matrix3x3d r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r(std::size_t(i), std::size_t(j)) = m(i, j);
    return r;
}

// Angle between two lines' directions, ignoring the sense (well conditioned near 0).
inline double lineAngle(const alg3D::Vec3d& a, const alg3D::Vec3d& b) {
    return std::atan2(a.cross(b).norm(), std::abs(a.dot(b)));
}

// Distance of point q from the line through p with unit direction d.
inline double distanceToLine(const alg3D::Vec3d& q, const alg3D::Vec3d& p, const alg3D::Vec3d& d) {
    return (q - p).cross(d).norm();
}

}  // namespace fit_test
