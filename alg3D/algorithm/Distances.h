// Distances of a test point cloud from a reference point cloud or a triangle mesh.
//
// Points to points: for every test point the distance to its nearest reference point
//   (k-d tree over the reference), or -1 when the reference is empty, the maximum
//   distance is negative, or no reference point lies within a positive maximum
//   distance. A test point closer than 1e-6 to a reference point always gets that
//   distance.
// Points to mesh: for every test point the distance to the closest point of the
//   triangles, negative when the point lies behind the triangle's normal; a point
//   with no triangle within a positive maximum distance keeps the largest finite
//   double (the entry's value before the run).
// Inputs: the parameter record (reference range, test range, maximum distance with 0
//   = unbounded, result array of one double per test point, in test order).
// Progress advances in percent, 100 at the end; a set abort flag stops the loops and
//   leaves the remaining entries at the largest finite double.
// Errors: the tree's build errors (Alg3dException). Cost: O(n log n) for the tree,
//   O(log n) per test point on average; both loops run on `threads` OpenMP threads.
#pragma once

#include <atomic>
#include <cstddef>
#include <limits>
#include <vector>

#include "alg3D/algorithm/KdTriangleProxy.h"
#include "alg3D/matrix/GLPoint.h"
#include "alg3D/matrix/Matrix.h"

namespace alg3D {
namespace algorithm {

// Value of a result entry before the computation (and of a mesh point without a partner).
inline constexpr double kDistanceUnset = std::numeric_limits<double>::max();
// Value of a test point without a reference point (point clouds).
inline constexpr double kDistanceNoPartner = -1.0;

// Shared with the controlling thread while a distance loop runs.
struct DistanceControl {
    std::atomic<bool> abort{false};     // set by the controlling thread
    std::atomic<float> progress{0.0f};  // percent, advanced by the worker
    int threads = 0;                    // OpenMP threads; 0 = all processors
};

// P: reference point type, Q: test point type (Vec3d or GLPoint each).
template <typename P, typename Q>
struct ParamDistances {
    DistanceControl control;
    const P* referenceBegin = nullptr;
    const P* referenceEnd = nullptr;
    const Q* testBegin = nullptr;
    const Q* testEnd = nullptr;
    double maxDistance = 0.0;               // 0 = unbounded
    std::vector<double>* result = nullptr;  // resized to the test count, kDistanceUnset first
};

// T: the triangle proxy (KdTriangleProxy<Vec3d>), P: test point type.
template <typename T, typename P>
struct ParamDistances2Mesh {
    DistanceControl control;
    const T* triangleBegin = nullptr;
    const T* triangleEnd = nullptr;
    const P* testBegin = nullptr;
    const P* testEnd = nullptr;
    double maxDistance = 0.0;               // 0 = unbounded
    std::vector<double>* result = nullptr;  // resized to the test count, kDistanceUnset first
};

// Worker bodies; both throw only from the tree build.
template <typename P, typename Q>
void calcDistancesPts2Pts(ParamDistances<P, Q>& param);

template <typename T, typename P>
void calcDistancesMesh(ParamDistances2Mesh<T, P>& param);

// One proxy per triangle of a triangle soup (three consecutive corners per triangle;
// a trailing incomplete triangle is ignored). The proxies point into `corners`.
std::vector<KdTriangleProxy<Vec3d>> makeTriangleProxies(const std::vector<Vec3d>& corners);

}  // namespace algorithm
}  // namespace alg3D
