// Singular value decomposition A = U·diag(w)·Vᵀ (Golub–Kahan–Reinsch: Householder
// reduction to bidiagonal form, then implicit-shift QR sweeps), and the
// least-squares solve built on it.
//
// Shapes for A with m rows and n columns (either m >= n or m < n):
//   U is m x n, w has n entries, V is n x n.
// w is non-negative and descending, and the columns of U and V are ordered alike.
// V is orthogonal; the first min(m, n) columns of U are orthonormal. When m < n the
// last n - m entries of w are 0, the matching columns of U are zero and the
// matching columns of V span the null space of A.
// A value that needs more than 100 QR sweeps stops the iteration: the result so
// far is returned (values made non-negative and sorted) and the call reports false.
// No exceptions. Cost: O(m·n·min(m, n) + n³); the 3x3 overload allocates nothing.
#pragma once

#include <vector>

#include "alg3D/matrix/DMatrix.h"
#include "alg3D/matrix/Matrix.h"

namespace alg3D {

// Returns true when every singular value converged.
bool svd(const DMatrix& a, DMatrix& u, std::vector<double>& w, DMatrix& v);

// Fixed-size version for covariance and cross-covariance matrices:
// a = u · diag(w.x, w.y, w.z) · vᵀ with w.x >= w.y >= w.z >= 0.
bool svd(const Matrix3x3d& a, Matrix3x3d& u, Vec3d& w, Matrix3x3d& v);

// Minimum-norm least-squares solution x (A.cols x b.cols) of A·x ≈ b.
// Singular values below tol (when tol > 0, absolute) and below
// 0.5·√(rows + cols + 1)·w_max·2⁻⁵² are treated as zero, so a singular or
// rank-deficient system gives the minimum-norm solution instead of an error.
// Throws "SVD: matrices have wrong dimensions.\n" when b.rows != A.rows.
DMatrix svdSolve(const DMatrix& a, const DMatrix& b, double tol);

}  // namespace alg3D
