// Closest points on ellipses and superellipses against dense sampling of the curve
// (polished by golden-section search), and the distance derivatives against
// central finite differences.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <vector>

#include "alg3D/approximate/EllipseDistance.h"

using namespace alg3D::approximate;

namespace {

constexpr double kPi = 3.141592653589793;

struct P2 {
    double x, y;
};

// Curve point of (x²/a²)^(1/k) + (y²/b²)^(1/k) = 1 on the ray at polar angle psi,
// with the powers summed in logarithms so that tiny k neither under- nor overflows.
P2 polarPoint(double a, double b, double k, double psi) {
    const double c = std::cos(psi), s = std::sin(psi);
    const double lx = c != 0.0 ? (2.0 / k) * std::log(std::abs(c) / a) : -1e300;
    const double ly = s != 0.0 ? (2.0 / k) * std::log(std::abs(s) / b) : -1e300;
    const double m = std::max(lx, ly);
    const double lse = m + std::log(std::exp(lx - m) + std::exp(ly - m));
    const double r = std::exp(-0.5 * k * lse);
    return {r * c, r * s};
}

// Reference nearest distance: the curve sampled by polar angle and by Lamé weights
// (x = a·λ^(k/2), y = b·(1 − λ)^(k/2), uniform and logarithmic in λ near both ends,
// which resolves the spikes of large k), the best sample polished by golden-section
// search over the polar angle between its neighbours.
class ReferenceCurve {
  public:
    ReferenceCurve(double a, double b, double k, int samples) : a_(a), b_(b), k_(k) {
        std::vector<double> angles;
        for (int i = 0; i < samples; ++i)
            angles.push_back(2.0 * kPi * i / samples);
        std::vector<double> lambdas;
        for (int i = 1; i < samples / 8; ++i)
            lambdas.push_back(double(i) / (samples / 8));
        for (int e = 1; e <= 600; ++e) {
            const double l = std::pow(10.0, -0.5 * e);
            lambdas.push_back(l);
            lambdas.push_back(1.0 - l);
        }
        for (double l : lambdas) {
            const double x = a * std::pow(l, 0.5 * k);
            const double y = b * std::pow(1.0 - l, 0.5 * k);
            for (int q = 0; q < 4; ++q) {
                const double px = (q & 1) ? -x : x, py = (q & 2) ? -y : y;
                double ang = std::atan2(py, px);
                if (ang < 0) ang += 2.0 * kPi;
                angles.push_back(ang);
            }
        }
        std::sort(angles.begin(), angles.end());
        angles.erase(std::unique(angles.begin(), angles.end()), angles.end());
        for (double ang : angles)
            points_.push_back({ang, polarPoint(a, b, k, ang)});
        // The vertices exactly (cos(π/2) is not 0 in double precision).
        points_.front().p = {a, 0.0};
        const double vertices[3][3] = {{0.5 * kPi, 0.0, b}, {kPi, -a, 0.0}, {1.5 * kPi, 0.0, -b}};
        for (const auto& v : vertices) {
            auto it = std::lower_bound(points_.begin(), points_.end(), v[0],
                                       [](const Sample& s, double x) { return s.psi < x; });
            points_.insert(it, Sample{v[0], {v[1], v[2]}});
        }
    }

    double distance(double x, double y, P2* at = nullptr) const {
        auto dist = [&](double psi) {
            const P2 p = polarPoint(a_, b_, k_, psi);
            return std::hypot(x - p.x, y - p.y);
        };
        std::size_t best = 0;
        double bestD = std::numeric_limits<double>::max();
        for (std::size_t i = 0; i < points_.size(); ++i) {
            const double d = std::hypot(x - points_[i].p.x, y - points_[i].p.y);
            if (d < bestD) {
                bestD = d;
                best = i;
            }
        }
        const std::size_t n = points_.size();
        double lo = points_[(best + n - 1) % n].psi;
        double hi = points_[(best + 1) % n].psi;
        if (best == 0) lo -= 2.0 * kPi;
        if (best + 1 == n) hi += 2.0 * kPi;
        const double g = 0.5 * (std::sqrt(5.0) - 1.0);
        double c = hi - g * (hi - lo), d = lo + g * (hi - lo);
        double fc = dist(c), fd = dist(d);
        for (int it = 0; it < 200; ++it) {
            if (fc < fd) {
                hi = d;
                d = c;
                fd = fc;
                c = hi - g * (hi - lo);
                fc = dist(c);
            } else {
                lo = c;
                c = d;
                fc = fd;
                d = lo + g * (hi - lo);
                fd = dist(d);
            }
        }
        const double psi = 0.5 * (lo + hi);
        const double polished = dist(psi);
        if (polished < bestD) {
            bestD = polished;
            if (at) *at = polarPoint(a_, b_, k_, psi);
        } else if (at) {
            *at = points_[best].p;
        }
        return bestD;
    }

  private:
    struct Sample {
        double psi;
        P2 p;
    };
    double a_, b_, k_;
    std::vector<Sample> points_;
};

// Implicit curve value (x²/a²)^(1/k) + (y²/b²)^(1/k) − 1, in logarithms.
double curveResidual(double a, double b, double k, double x, double y) {
    const double lx = x != 0.0 ? std::exp((2.0 / k) * std::log(std::abs(x) / a)) : 0.0;
    const double ly = y != 0.0 ? std::exp((2.0 / k) * std::log(std::abs(y) / b)) : 0.0;
    return lx + ly - 1.0;
}

// Query points: inside, outside, on the axes, near the centre, on and near the
// curve, far away.
std::vector<P2> queryPoints(double a, double b, double k, std::mt19937_64& rng, int random) {
    std::vector<P2> q = {{0, 0},
                         {0.1 * a, 0},
                         {0, 0.1 * b},
                         {0.5 * a, 0},
                         {-0.5 * a, 0},
                         {0, -0.5 * b},
                         {2 * a, 0},
                         {0, 2 * b},
                         {0, -3 * b},
                         {-3 * a, 0},
                         {a, 0},
                         {0, b},
                         {a, b},
                         {-a, b},
                         {1e-9 * a, 1e-9 * b},
                         {a * (1 - 1e-12), 1e-12 * b},
                         {0.999 * a, 0.3 * b},
                         {1e-3 * a, 0.999 * b},
                         {10 * a, -7 * b},
                         {0.3 * a, -0.2 * b}};
    std::uniform_real_distribution<double> ang(0.0, 2.0 * kPi);
    std::uniform_real_distribution<double> rad(0.0, 2.0);
    std::uniform_real_distribution<double> near(-0.05, 0.05);
    for (int i = 0; i < random; ++i) {
        const double psi = ang(rng);
        const P2 c = polarPoint(a, b, k, psi);
        q.push_back({c.x * rad(rng), c.y * rad(rng)});
        q.push_back({c.x * (1 + near(rng)), c.y * (1 + near(rng))});
        q.push_back(c);  // on the curve
    }
    return q;
}

// The routine's point lies on the curve, is at least as near as the polished dense
// sampling, and the returned distance and normal fit the point.
void checkClosest(double a, double b, double k, bool ellipse, std::mt19937_64& rng,
                  int random = 20) {
    const double scale = std::max(a, b);
    const ReferenceCurve ref(a, b, k, 8000);
    for (const P2& q : queryPoints(a, b, k, rng, random)) {
        const CurveClosestPoint cp = ellipse ? closestPointOnEllipse(a, b, q.x, q.y)
                                             : closestPointOnSuperEllipse(a, b, k, q.x, q.y);
        SCOPED_TRACE(::testing::Message() << "a=" << a << " b=" << b << " k=" << k << " q=(" << q.x
                                          << ", " << q.y << ")");
        ASSERT_TRUE(std::isfinite(cp.distance));
        EXPECT_NEAR(cp.distance, std::hypot(q.x - cp.x, q.y - cp.y), 1e-15 * scale);
        EXPECT_NEAR(curveResidual(a, b, k, cp.x, cp.y), 0.0, 1e-13);
        // A point of the curve (checked above) at the returned distance that is
        // not farther than the best of the dense samples: the global minimum, up
        // to the reference's own resolution (which can be worse than the routine's
        // at the thin spikes of large k).
        const double dref = ref.distance(q.x, q.y);
        EXPECT_LE(cp.distance, dref + 1e-13 * scale);
        const double nlen = std::hypot(cp.nx, cp.ny);
        // For k > 1 the vertices have infinite curvature, for k ≥ 2 they are
        // corners or spike tips; near k = 2 the smooth part (or the infinite
        // slope) is confined below the smallest doubles. A point there can be the
        // nearest one without being the foot of a normal.
        const bool atCorner = k > 1.0 && std::min(std::abs(cp.x) / a, std::abs(cp.y) / b) < 1e-12;
        if (nlen > 0.0 && !atCorner) {
            EXPECT_NEAR(nlen, 1.0, 1e-14);
            // q − c is parallel to the normal (the closest point is a foot point).
            // Where φ is nearly flat along the curve (a query near the centre of a
            // near-circle) the foot is fixed only to the square root of the
            // rounding, hence the tolerance.
            const double cross = (q.x - cp.x) * cp.ny - (q.y - cp.y) * cp.nx;
            EXPECT_NEAR(cross, 0.0, 1e-8 * (scale + cp.distance));
        }
    }
}

}  // namespace

TEST(EllipseDistance, ClosestPointMatchesDenseSampling) {
    std::mt19937_64 rng(11);
    const double shapes[][2] = {{1.0, 1.0},  {2.0, 1.0},    {1.0, 2.0},   {1.0, 0.999999},
                                {5.0, 0.1},  {100.0, 0.01}, {1e-3, 7e-4}, {3e3, 1e3},
                                {1.0, 1e-3}, {0.25, 0.2}};
    for (const auto& s : shapes)
        checkClosest(s[0], s[1], 1.0, true, rng);
}

TEST(EllipseDistance, SpecialCases) {
    // Circle: along the ray, the centre maps to (a, 0).
    CurveClosestPoint cp = closestPointOnEllipse(2.0, 2.0, 0.0, 0.0);
    EXPECT_EQ(cp.x, 2.0);
    EXPECT_EQ(cp.y, 0.0);
    EXPECT_EQ(cp.distance, 2.0);
    cp = closestPointOnEllipse(2.0, 2.0, 3.0, 4.0);
    EXPECT_NEAR(cp.x, 1.2, 1e-15);
    EXPECT_NEAR(cp.y, 1.6, 1e-15);
    EXPECT_NEAR(cp.distance, 3.0, 1e-15);
    // On the minor axis: the minor vertex.
    cp = closestPointOnEllipse(3.0, 1.0, 0.0, -0.5);
    EXPECT_EQ(cp.x, 0.0);
    EXPECT_EQ(cp.y, -1.0);
    EXPECT_EQ(cp.distance, 0.5);
    // The centre of a true ellipse: a minor vertex at distance b.
    cp = closestPointOnEllipse(3.0, 1.0, 0.0, 0.0);
    EXPECT_EQ(cp.distance, 1.0);
    // Major axis, inside the evolute: x_c = a·(a·x/(a² − b²)).
    cp = closestPointOnEllipse(3.0, 1.0, 1.0, 0.0);
    const double xde = 3.0 * 1.0 / (9.0 - 1.0);
    EXPECT_NEAR(cp.x, 3.0 * xde, 1e-15);
    EXPECT_NEAR(cp.y, std::sqrt(1.0 - xde * xde), 1e-15);
    // Major axis beyond a·|x| ≥ a² − b²: the major vertex.
    cp = closestPointOnEllipse(3.0, 1.0, -2.9, 0.0);
    EXPECT_EQ(cp.x, -3.0);
    EXPECT_EQ(cp.y, 0.0);
    EXPECT_NEAR(cp.distance, 0.1, 1e-15);
    // Points of the curve are their own closest points.
    cp = closestPointOnEllipse(3.0, 1.0, 3.0 * std::cos(0.7), std::sin(0.7));
    EXPECT_LE(cp.distance, 1e-15);
    // Axes in the other order give the mirrored answer.
    const CurveClosestPoint m = closestPointOnEllipse(1.0, 3.0, 0.0, 1.0);
    EXPECT_NEAR(m.x, 3.0 * xde * 0 + std::sqrt(1.0 - xde * xde), 1e-15);
    EXPECT_NEAR(m.y, 3.0 * xde, 1e-15);
}

TEST(EllipseDistance, DegenerateAxesGiveSegment) {
    CurveClosestPoint cp = closestPointOnEllipse(2.0, 0.0, 3.0, 1.0);
    EXPECT_EQ(cp.x, 2.0);
    EXPECT_EQ(cp.y, 0.0);
    EXPECT_NEAR(cp.distance, std::sqrt(2.0), 1e-15);
    EXPECT_EQ(cp.nx, 0.0);
    cp = closestPointOnEllipse(0.0, 0.0, 3.0, 4.0);
    EXPECT_EQ(cp.distance, 5.0);
    cp = closestPointOnEllipse(0.0, 2.0, 1.0, 1.0);
    EXPECT_EQ(cp.x, 0.0);
    EXPECT_EQ(cp.y, 1.0);
    cp = closestPointOnSuperEllipse(-1.0, 2.0, 1.0, 1.0, 3.0);
    EXPECT_EQ(cp.x, 0.0);
    EXPECT_EQ(cp.y, 2.0);
}

TEST(SuperEllipseDistance, ClosestPointMatchesDenseSampling) {
    std::mt19937_64 rng(12);
    const double factors[] = {0.005, 0.05, 0.3, 1.0, 1.7, 2.0, 2.5, 4.0, 10.0};
    const double shapes[][2] = {{1.0, 1.0}, {2.0, 1.0}, {1.0, 3.0}, {50.0, 0.5}, {1e-3, 6e-4}};
    for (double k : factors)
        for (const auto& s : shapes)
            checkClosest(s[0], s[1], k, false, rng, 6);
}

TEST(SuperEllipseDistance, FactorOneIsTheEllipse) {
    std::mt19937_64 rng(13);
    std::uniform_real_distribution<double> u(-3.0, 3.0);
    const double shapes[][2] = {{2.0, 1.0}, {1.0, 1.0}, {1.0, 4.0}, {10.0, 0.2}};
    for (const auto& s : shapes) {
        for (int i = 0; i < 200; ++i) {
            const double x = u(rng) * s[0], y = u(rng) * s[1];
            const CurveClosestPoint e = closestPointOnEllipse(s[0], s[1], x, y);
            const CurveClosestPoint se = closestPointOnSuperEllipse(s[0], s[1], 1.0, x, y);
            const double scale = std::max(s[0], s[1]);
            EXPECT_NEAR(se.distance, e.distance, 1e-13 * scale) << x << " " << y;
            // Mirror-symmetric answers on an axis are both right.
            if (std::abs(x) > 1e-6 * scale && std::abs(y) > 1e-6 * scale) {
                EXPECT_NEAR(se.x, e.x, 1e-7 * scale);
                EXPECT_NEAR(se.y, e.y, 1e-7 * scale);
            }
        }
    }
}

TEST(SuperEllipseDistance, FactorIsClamped) {
    const CurveClosestPoint lo = closestPointOnSuperEllipse(2.0, 1.0, 1e-9, 1.5, 1.5);
    const CurveClosestPoint lo2 = closestPointOnSuperEllipse(2.0, 1.0, kMinShapeFactor, 1.5, 1.5);
    EXPECT_EQ(lo.distance, lo2.distance);
    const CurveClosestPoint hi = closestPointOnSuperEllipse(2.0, 1.0, 1e9, 0.5, 0.5);
    const CurveClosestPoint hi2 = closestPointOnSuperEllipse(2.0, 1.0, kMaxShapeFactor, 0.5, 0.5);
    EXPECT_EQ(hi.distance, hi2.distance);
    const CurveClosestPoint nan =
        closestPointOnSuperEllipse(2.0, 1.0, std::numeric_limits<double>::quiet_NaN(), 1.5, 1.5);
    EXPECT_EQ(nan.distance, lo2.distance);
}

namespace {

// Central differences of the distance over each parameter against the analytic
// derivatives, at points off the curve and away from its medial axis.
void checkDerivatives(bool super, double k, std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::uniform_real_distribution<double> pos(0.5, 1.0);
    int checked = 0;
    for (int trial = 0; trial < 400 && checked < 60; ++trial) {
        PlanarCurveParams c;
        c.a = 1.0 + 2.0 * pos(rng);
        c.b = c.a * pos(rng) * 0.9;
        c.k = k;
        c.u = u(rng);
        c.v = u(rng);
        c.angle = 3.0 * u(rng);
        // A point near the curve (inside or outside).
        const P2 onCurve = polarPoint(c.a, c.b, k, 3.2 * u(rng));
        const double f = 1.0 + 0.15 * u(rng);
        const double lx = onCurve.x * f, ly = onCurve.y * f;
        const double cs = std::cos(c.angle), sn = std::sin(c.angle);
        const double px = c.u + cs * lx - sn * ly, py = c.v + sn * lx + cs * ly;
        auto dist = [&](const PlanarCurveParams& p) {
            return super ? superEllipseDistance(p, px, py).distance
                         : ellipseDistance(p, px, py).distance;
        };
        const PlanarCurveDistance an =
            super ? superEllipseDistance(c, px, py) : ellipseDistance(c, px, py);
        if (an.distance < 1e-3) continue;  // the unsigned distance has a kink there
        const double h = 1e-5;
        auto fd = [&](double PlanarCurveParams::*m) {
            PlanarCurveParams p = c, q = c;
            p.*m += h;
            q.*m -= h;
            return (dist(p) - dist(q)) / (2.0 * h);
        };
        const double fdA = fd(&PlanarCurveParams::a);
        const double fdB = fd(&PlanarCurveParams::b);
        const double fdU = fd(&PlanarCurveParams::u);
        const double fdV = fd(&PlanarCurveParams::v);
        const double fdT = fd(&PlanarCurveParams::angle);
        SCOPED_TRACE(::testing::Message() << "trial " << trial << " k=" << k);
        EXPECT_NEAR(an.dA, fdA, 1e-7);
        EXPECT_NEAR(an.dB, fdB, 1e-7);
        EXPECT_NEAR(an.dU, fdU, 1e-7);
        EXPECT_NEAR(an.dV, fdV, 1e-7);
        EXPECT_NEAR(an.dAngle, fdT, 1e-7);
        if (super) {
            EXPECT_NEAR(an.dK, fd(&PlanarCurveParams::k), 1e-6);
        } else {
            EXPECT_EQ(an.dK, 0.0);
        }
        // The centre derivatives form the negated unit vector of q − c.
        EXPECT_NEAR(std::hypot(an.dU, an.dV), 1.0, 1e-14);
        ++checked;
    }
    EXPECT_GE(checked, 40);
}

}  // namespace

TEST(EllipseDistance, DerivativesMatchFiniteDifferences) {
    checkDerivatives(false, 1.0, 21);
}

TEST(SuperEllipseDistance, DerivativesMatchFiniteDifferences) {
    for (double k : {0.3, 1.0, 1.8, 3.0})
        checkDerivatives(true, k, 22 + std::uint64_t(k * 10));
}

TEST(EllipseDistance, ZeroDistanceGivesSignedDerivatives) {
    // On the curve the row is the gradient of the signed distance (outward normal).
    PlanarCurveParams c;
    c.a = 2.0;
    c.b = 1.0;
    const PlanarCurveDistance d = ellipseDistance(c, 2.0, 0.0);
    EXPECT_EQ(d.distance, 0.0);
    EXPECT_NEAR(d.dA, -1.0, 1e-15);
    EXPECT_NEAR(d.dU, -1.0, 1e-15);
    EXPECT_NEAR(d.dV, 0.0, 1e-15);
    const PlanarCurveDistance inside = ellipseDistance(c, 1.9, 0.0);
    EXPECT_NEAR(inside.dA, 1.0, 1e-15);
    EXPECT_NEAR(inside.dU, 1.0, 1e-15);
}
