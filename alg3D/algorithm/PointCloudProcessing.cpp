#include "alg3D/algorithm/PointCloudProcessing.h"

#include <omp.h>

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
    const double n = static_cast<double>(end - begin);
    double sx = 0.0, sy = 0.0, sz = 0.0;
    for (const Vec3d* p = begin; p != end; ++p) {
        sx += p->x;
        sy += p->y;
        sz += p->z;
    }
    const Vec3d c(sx / n, sy / n, sz / n);
    double xx = 0.0, xy = 0.0, xz = 0.0, yy = 0.0, yz = 0.0, zz = 0.0;
    for (const Vec3d* p = begin; p != end; ++p) {
        const double dx = p->x - c.x, dy = p->y - c.y, dz = p->z - c.z;
        xx += dx * dx;
        xy += dx * dy;
        xz += dx * dz;
        yy += dy * dy;
        yz += dy * dz;
        zz += dz * dz;
    }
    const Matrix3x3d cov(xx / n, xy / n, xz / n, xy / n, yy / n, yz / n, xz / n, yz / n, zz / n);
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
