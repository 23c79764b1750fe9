// Enclosure tests of the inscribing elements (see InscribedEnclosure.h).
#include "alg3D/approximate/InscribedEnclosure.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "alg3D/approximate/ConvexHull.h"

namespace alg3D {
namespace approximate {

namespace {
constexpr double kPi = 3.141592653589793;
}  // namespace

bool enclosesCentre(const Vec3d* begin, const Vec3d* end, const Vec3d& centre) {
    ConvexHull hull;
    std::vector<Vec3d> storage;
    buildConvexHull(hull, begin, end, 0.0, storage);
    if (hull.planar() || hull.liveFaceCount() == 0) return false;
    for (const ConvexHull::Face& face : hull.faces()) {
        if (face.valid != 1 || face.normal.squaredNorm() == 0.0) continue;
        if (!(face.distance(centre) < 0.0)) return false;
    }
    return true;
}

bool enclosesAxis(const Vec3d* begin, const Vec3d* end, const Vec3d& point,
                  const Vec3d& direction) {
    const Vec3d d = direction / direction.norm();
    // Any unit vector across the axis, and the third one of the frame.
    const Vec3d helper = std::abs(d.x) < 0.9 ? Vec3d(1.0, 0.0, 0.0) : Vec3d(0.0, 1.0, 0.0);
    Vec3d u = helper - d * helper.dot(d);
    u = u / u.norm();
    const Vec3d v = d.cross(u);
    std::vector<double> angles;
    angles.reserve(static_cast<std::size_t>(end - begin));
    for (const Vec3d* p = begin; p != end; ++p) {
        const Vec3d q = *p - point;
        const double x = q.dot(u), y = q.dot(v);
        if (x != 0.0 || y != 0.0) angles.push_back(std::atan2(y, x));
    }
    if (angles.size() < 3) return false;
    std::sort(angles.begin(), angles.end());
    double gap = angles.front() + 2.0 * kPi - angles.back();
    for (std::size_t i = 1; i < angles.size(); ++i)
        gap = std::max(gap, angles[i] - angles[i - 1]);
    return gap < kPi;
}

}  // namespace approximate
}  // namespace alg3D
