#include "alg3D/algorithm/DistancesPrimitives.h"

#include <omp.h>

#include <cmath>
#include <cstddef>

#include "alg3D/approximate/FitObjCircle3D.h"
#include "alg3D/approximate/FitObjCone.h"
#include "alg3D/approximate/FitObjCylinder.h"
#include "alg3D/approximate/FitObjEllipse3D.h"
#include "alg3D/approximate/FitObjLine3D.h"
#include "alg3D/approximate/FitObjPlane.h"
#include "alg3D/approximate/FitObjSphere.h"
#include "alg3D/approximate/FitObjSuperEllipse3D.h"
#include "alg3D/approximate/FitObjTorus.h"

namespace alg3D {
namespace algorithm {
namespace {

using namespace approximate;

template <typename P, typename Kernel>
void forEach(const P* begin, const P* end, double* out, int threads, const Kernel& kernel) {
    const std::ptrdiff_t n = end - begin;
    if (n <= 0) return;
    const int t = threads > 0 ? threads : omp_get_num_procs();
#pragma omp parallel for schedule(dynamic, 256) num_threads(t) if (n > 1024)
    for (std::ptrdiff_t i = 0; i < n; ++i)
        out[i] = kernel(coords(begin[i]));
}

// Coordinates of x in the plane of a planar curve: along its a axis and across it.
struct InPlane {
    double x, y;
};
InPlane inPlane(const Vec3d& x, const Vec3d& centre, const Vec3d& normal, const Vec3d& axisA) {
    const Vec3d d = x - centre;
    return {d.dot(axisA), d.dot(normal.cross(axisA))};
}

}  // namespace

template <typename P>
void distancesToPrimitive(const FitObjLine3D& line, const P* begin, const P* end, double* out,
                          int threads) {
    forEach(begin, end, out, threads, [&](const Vec3d& x) { return line.deviation(x); });
}

template <typename P>
void distancesToPrimitive(const FitObjPlane& plane, const P* begin, const P* end, double* out,
                          int threads) {
    forEach(begin, end, out, threads, [&](const Vec3d& x) { return plane.deviation(x); });
}

template <typename P>
void distancesToPrimitive(const FitObjCircle3D& circle, const P* begin, const P* end, double* out,
                          int threads) {
    // The circle's value is the cylinder's about its axis.
    FitObjCylinder axis;
    axis.setPoint(circle.center(), Given);
    axis.setDirection(circle.normal, Given);
    axis.setRadius(circle.radius, Given);
    distancesToPrimitive(axis, begin, end, out, threads);
}

template <typename P>
void distancesToPrimitive(const FitObjEllipse3D& ellipse, const P* begin, const P* end, double* out,
                          int threads) {
    const Vec3d c = ellipse.center();
    const Vec3d axisA = ellipse.axisA();
    forEach(begin, end, out, threads, [&](const Vec3d& x) {
        const double d = ellipse.deviation(x);
        const InPlane q = inPlane(x, c, ellipse.normal, axisA);
        const double f =
            (q.x / ellipse.a) * (q.x / ellipse.a) + (q.y / ellipse.b) * (q.y / ellipse.b);
        return f < 1.0 ? -d : d;
    });
}

template <typename P>
void distancesToPrimitive(const FitObjSuperEllipse3D& curve, const P* begin, const P* end,
                          double* out, int threads) {
    const Vec3d c = curve.center();
    const Vec3d axisA = curve.axisA();
    const double e = 1.0 / curve.factor;
    forEach(begin, end, out, threads, [&](const Vec3d& x) {
        const double d = curve.deviation(x);
        const InPlane q = inPlane(x, c, curve.normal, axisA);
        const double f = std::pow((q.x * q.x) / (curve.a * curve.a), e) +
                         std::pow((q.y * q.y) / (curve.b * curve.b), e);
        return f < 1.0 ? -d : d;
    });
}

template <typename P>
void distancesToPrimitive(const FitObjSphere& sphere, const P* begin, const P* end, double* out,
                          int threads) {
    forEach(begin, end, out, threads, [&](const Vec3d& x) { return sphere.deviation(x); });
}

template <typename P>
void distancesToPrimitive(const FitObjCylinder& cylinder, const P* begin, const P* end, double* out,
                          int threads) {
    forEach(begin, end, out, threads, [&](const Vec3d& x) { return cylinder.deviation(x); });
}

template <typename P>
void distancesToPrimitive(const FitObjCone& cone, const P* begin, const P* end, double* out,
                          int threads) {
    const double slope = std::tan(cone.angle);
    forEach(begin, end, out, threads, [&](const Vec3d& x) {
        const double d = cone.deviation(x);
        const Vec3d v = x - cone.point;
        const double h = v.dot(cone.direction);
        const double fromAxis = (v - h * cone.direction).norm();
        return fromAxis < std::abs(cone.radius + h * slope) ? -d : d;
    });
}

template <typename P>
void distancesToPrimitive(const FitObjTorus& torus, const P* begin, const P* end, double* out,
                          int threads) {
    FitObjCircle3D spine;
    spine.setCenter(torus.center, Given);
    spine.setNormal(torus.direction, Given);
    spine.setRadius(torus.r1, Given);
    forEach(begin, end, out, threads,
            [&](const Vec3d& x) { return (x - spine.nearestPoint(x)).norm() - torus.r2; });
}

#define TESSARO_DISTANCES_TO(FitObj)                                                             \
    template void distancesToPrimitive(const FitObj&, const Vec3d*, const Vec3d*, double*, int); \
    template void distancesToPrimitive(const FitObj&, const GLPoint*, const GLPoint*, double*, int);
TESSARO_DISTANCES_TO(FitObjLine3D)
TESSARO_DISTANCES_TO(FitObjPlane)
TESSARO_DISTANCES_TO(FitObjCircle3D)
TESSARO_DISTANCES_TO(FitObjEllipse3D)
TESSARO_DISTANCES_TO(FitObjSuperEllipse3D)
TESSARO_DISTANCES_TO(FitObjSphere)
TESSARO_DISTANCES_TO(FitObjCylinder)
TESSARO_DISTANCES_TO(FitObjCone)
TESSARO_DISTANCES_TO(FitObjTorus)
#undef TESSARO_DISTANCES_TO

}  // namespace algorithm
}  // namespace alg3D
