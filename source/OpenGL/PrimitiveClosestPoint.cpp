#include "OpenGL/PrimitiveClosestPoint.h"

#include <algorithm>
#include <cmath>

#include "alg3D/approximate/EllipseDistance.h"

using alg3D::Vec3d;

namespace primitive_closest {
namespace {

// Unit direction of q away from the z axis in the plane z = 0 (+x on the axis) and the
// distance from the axis.
void radial(const Vec3d& q, double& ux, double& uy, double& rho) {
    rho = std::hypot(q.x, q.y);
    if (rho > 0) {
        ux = q.x / rho, uy = q.y / rho;
    } else {
        ux = 1, uy = 0;
    }
}

// Closest point to (px, py) on the 2D segment from (ax, ay) to (bx, by).
void segment2d(double px, double py, double ax, double ay, double bx, double by, double& cx,
               double& cy) {
    const double dx = bx - ax, dy = by - ay, len2 = dx * dx + dy * dy;
    const double t = len2 > 0 ? std::clamp(((px - ax) * dx + (py - ay) * dy) / len2, 0.0, 1.0) : 0;
    cx = ax + t * dx;
    cy = ay + t * dy;
}

// The filled area of a curve in z = 0 whose own frame is turned by `angle`: inside the
// projection, outside the closest outline point.
template <class Inside, class Outline>
Vec3d planarArea(const Vec3d& q, double angle, const Inside& inside, const Outline& outline) {
    const double c = std::cos(angle), s = std::sin(angle);
    const double x = c * q.x + s * q.y, y = -s * q.x + c * q.y;
    if (inside(x, y)) return Vec3d(q.x, q.y, 0);
    const alg3D::approximate::CurveClosestPoint p = outline(x, y);
    return Vec3d(c * p.x - s * p.y, s * p.x + c * p.y, 0);
}

}  // namespace

Vec3d segment(const Vec3d& q, double length) {
    return Vec3d(0, 0, std::clamp(q.z, std::min(0.0, length), std::max(0.0, length)));
}

Vec3d disc(const Vec3d& q, double radius) {
    const double rho = std::hypot(q.x, q.y);
    if (rho <= radius) return Vec3d(q.x, q.y, 0);
    return Vec3d(q.x * radius / rho, q.y * radius / rho, 0);
}

Vec3d ellipseArea(const Vec3d& q, double a, double b, double angle) {
    return planarArea(
        q, angle,
        [&](double x, double y) {
            return a > 0 && b > 0 && (x / a) * (x / a) + (y / b) * (y / b) <= 1.0;
        },
        [&](double x, double y) { return alg3D::approximate::closestPointOnEllipse(a, b, x, y); });
}

Vec3d superEllipseArea(const Vec3d& q, double a, double b, double angle, double eps) {
    const double k =
        std::clamp(eps, alg3D::approximate::kMinShapeFactor, alg3D::approximate::kMaxShapeFactor);
    return planarArea(
        q, angle,
        [&](double x, double y) {
            return a > 0 && b > 0 &&
                   std::pow(std::abs(x / a), 2 / k) + std::pow(std::abs(y / b), 2 / k) <= 1.0;
        },
        [&](double x, double y) {
            return alg3D::approximate::closestPointOnSuperEllipse(a, b, k, x, y);
        });
}

Vec3d sphere(const Vec3d& q, double radius) {
    const double d = q.norm();
    if (d == 0) return Vec3d(radius, 0, 0);
    return q * (radius / d);
}

Vec3d tube(const Vec3d& q, double radius, double height) {
    double ux, uy, rho;
    radial(q, ux, uy, rho);
    return Vec3d(radius * ux, radius * uy,
                 std::clamp(q.z, std::min(0.0, height), std::max(0.0, height)));
}

Vec3d cone(const Vec3d& q, double rBottom, double rTop, double height) {
    double ux, uy, rho;
    radial(q, ux, uy, rho);
    // The meridian in the half plane (distance from the axis, z): one segment, or two
    // meeting on the axis when the radius changes sign.
    double cr, cz;
    if ((rBottom < 0) != (rTop < 0) && rBottom != 0 && rTop != 0) {
        const double zApex = height * rBottom / (rBottom - rTop);
        double r1, z1, r2, z2;
        segment2d(rho, q.z, std::abs(rBottom), 0, 0, zApex, r1, z1);
        segment2d(rho, q.z, 0, zApex, std::abs(rTop), height, r2, z2);
        const bool first = std::hypot(rho - r1, q.z - z1) <= std::hypot(rho - r2, q.z - z2);
        cr = first ? r1 : r2;
        cz = first ? z1 : z2;
    } else {
        segment2d(rho, q.z, std::abs(rBottom), 0, std::abs(rTop), height, cr, cz);
    }
    return Vec3d(cr * ux, cr * uy, cz);
}

Vec3d torus(const Vec3d& q, double r1, double r2) {
    double ux, uy, rho;
    radial(q, ux, uy, rho);
    const Vec3d spine(r1 * ux, r1 * uy, 0);
    const Vec3d v = q - spine;
    const double d = v.norm();
    if (d == 0) return spine + Vec3d(ux, uy, 0) * r2;
    return spine + v * (r2 / d);
}

}  // namespace primitive_closest
