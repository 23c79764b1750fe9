#include "alg3D/algorithm/TriangleGeometry.h"

#include <algorithm>
#include <cmath>

namespace alg3D {
namespace algorithm {

namespace {
// Region tests compare against zero with this slack (relative to the triangle's size),
// so that round-off near a region boundary does not send a point into a neighbouring
// region.
constexpr double kRegionTolerance = 1e-10;
// Below this (relative to the product of the two squared edge lengths) the
// circumcentre system is treated as singular (collinear corners).
constexpr double kDegenerateDeterminant = 1e-6;
}  // namespace

namespace {

Vec3d closestOnSegment(const Vec3d& p, const Vec3d& a, const Vec3d& b) {
    const Vec3d ab = b - a;
    const double len2 = ab.squaredNorm();
    if (!(len2 > 0.0)) return a;
    const double t = (p - a).dot(ab) / len2;
    if (t <= 0.0) return a;
    if (t >= 1.0) return b;
    return a + ab * t;
}

// A triangle without (numerically usable) area is the union of its edges. The
// region tests cannot classify it: a zero-length edge passes its own edge test
// for every point, and the face formula divides by the vanishing area.
Vec3d closestOnDegenerateTriangle(const Vec3d& p, const Vec3d& a, const Vec3d& b, const Vec3d& c) {
    const Vec3d candidates[3] = {closestOnSegment(p, a, b), closestOnSegment(p, b, c),
                                 closestOnSegment(p, c, a)};
    Vec3d best = candidates[0];
    double bestD2 = (best - p).squaredNorm();
    for (int i = 1; i < 3; ++i) {
        const double d2 = (candidates[i] - p).squaredNorm();
        if (d2 < bestD2) {
            bestD2 = d2;
            best = candidates[i];
        }
    }
    return best;
}

// Squared sine of the triangle's flattest corner, below which it counts as
// degenerate (heights under about 1e-7 of the longest edge).
constexpr double kDegenerateShape = 1e-14;

}  // namespace

Vec3d closestPointOnTriangle(const Vec3d& p, const Vec3d& a, const Vec3d& b, const Vec3d& c) {
    const Vec3d ab = b - a;
    const Vec3d ac = c - a;

    const double longest2 = std::max({ab.squaredNorm(), ac.squaredNorm(), (c - b).squaredNorm()});
    if (!(ab.cross(ac).squaredNorm() > kDegenerateShape * longest2 * longest2))
        return closestOnDegenerateTriangle(p, a, b, c);

    // The dot products d1 .. d6 scale with length², the region values va, vb, vc with
    // length⁴: their slacks scale alike, so that a triangle of a millimetre is treated
    // as one of a metre.
    const double tol = kRegionTolerance * longest2;
    const double tolArea = kRegionTolerance * longest2 * longest2;

    // Corner a.
    const Vec3d ap = p - a;
    const double d1 = ab.dot(ap);
    const double d2 = ac.dot(ap);
    if (d1 <= tol && d2 <= tol) return a;

    // Corner b.
    const Vec3d bp = p - b;
    const double d3 = ab.dot(bp);
    const double d4 = ac.dot(bp);
    if (d3 >= -tol && d4 - d3 <= tol) return b;

    // Edge ab.
    const double vc = d1 * d4 - d3 * d2;
    if (vc <= tolArea && d1 >= -tol && d3 <= tol) {
        if (d1 <= tol) return a;
        const double v = d1 / (d1 - d3);
        return a + ab * v;
    }

    // Corner c.
    const Vec3d cp = p - c;
    const double d5 = ab.dot(cp);
    const double d6 = ac.dot(cp);
    if (d6 >= -tol && d5 - d6 <= tol) return c;

    // Edge ac.
    const double vb = d5 * d2 - d1 * d6;
    if (vb <= tolArea && d2 >= -tol && d6 <= tol) {
        if (d2 <= tol) return a;
        const double w = d2 / (d2 - d6);
        return a + ac * w;
    }

    // Edge bc.
    const double va = d3 * d6 - d5 * d4;
    if (va <= tolArea && d4 - d3 >= -tol && d5 - d6 >= -tol) {
        if (d4 - d3 <= tol) return b;
        const double w = (d4 - d3) / ((d4 - d3) + (d5 - d6));
        return b + (c - b) * w;
    }

    // Face.
    const double k = 1.0 / (va + vb + vc);
    return a + ab * (vb * k) + ac * (vc * k);
}

Vec3d enclosingSphereCentre(const Vec3d& p0, const Vec3d& p1, const Vec3d& p2) {
    const Vec3d u = p1 - p0;
    const Vec3d w = p2 - p0;
    const double L = w.squaredNorm();
    const double V = u.squaredNorm();
    const double W = u.dot(w);
    const double B = 2.0 * (L * V - W * W);

    if (!(std::abs(B) > kDegenerateDeterminant * L * V)) {
        Vec3d centre;
        for (std::size_t k = 0; k < 3; ++k) {
            const double lo = std::min({p0[k], p1[k], p2[k]});
            const double hi = std::max({p0[k], p1[k], p2[k]});
            centre[k] = (lo + hi) / 2.0;
        }
        return centre;
    }

    const double s = L * (V - W) / B;
    const double t = V * (L - W) / B;
    // An obtuse corner puts the circumcentre outside; the longest edge's midpoint
    // is then the centre of the smallest enclosing sphere.
    if (s <= 0.0) return (p0 + p2) * 0.5;
    if (t <= 0.0) return (p0 + p1) * 0.5;
    if (s + t >= 1.0) return (p1 + p2) * 0.5;
    return p0 + u * s + w * t;
}

Vec3d triangleNormal(const Vec3d& v0, const Vec3d& v1, const Vec3d& v2) {
    const Vec3d n = (v1 - v0).cross(v2 - v0);
    const double len2 = n.squaredNorm();
    if (!(len2 > 0.0)) return Vec3d();
    return n / std::sqrt(len2);
}

}  // namespace algorithm
}  // namespace alg3D
