// Surface normals of a point cloud from the principal axes of every point's
// neighbourhood: the singular vector of the smallest singular value of the
// neighbourhood's covariance, not oriented (the sign is the decomposition's).
//
// Inputs: points [begin, end) (Vec3d or GLPoint), an output array of one Vec3f per
//   point (in point order, zero on entry), and the neighbourhood: mode 0 "Auto"
//   (k = 30 up to 2,097,151 points, above that one normal per block of the k-d tree
//   at depth 21), 1 "Radius" (all points within radius + 1e-6), 2 "Point number"
//   (the k nearest points, up to three attempts with k doubled when the
//   neighbourhood is degenerate to a line).
// Outputs: the normals; (0, 0, 0) marks a point without a usable neighbourhood and
//   every point not processed before an abort.
// Errors: the k-d tree's exceptions (memory). Cost: O(n log n) for the tree, then
//   one neighbourhood query and one 3x3 SVD per point (per block in the large auto
//   case), parallel over points.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "alg3D/algorithm/KdTree.h"
#include "alg3D/algorithm/PointCloudProcessing.h"
#include "alg3D/matrix/GLPoint.h"
#include "alg3D/matrix/Matrix.h"

namespace alg3D {
namespace algorithm {

enum NormalsMode : int { kNormalsAuto = 0, kNormalsRadius = 1, kNormalsPointNumber = 2 };

// Largest cloud the auto mode handles point by point (0x1FFFFF).
inline constexpr std::size_t kNormalsAutoMaxPointwise = 2097151;
// k of the auto mode, and the tree depth of its blocks for larger clouds.
inline constexpr std::size_t kNormalsAutoK = 30;
inline constexpr unsigned kNormalsAutoDepth = 21;

template <typename P, typename N = matrix::Matrix<float, 3, 1>>
struct ParamNormals {
    ProcessControl control;    // abort flag, progress, threads
    const P* begin = nullptr;  // points
    const P* end = nullptr;
    N* out = nullptr;     // one normal per point, zero-initialised by the caller
    double radius = 0.0;  // mode 1
    std::uint64_t pointNumber = kNormalsAutoK;  // mode 2
    int mode = kNormalsAuto;
};

// Dispatches on the mode (any other mode value runs the auto mode).
template <typename P>
void calcNormals(ParamNormals<P>& param);

template <typename P>
void normalsAuto(const ProcessControl& control, const P* begin, const P* end, Vec3f* out);
template <typename P>
void normalsRadius(const ProcessControl& control, const P* begin, const P* end, Vec3f* out,
                   double radius);
template <typename P>
void normalsKNearest(const ProcessControl& control, const P* begin, const P* end, Vec3f* out,
                     std::size_t k);

// The normal normalsKNearest computes for one point q of a built tree (the same three
// attempts, k at most the element count), for callers that need only some of them.
// `neighbourhood`, when given, receives the coordinates of the neighbours of the last
// attempt (those the normal comes from).
template <typename P>
Vec3f normalKNearestAt(const KdTree<P>& tree, const Vec3d& q, std::size_t k,
                       std::vector<Vec3d>* neighbourhood = nullptr);

}  // namespace algorithm
}  // namespace alg3D
