// Triangle soup to indexed mesh: corners that coincide become one shared vertex.
//
// Input: a triangle soup, three consecutive corners per triangle (a trailing partial
//   triangle is ignored). Corners whose distance is at most kMergeRadius (2e-6) are the
//   same vertex.
// Output: `vertices`, the unique vertices numbered in order of first occurrence, each
//   with the coordinates of the corner that first named it; `indices`, three vertex
//   numbers per triangle in soup order. Merging is greedy in soup order: the first
//   corner not yet merged takes every unmerged corner within the radius (itself
//   included), so a corner merged once is never taken again, and chains of close
//   corners are not joined transitively. A corner with a non-finite coordinate is at no
//   distance from anything and becomes a vertex of its own.
// Errors: Alg3dException from the k-d tree when memory runs out.
// Cost: one hashing pass over the soup, then a k-d tree over the distinct corner
//   positions (O(m log m) on two threads, about 100 bytes per position) and one radius
//   query per vertex. Exactly equal corners (the shared corners of STL files) are always
//   taken by the same query, so one of them stands for all of its copies in the tree.
#pragma once

#include <cstdint>
#include <vector>

#include "alg3D/matrix/Matrix.h"

namespace alg3D {
namespace algorithm {

inline constexpr double kMergeRadius = 2e-6;

void mergeCoincidentCorners(const std::vector<Vec3d>& soup, std::vector<Vec3d>& vertices,
                            std::vector<std::uint64_t>& indices);

}  // namespace algorithm
}  // namespace alg3D
