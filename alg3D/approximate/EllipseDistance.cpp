#include "alg3D/approximate/EllipseDistance.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <utility>

namespace alg3D {
namespace approximate {

namespace {

constexpr double kEps = std::numeric_limits<double>::epsilon();
constexpr double kInf = std::numeric_limits<double>::infinity();

// The curve a non-positive semi-axis leaves: the segment [−a, a] on the x axis (a
// point for a ≤ 0). It has no normal.
CurveClosestPoint closestPointOnSegment(double a, double x, double y) {
    const double half = a > 0.0 ? a : 0.0;
    CurveClosestPoint cp;
    cp.x = std::clamp(x, -half, half);
    cp.y = 0.0;
    cp.distance = std::hypot(x - cp.x, y);
    return cp;
}

// Root t of F(t) = (r0·z0/(t + r0))² + (z1/(t + 1))² − 1 for z0, z1 > 0, where
// g = z0² + z1² − 1 ≠ 0 tells the side. F falls monotonically on the bracket, so
// bisection reaches the root to the last bit; no iteration count limits accuracy.
double ellipseRoot(double r0, double z0, double z1, double g) {
    const double n0 = r0 * z0;
    double s0 = z1 - 1.0;
    double s1 = g < 0.0 ? 0.0 : std::hypot(n0, z1) - 1.0;
    double s = 0.0;
    for (int i = 0; i < 1074; ++i) {
        s = 0.5 * (s0 + s1);
        if (s == s0 || s == s1) break;
        const double ratio0 = n0 / (s + r0);
        const double ratio1 = z1 / (s + 1.0);
        const double f = ratio0 * ratio0 + ratio1 * ratio1 - 1.0;
        if (f > 0.0)
            s0 = s;
        else if (f < 0.0)
            s1 = s;
        else
            break;
    }
    return s;
}

// Closest point of the ellipse with semi-axes e0 ≥ e1 > 0 to (y0, y1) ≥ 0, in the
// first quadrant.
void ellipseFirstQuadrant(double e0, double e1, double y0, double y1, double& x0, double& x1) {
    if (y1 > 0.0) {
        if (y0 > 0.0) {
            const double z0 = y0 / e0;
            const double z1 = y1 / e1;
            const double g = z0 * z0 + z1 * z1 - 1.0;
            if (g != 0.0) {
                const double ratio = e0 / e1;
                const double r0 = ratio * ratio;
                const double t = ellipseRoot(r0, z0, z1, g);
                x0 = r0 * y0 / (t + r0);
                x1 = y1 / (t + 1.0);
                // Near the centre t + 1 is small and x1 keeps only a few digits,
                // which would leave the point off the curve; going through the
                // ellipse's angle puts it back on the curve and changes the distance
                // only to second order.
                const double theta = std::atan2(x1 / e1, x0 / e0);
                x0 = e0 * std::cos(theta);
                x1 = e1 * std::sin(theta);
            } else {
                x0 = y0;
                x1 = y1;
            }
        } else {
            x0 = 0.0;
            x1 = e1;
        }
    } else {
        // On the major axis: inside the evolute's cusp the closest point leaves the
        // axis (two mirror points; the upper one is taken).
        const double numer = e0 * y0;
        const double denom = e0 * e0 - e1 * e1;
        if (numer < denom) {
            const double xde = numer / denom;
            x0 = e0 * xde;
            x1 = e1 * std::sqrt(1.0 - xde * xde);
        } else {
            x0 = e0;
            x1 = 0.0;
        }
    }
}

// ---------------------------------------------------------------------------
// Superellipse: one half of the first-quadrant arc as the graph
// g(s) = B·(1 − (s/A)^(2/k))^(k/2) over s in [0, A·2^(−k/2)]. The other half is the
// same with the axes exchanged. On this range (s/A)^(2/k) ≤ 1/2, so 1 − w never
// cancels and the slope stays between 0 and −B/A for k ≤ 2 (a spike towards the
// vertex for k > 2, where the slope grows without bound).
class GraphPiece {
  public:
    GraphPiece(double A, double B, double k, double P, double Q)
        : A_(A), B_(B), k_(k), P_(P), Q_(Q), end_(A * std::exp2(-0.5 * k)) {}

    double end() const { return end_; }

    struct Value {
        double g = 0.0;    // curve ordinate
        double dg = 0.0;   // slope
        double ddg = 0.0;  // second derivative
    };

    Value eval(double s) const {
        Value v;
        if (s <= 0.0) {
            // Limits at the vertex: flat for k < 1, the curvature of the ellipse
            // for k = 1, a point of infinite curvature for 1 < k < 2, a corner
            // (k = 2) or the tip of a spike (k > 2).
            v.g = B_;
            v.dg = k_ < 2.0 ? 0.0 : (k_ == 2.0 ? -B_ / A_ : -kInf);
            v.ddg = k_ < 1.0 ? 0.0 : (k_ == 1.0 ? -B_ / (A_ * A_) : (k_ < 2.0 ? -kInf : 0.0));
            return v;
        }
        const double w = std::exp((2.0 / k_) * std::log(s / A_));
        const double oneMinusW = 1.0 - w;
        v.g = B_ * std::exp(0.5 * k_ * std::log1p(-w));
        const double gOverS = v.g / s;
        const double ratio = w / oneMinusW;
        v.dg = -gOverS * ratio;
        v.ddg = gOverS * (w / s) / (oneMinusW * oneMinusW) * (1.0 - 2.0 / k_);
        return v;
    }

    // Half the squared distance of the query point from the curve point over s.
    double phi(double s, const Value& v) const {
        const double ds = s - P_;
        const double dq = v.g - Q_;
        return 0.5 * (ds * ds + dq * dq);
    }

    // dφ/ds; the limits at a vertical tangent (s = 0, k > 2) are ±∞.
    double dphi(double s, const Value& v) const {
        const double dq = v.g - Q_;
        if (std::isinf(v.dg)) return dq > 0.0 ? -kInf : (dq < 0.0 ? kInf : s - P_);
        return (s - P_) + dq * v.dg;
    }

    double ddphi(const Value& v) const {
        const double dq = v.g - Q_;
        return 1.0 + v.dg * v.dg + (dq != 0.0 ? dq * v.ddg : 0.0);
    }

    // Bisection point of a bracket: geometric where the bracket spans orders of
    // magnitude, since near a vertex with 1 < k < 2 or k close to 2 the foot point
    // of a query beyond the vertex can sit at s = 1e-170 and below.
    static double split(double lo, double hi) {
        double next = 0.5 * (lo + hi);
        if (lo <= 0.0)
            next = hi * 0x1p-24;
        else if (hi > 16.0 * lo)
            next = std::sqrt(lo) * std::sqrt(hi);
        return next > lo && next < hi ? next : 0.5 * (lo + hi);
    }

    // Root of dφ/ds in (lo, hi) with dφ(lo) < 0 < dφ(hi), from s: Newton steps
    // while they stay inside the bracket and shrink fast enough, bisection
    // otherwise, until the step reaches the last bits of s.
    double polish(double lo, double hi, double s) const {
        if (!(s > lo && s < hi)) s = split(lo, hi);
        double stepOld = hi - lo;
        double step = stepOld;
        for (int it = 0; it < 300; ++it) {
            const Value v = eval(s);
            const double f1 = dphi(s, v);
            if (f1 == 0.0) break;
            if (f1 < 0.0)
                lo = s;
            else
                hi = s;
            const double f2 = ddphi(v);
            const double newton = s - f1 / f2;
            const bool useNewton = f2 > 0.0 && std::isfinite(newton) && newton > lo &&
                                   newton < hi && std::abs(2.0 * f1) < std::abs(stepOld * f2);
            stepOld = step;
            const double next = useNewton ? newton : split(lo, hi);
            step = next - s;
            if (next == s || hi - lo <= 4.0 * kEps * std::max(std::abs(lo), std::abs(hi))) {
                break;
            }
            s = next;
            if (std::abs(step) <= 2.0 * kEps * std::abs(s)) break;
        }
        return s;
    }

    // Local minimum of φ in [lo, hi] given a node mid with φ(mid) ≤ φ(lo), φ(hi)
    // (mid may coincide with an end). Golden-section steps shrink the triple until
    // φ' changes sign from negative to positive on one side of mid; the root there
    // is polished. A triple that closes on an end returns that end.
    double localMinimum(double lo, double mid, double hi, double phiMid) const {
        constexpr double kGolden = 0.3819660112501051;
        double dlo = dphi(lo, eval(lo));
        double dhi = dphi(hi, eval(hi));
        for (int it = 0; it < 200; ++it) {
            const Value vmid = eval(mid);
            const double dmid = dphi(mid, vmid);
            // A stationary end (a vertex on the query's axis) is a minimum only
            // where φ curves upwards; otherwise the minimum lies inside.
            if (dmid == 0.0 && ((lo < mid && mid < hi) || ddphi(vmid) > 0.0)) return mid;
            // An end where φ grows into the piece is a minimum (a vertex, a corner,
            // the junction of the pieces). Not so at a spike's tip: its infinite
            // slope makes φ grow only over a vanishing range.
            if (((mid == lo && dmid > 0.0) || (mid == hi && dmid < 0.0)) && !std::isinf(vmid.dg))
                return mid;
            if (lo < mid && dlo < 0.0 && dmid > 0.0) return polish(lo, mid, mid);
            if (mid < hi && dmid < 0.0 && dhi > 0.0) return polish(mid, hi, mid);
            if (hi - lo <= 4.0 * kEps * std::max(std::abs(lo), std::abs(hi))) break;
            // Shrink the longer side, or the side φ' points down to.
            const bool right = (mid - lo < hi - mid) || (mid == lo);
            const double x = right ? mid + kGolden * (hi - mid) : mid - kGolden * (mid - lo);
            if (x == mid) break;
            const Value vx = eval(x);
            const double phiX = phi(x, vx);
            if (phiX < phiMid) {
                if (right) {
                    lo = mid;
                    dlo = dmid;
                } else {
                    hi = mid;
                    dhi = dmid;
                }
                mid = x;
                phiMid = phiX;
            } else if (right) {
                hi = x;
                dhi = dphi(x, vx);
            } else {
                lo = x;
                dlo = dphi(x, vx);
            }
        }
        return mid;
    }

    // Parameter of the point of this piece nearest to (P, Q).
    double nearest(double& bestPhi) const {
        // Uniform in s resolves the flat sides of small k, uniform in w = (s/A)^(2/k)
        // the sharp corner of small k and the spike of large k, and a geometric
        // sequence towards the vertex the thin spikes and pointed vertices of
        // eccentric curves with k > 1 (features of the size of the smaller
        // semi-axis); for k ≤ 1 the vertex is smooth or flat.
        constexpr int kUniform = 8;
        constexpr int kGeometric = 8;
        constexpr int kMaxNodes = 2 * kUniform + kGeometric;
        std::array<double, kMaxNodes> nodes{};
        int count = 0;
        for (int i = 0; i <= kUniform; ++i)
            nodes[count++] = end_ * i / kUniform;
        for (int j = 1; j < kUniform; ++j)
            nodes[count++] = A_ * std::exp(0.5 * k_ * std::log(0.5 * j / kUniform));
        if (k_ > 1.0)
            for (int j = 1; j <= kGeometric; ++j)
                nodes[count++] = end_ * std::exp2(-2.0 * j);
        std::sort(nodes.begin(), nodes.begin() + count);
        {
            // Nodes that (nearly) coincide would leave a bracket too narrow to hold
            // the minimum.
            int kept = 1;
            for (int i = 1; i < count; ++i) {
                const double next = std::min(nodes[i], end_);
                if (next - nodes[kept - 1] > 1e-6 * next)
                    nodes[kept++] = next;
                else if (next == end_)
                    nodes[kept - 1] = end_;
            }
            count = kept;
        }
        std::array<double, kMaxNodes> values{};
        std::array<double, kMaxNodes> slopes{};
        for (int i = 0; i < count; ++i) {
            const Value v = eval(nodes[i]);
            values[i] = phi(nodes[i], v);
            slopes[i] = dphi(nodes[i], v);
        }
        int bestNode = 0;
        for (int i = 1; i < count; ++i)
            if (values[i] < values[bestNode]) bestNode = i;
        double best = nodes[bestNode];
        bestPhi = values[bestNode];
        // A polished foot point wins ties with a sample: their squared distances
        // can agree to the last bit while the points differ.
        auto consider = [&](double s, bool polished) {
            const double p = phi(s, eval(s));
            if (p < bestPhi || (polished && p <= bestPhi * (1.0 + 4.0 * kEps))) {
                bestPhi = std::min(p, bestPhi);
                best = s;
            }
        };

        // Every interval where φ' turns from negative to positive holds a minimum,
        // even a dip that no sample reaches (a query near a centre of curvature).
        std::array<bool, kMaxNodes> bracketed{};
        int polished = 0;
        for (int i = 0; i + 1 < count && polished < 6; ++i) {
            if (slopes[i] < 0.0 && slopes[i + 1] > 0.0) {
                consider(polish(nodes[i], nodes[i + 1], nodes[i]), true);
                bracketed[i] = bracketed[i + 1] = true;
                ++polished;
            }
        }
        // Sampled minima without such an interval (the ends, spike tips where φ'
        // is infinite): searched between their neighbours.
        std::array<int, kMaxNodes> minima{};
        int numMinima = 0;
        for (int i = 0; i < count; ++i) {
            if ((i == 0 || values[i] < values[i - 1]) &&
                (i + 1 == count || values[i] <= values[i + 1]) && !bracketed[i])
                minima[numMinima++] = i;
        }
        std::sort(minima.begin(), minima.begin() + numMinima,
                  [&](int l, int r) { return values[l] < values[r]; });
        numMinima = std::min(numMinima, 3);
        for (int m = 0; m < numMinima; ++m) {
            const int i = minima[m];
            const double s = localMinimum(nodes[std::max(i - 1, 0)], nodes[i],
                                          nodes[std::min(i + 1, count - 1)], values[i]);
            consider(s, true);
        }
        return best;
    }

    // Unit outward normal at parameter s in the piece's coordinates; zero at a
    // corner or a spike's tip.
    void normal(double s, double& ns, double& nq) const {
        const Value v = eval(s);
        // For k >= 2 the vertex (s = 0) is a corner or the tip of a spike.
        if (std::isinf(v.dg) || (s <= 0.0 && k_ >= 2.0)) {
            ns = nq = 0.0;
            return;
        }
        const double len = std::hypot(v.dg, 1.0);
        ns = -v.dg / len;
        nq = 1.0 / len;
    }

  private:
    double A_, B_, k_, P_, Q_, end_;
};

}  // namespace

CurveClosestPoint closestPointOnEllipse(double a, double b, double x, double y) {
    // The bisection needs the major axis along x.
    const bool swapped = a < b;
    if (swapped) {
        std::swap(a, b);
        std::swap(x, y);
    }
    CurveClosestPoint cp;
    if (!(b > 0.0)) {
        cp = closestPointOnSegment(a, x, y);
    } else {
        const double X = std::abs(x);
        const double Y = std::abs(y);
        double cx = 0.0, cy = 0.0, nx = 0.0, ny = 0.0;
        if (a == b) {
            const double r = std::hypot(X, Y);
            if (r > 0.0) {
                nx = X / r;
                ny = Y / r;
            } else {
                nx = 1.0;  // the centre maps to (a, 0)
            }
            cx = a * nx;
            cy = a * ny;
        } else {
            ellipseFirstQuadrant(a, b, X, Y, cx, cy);
            const double gx = (cx / a) / a;
            const double gy = (cy / b) / b;
            const double len = std::hypot(gx, gy);
            nx = gx / len;
            ny = gy / len;
        }
        cp.x = x < 0.0 ? -cx : cx;
        cp.y = y < 0.0 ? -cy : cy;
        cp.nx = x < 0.0 ? -nx : nx;
        cp.ny = y < 0.0 ? -ny : ny;
        cp.distance = std::hypot(x - cp.x, y - cp.y);
    }
    if (swapped) {
        std::swap(cp.x, cp.y);
        std::swap(cp.nx, cp.ny);
    }
    return cp;
}

CurveClosestPoint closestPointOnSuperEllipse(double a, double b, double k, double x, double y) {
    if (!(k >= kMinShapeFactor)) k = kMinShapeFactor;
    if (k > kMaxShapeFactor) k = kMaxShapeFactor;
    if (!(a > 0.0) || !(b > 0.0)) {
        if (a >= b) return closestPointOnSegment(a, x, y);
        CurveClosestPoint cp = closestPointOnSegment(b, y, x);
        std::swap(cp.x, cp.y);
        return cp;
    }
    const double X = std::abs(x);
    const double Y = std::abs(y);
    // In the first quadrant the nearest point of the whole curve is a point of the
    // first-quadrant arc: its two halves, near the b vertex and near the a vertex.
    const GraphPiece nearB(a, b, k, X, Y);
    const GraphPiece nearA(b, a, k, Y, X);
    double phiB = 0.0, phiA = 0.0;
    const double sB = nearB.nearest(phiB);
    const double sA = nearA.nearest(phiA);
    double cx, cy, nx, ny;
    if (phiB <= phiA) {
        cx = sB;
        cy = nearB.eval(sB).g;
        nearB.normal(sB, nx, ny);
    } else {
        cx = nearA.eval(sA).g;
        cy = sA;
        nearA.normal(sA, ny, nx);
    }
    CurveClosestPoint cp;
    cp.x = x < 0.0 ? -cx : cx;
    cp.y = y < 0.0 ? -cy : cy;
    cp.nx = x < 0.0 ? -nx : nx;
    cp.ny = y < 0.0 ? -ny : ny;
    cp.distance = std::hypot(x - cp.x, y - cp.y);
    return cp;
}

void toCurveFrame(const PlanarCurveParams& c, double px, double py, double& x, double& y) {
    const double dx = px - c.u;
    const double dy = py - c.v;
    const double cs = std::cos(c.angle);
    const double sn = std::sin(c.angle);
    x = cs * dx + sn * dy;
    y = -sn * dx + cs * dy;
}

namespace {

// Derivatives of d = |q − c| from the closest point (envelope theorem, see the
// header). withShapeFactor adds ∂d/∂k of the superellipse.
PlanarCurveDistance curveDistance(const PlanarCurveParams& c, double x, double y,
                                  const CurveClosestPoint& cp, bool withShapeFactor) {
    PlanarCurveDistance r;
    r.distance = cp.distance;
    const double ex = x - cp.x;
    const double ey = y - cp.y;
    // Unit vector along q − c: q − c itself, or, where d is too small to give a
    // direction (on the curve, at the rounding level), the curve normal taken with
    // the side of q. At corners and spike tips there is no normal; with d = 0 the
    // row stays zero there.
    double nx, ny;
    const bool hasNormal = cp.nx != 0.0 || cp.ny != 0.0;
    if (cp.distance > 1e-6 * std::max(std::abs(c.a), std::abs(c.b)) ||
        (!hasNormal && cp.distance > 0.0)) {
        nx = ex / cp.distance;
        ny = ey / cp.distance;
    } else if (hasNormal) {
        const double side = ex * cp.nx + ey * cp.ny < 0.0 ? -1.0 : 1.0;
        nx = side * cp.nx;
        ny = side * cp.ny;
    } else {
        return r;
    }
    r.dA = -nx * cp.x / c.a;
    r.dB = -ny * cp.y / c.b;
    if (withShapeFactor) {
        const double k = std::clamp(c.k, kMinShapeFactor, kMaxShapeFactor);
        const double tx = cp.x != 0.0 ? cp.x * std::log(std::abs(cp.x) / c.a) : 0.0;
        const double ty = cp.y != 0.0 ? cp.y * std::log(std::abs(cp.y) / c.b) : 0.0;
        r.dK = -(nx * tx + ny * ty) / k;
    }
    // q = R(−angle)·(p − centre): ∂q/∂u = −(cos, −sin), ∂q/∂v = −(sin, cos),
    // ∂q/∂angle = (q_y, −q_x), and q may be replaced by c there since q − c ∥ n̂.
    const double cs = std::cos(c.angle);
    const double sn = std::sin(c.angle);
    r.dU = -(cs * nx - sn * ny);
    r.dV = -(sn * nx + cs * ny);
    r.dAngle = nx * cp.y - ny * cp.x;
    return r;
}

}  // namespace

PlanarCurveDistance ellipseDistance(const PlanarCurveParams& c, double px, double py) {
    double x, y;
    toCurveFrame(c, px, py, x, y);
    return curveDistance(c, x, y, closestPointOnEllipse(c.a, c.b, x, y), false);
}

PlanarCurveDistance superEllipseDistance(const PlanarCurveParams& c, double px, double py) {
    double x, y;
    toCurveFrame(c, px, py, x, y);
    return curveDistance(c, x, y, closestPointOnSuperEllipse(c.a, c.b, c.k, x, y), true);
}

}  // namespace approximate
}  // namespace alg3D
