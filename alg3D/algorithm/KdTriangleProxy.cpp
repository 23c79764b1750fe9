#include "alg3D/algorithm/KdTriangleProxy.h"

#include <cmath>
#include <initializer_list>

#include "alg3D/algorithm/TriangleGeometry.h"

namespace alg3D {
namespace algorithm {

template <typename P>
KdTriangleProxy<P>::KdTriangleProxy(const P* v0, const P* v1, const P* v2)
    : vertex0(v0), vertex1(v1), vertex2(v2) {
    centre = enclosingSphereCentre(*v0, *v1, *v2);
    for (std::size_t k = 0; k < 3; ++k) {
        double e = 0.0;
        for (const P* v : {v0, v1, v2}) {
            const double d = std::abs(centre[k] - (*v)[k]);
            if (d > e) e = d;  // a NaN difference never wins
        }
        extent[k] = e;
    }
}

template struct KdTriangleProxy<Vec3d>;

}  // namespace algorithm
}  // namespace alg3D
