// Thinning of a point cloud: to a wanted number of points (every a-th entry of the
// k-d tree, a = n / m, which is a spatially even subset because the tree's entries
// lie in spatial order) or to a minimum spacing (in tree order, the first point of
// every neighbourhood is kept and every point within spacing + 1e-6 of a kept point
// is removed).
//
// Two steps, so that an aborted run never touches the cloud: thinningToCount and
// thinningToSpacing decide, one flag per point in input order (1 = remove), and
// report whether they ran to the end; compactThinned then removes the flagged points
// and their normals in one pass, keeping the order of the rest. thinToCount and
// thinToSpacing do both on a cloud in place with the removal marks (x of a removed
// point = the largest finite double, x of its normal = the largest finite float)
// and removeMarked drops the marked points and normals.
// Errors: the k-d tree's exceptions (memory). Cost: O(n log n) for the tree; the
//   spacing scan one radius query per kept point; sequential.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "alg3D/algorithm/PointCloudProcessing.h"
#include "alg3D/matrix/GLPoint.h"
#include "alg3D/matrix/Matrix.h"

namespace alg3D {
namespace algorithm {

enum ThinningMode : int { kThinSpacing = 0, kThinCount = 1 };

inline constexpr double kRemovedPointMark = 1.7976931348623157e308;
inline constexpr float kRemovedNormalMark = 3.4028235e38f;

template <typename P>
struct ParamThinning {
    ProcessControl control;  // abort flag, progress, threads
    P* begin = nullptr;      // points, marked in place by thinToCount/thinToSpacing
    P* end = nullptr;
    double radius = 0.0;            // minimum spacing (mode 0)
    std::uint64_t pointNumber = 0;  // wanted count (mode 1)
    int mode = kThinSpacing;
};

// The decisions. `remove` gets one flag per point; false when aborted (then the flags
// are meaningless). Nothing is removed for n <= 1, m = 0 or n < m.
template <typename P>
bool thinningToCount(const ProcessControl& control, const P* begin, const P* end,
                     std::uint64_t count, std::vector<std::uint8_t>& remove);
template <typename P>
bool thinningToSpacing(const ProcessControl& control, const P* begin, const P* end, double spacing,
                       std::vector<std::uint8_t>& remove);

// Removes the flagged points (and the normals beside them, when `normals` is given
// and has one per point); returns the number of points left.
template <typename P>
std::size_t compactThinned(std::vector<P>& points, std::vector<Vec3f>* normals,
                           const std::vector<std::uint8_t>& remove);

// In place with the removal marks: marks nothing unless the run completed.
template <typename P>
bool thinToCount(const ProcessControl& control, P* begin, P* end, std::uint64_t count);
template <typename P>
bool thinToSpacing(const ProcessControl& control, P* begin, P* end, double spacing);
// Runs the mode of the record.
template <typename P>
bool calcThinning(ParamThinning<P>& param);
// Drops every point whose x is the removal mark, and every normal whose x is.
template <typename P>
std::size_t removeMarked(std::vector<P>& points, std::vector<Vec3f>* normals);

}  // namespace algorithm
}  // namespace alg3D
