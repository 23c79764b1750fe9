// Smoothing of a point cloud: every point moves to a function of its neighbours
// within a radius, all computed from the unsmoothed coordinates (one Jacobi-style
// pass).
//
// Functions (x = the point, N = its neighbours within r + 1e-6, the point included):
// 1 Gauss: Σ w_i n_i / Σ w_i with w_i = exp(-|x - n_i|² / r).
// 2 Shape preserving: x projected onto the plane through the Gauss mean whose normal
//   is the smallest principal axis of N.
// 3 Feature preserving: d·x + (1 - d)·p' with p' the shape-preserving result and d
//   from the neighbourhood's surface variation σ = 3·w2 / (w0 + w1 + w2):
//   d = σ^(1/4) for σ < 0.1, else 0.975 (edges and corners move by 2.5 % of the way).
// Inputs: points [begin, end), an output array of one Vec3d per point. Outputs: the
//   smoothed coordinates in point order (a copy of the input where nothing moves).
//   A radius of 0 (below 1e-8) changes nothing.
// Errors: the k-d tree's exceptions (memory). Cost: O(n log n) tree, then one radius
//   query and O(|N|) plus one 3x3 SVD per point, parallel over points.
#pragma once

#include <vector>

#include "alg3D/algorithm/PointCloudProcessing.h"
#include "alg3D/matrix/GLPoint.h"
#include "alg3D/matrix/Matrix.h"

namespace alg3D {
namespace algorithm {

enum SmoothingFunction : int {
    kSmoothGauss = 1,
    kSmoothShapePreserving = 2,
    kSmoothFeaturePreserving = 3,
};

template <typename P>
struct ParamSmoothing {
    ProcessControl control;    // abort flag, progress, threads
    const P* begin = nullptr;  // points
    const P* end = nullptr;
    Vec3d* out = nullptr;  // one coordinate per point
    double radius = 0.0;   // neighbourhood radius
    int function = kSmoothGauss;
};

Vec3d smoothGauss(const std::vector<Vec3d>& n, const Vec3d& x, double r);
Vec3d smoothShapePreserving(const std::vector<Vec3d>& n, const Vec3d& x, double r);
Vec3d smoothFeaturePreserving(const std::vector<Vec3d>& n, const Vec3d& x, double r);

template <typename P>
void calcSmoothing(ParamSmoothing<P>& param);

}  // namespace algorithm
}  // namespace alg3D
