// Region detection: the connected components of the graph that joins points at
// most radius + 1e-6 apart, found by a flood fill over the k-d tree with exclusion
// marks (finished parts of the tree are no longer visited).
//
// Inputs: points [begin, end) (Vec3d or GLPoint), radius. Outputs: one label per
//   point (0-based, input order; regions numbered in the tree order of their first
//   point) and the number of regions. After an abort the labels are incomplete.
// Also: the colours by label (colour scale at label / regions over 240 degrees) and
//   the small-region selection (points of regions with fewer than maxPoints points).
// Errors: the k-d tree's exceptions (memory). Cost: O(n log n) for the tree and one
//   radius query per point; sequential.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "alg3D/algorithm/PointCloudProcessing.h"
#include "alg3D/matrix/GLPoint.h"
#include "alg3D/matrix/Matrix.h"

namespace alg3D {
namespace algorithm {

template <typename P>
struct ParamRegions {
    ProcessControl control;    // abort flag, progress, threads
    const P* begin = nullptr;  // points
    const P* end = nullptr;
    std::uint64_t* labels = nullptr;  // one per point
    std::uint64_t regionCount = 0;    // out
    double radius = 0.0;
};

// Returns false when aborted.
template <typename P>
bool detectRegions(const ProcessControl& control, const P* begin, const P* end, double radius,
                   std::uint64_t* labels, std::uint64_t& regionCount);

template <typename P>
bool calcRegions(ParamRegions<P>& param) {
    return detectRegions(param.control, param.begin, param.end, param.radius, param.labels,
                         param.regionCount);
}

std::vector<Color> regionColors(const std::vector<std::uint64_t>& labels,
                                std::uint64_t regionCount);

// One flag per point: 1 when its region has fewer than maxPoints points.
std::vector<std::uint8_t> selectSmallRegions(const std::vector<std::uint64_t>& labels,
                                             std::uint64_t regionCount, std::uint64_t maxPoints);

}  // namespace algorithm
}  // namespace alg3D
