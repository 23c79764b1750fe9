#include "alg3D/algorithm/PointCloudProcessing.h"

#include <omp.h>

#include "alg3D/matrix/PointStatistics.h"
#include "alg3D/matrix/SVD.h"

namespace alg3D {
namespace algorithm {

int ProcessControl::teamSize() const {
    return threads > 0 ? threads : omp_get_max_threads();
}

NeighbourhoodAxes analyseNeighbourhood(const Vec3d* begin, const Vec3d* end) {
    NeighbourhoodAxes axes;
    axes.centroid = Vec3d(0.0, 0.0, 0.0);
    axes.singularValues = Vec3d(0.0, 0.0, 0.0);
    axes.normal = Vec3d(0.0, 0.0, 0.0);
    if (!begin || end <= begin) return axes;
    const Vec3d c = centroid(begin, end);
    const Matrix3x3d cov = covariance(begin, end, c);
    Matrix3x3d u, v;
    Vec3d w;
    svd(cov, u, w, v);
    axes.centroid = c;
    axes.singularValues = w;
    axes.normal = Vec3d(v(0, 2), v(1, 2), v(2, 2));
    return axes;
}

}  // namespace algorithm
}  // namespace alg3D
