// Stand-in for one mesh triangle in the triangle k-d tree.
//
// Built from pointers to the triangle's three corners in the mesh's vertex
// storage (not owned; they must outlive the proxy). The proxy's key is the centre
// of the triangle's smallest enclosing sphere; `extent` bounds the triangle around
// that centre per axis, so the tree can prune whole triangles by their keys.
// Construction is O(1) and never throws.
#pragma once

#include "alg3D/matrix/Matrix.h"

namespace alg3D {
namespace algorithm {

template <typename P>
struct KdTriangleProxy {
    // Per axis the largest abs(centre[k] - vertex_i[k]); a NaN difference counts as 0.
    P extent;
    // Centre of the smallest sphere enclosing the triangle.
    P centre;
    const P* vertex0 = nullptr;
    const P* vertex1 = nullptr;
    const P* vertex2 = nullptr;

    KdTriangleProxy() = default;
    KdTriangleProxy(const P* v0, const P* v1, const P* v2);
};

extern template struct KdTriangleProxy<Vec3d>;

}  // namespace algorithm
}  // namespace alg3D
