// The vertices of a triangle soup: a mesh as the file layer holds it (three corners per
// triangle, a corner shared by n triangles repeated n times) reduced to its points.
//
// Input: the corners in any number (a trailing partial triangle is taken as it is).
// Output: every distinct corner once, in the order of its first appearance. Corners are
// the same vertex when their coordinates are exactly equal (0 and -0 count as equal):
// meshes read from STL repeat the very same float values at shared corners, so no
// tolerance is needed, and none is applied to corners that are merely close.
// Cost: one pass with a hash map, expected O(n) time and O(vertices) extra memory.
#pragma once

#include <cstdint>
#include <vector>

#include "alg3D/matrix/Matrix.h"

namespace tessaro {
namespace commands {

std::vector<alg3D::Vec3d> meshVertices(const std::vector<alg3D::Vec3d>& corners);

// The same vertices, and for every corner the index of its vertex (so a soup of whole
// triangles gives three indices per triangle).
void indexMeshCorners(const std::vector<alg3D::Vec3d>& corners, std::vector<alg3D::Vec3d>& vertices,
                      std::vector<std::uint64_t>& indices);

}  // namespace commands
}  // namespace tessaro
