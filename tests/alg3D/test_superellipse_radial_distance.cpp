// Radial distance of a point from a superellipse: exact values on circles and along
// the ray through the centre (the curve point on the ray from its polar form), the
// derivatives against central finite differences, and finite results at the centre
// and where the terms overflow.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "alg3D/approximate/SuperEllipseRadialDistance.h"

using alg3D::approximate::PlanarCurveParams;
using alg3D::approximate::RadialCurveDistance;
using alg3D::approximate::superEllipseRadialDistance;

namespace {

constexpr double kPi = 3.141592653589793;

RadialCurveDistance radial(const PlanarCurveParams& c, double x, double y) {
    return superEllipseRadialDistance(c, std::cos(c.angle), std::sin(c.angle), x, y);
}

PlanarCurveParams randomCurve(std::mt19937_64& rng) {
    std::uniform_real_distribution<double> uni(0.0, 1.0);
    PlanarCurveParams c;
    c.a = 1.0 + 9.0 * uni(rng);
    c.b = c.a * (0.2 + 0.8 * uni(rng));
    c.k = 0.3 + 2.2 * uni(rng);
    c.u = 40.0 * (uni(rng) - 0.5);
    c.v = 40.0 * (uni(rng) - 0.5);
    c.angle = kPi * uni(rng);
    return c;
}

// World point at scale s along the ray from the centre through the curve point at
// polar angle psi of the curve's own frame, and the length of that curve point.
void pointOnRay(const PlanarCurveParams& c, double psi, double s, double& x, double& y,
                double& radius) {
    const double cx = std::cos(psi), cy = std::sin(psi);
    const double f =
        std::pow(cx * cx / (c.a * c.a), 1.0 / c.k) + std::pow(cy * cy / (c.b * c.b), 1.0 / c.k);
    radius = std::pow(f, -0.5 * c.k);
    const double lx = s * radius * cx, ly = s * radius * cy;
    x = c.u + std::cos(c.angle) * lx - std::sin(c.angle) * ly;
    y = c.v + std::sin(c.angle) * lx + std::cos(c.angle) * ly;
}

}  // namespace

TEST(SuperEllipseRadialDistance, CircleGivesTheEuclideanDistance) {
    std::mt19937_64 rng(301);
    std::uniform_real_distribution<double> uni(-30.0, 30.0);
    for (int i = 0; i < 200; ++i) {
        PlanarCurveParams c;
        c.a = c.b = 7.5;
        c.k = 1.0;
        c.u = 3.0;
        c.v = -4.0;
        c.angle = 0.3 * i;
        const double x = uni(rng), y = uni(rng);
        const double expected = std::hypot(x - c.u, y - c.v) - 7.5;
        EXPECT_NEAR(radial(c, x, y).distance, expected, 1e-12 * 30.0) << x << " " << y;
    }
}

TEST(SuperEllipseRadialDistance, ValueAlongTheRayThroughTheCentre) {
    std::mt19937_64 rng(302);
    std::uniform_real_distribution<double> uni(0.0, 1.0);
    for (int i = 0; i < 300; ++i) {
        const PlanarCurveParams c = randomCurve(rng);
        const double psi = 2.0 * kPi * uni(rng);
        for (double s : {0.3, 0.9, 1.0, 1.1, 2.5}) {
            double x, y, radius;
            pointOnRay(c, psi, s, x, y, radius);
            EXPECT_NEAR(radial(c, x, y).distance, (s - 1.0) * radius, 1e-11 * (c.a + 40.0))
                << "k " << c.k << " psi " << psi << " s " << s;
        }
    }
}

TEST(SuperEllipseRadialDistance, DerivativesMatchFiniteDifferences) {
    std::mt19937_64 rng(303);
    std::uniform_real_distribution<double> uni(0.0, 1.0);
    for (int i = 0; i < 200; ++i) {
        const PlanarCurveParams c = randomCurve(rng);
        // Off the axes of the curve (where the terms have no second derivative for
        // k > 1), inside and outside.
        const double psi = 0.1 + (kPi / 2.0 - 0.2) * uni(rng) + kPi / 2.0 * double(i % 4);
        double x, y, radius;
        pointOnRay(c, psi, 0.5 + uni(rng), x, y, radius);
        const RadialCurveDistance d = radial(c, x, y);
        double PlanarCurveParams::*members[6] = {&PlanarCurveParams::a, &PlanarCurveParams::b,
                                                 &PlanarCurveParams::k, &PlanarCurveParams::u,
                                                 &PlanarCurveParams::v, &PlanarCurveParams::angle};
        for (int p = 0; p < 6; ++p) {
            const double h = 1e-6 * std::max(1.0, std::abs(c.*members[p]));
            PlanarCurveParams plus = c, minus = c;
            plus.*members[p] += h;
            minus.*members[p] -= h;
            const double fd =
                (radial(plus, x, y).distance - radial(minus, x, y).distance) / (2 * h);
            EXPECT_NEAR(d.derivative[p], fd, 1e-6 * std::max(1.0, std::abs(fd)))
                << "parameter " << p << " k " << c.k << " psi " << psi;
        }
    }
}

TEST(SuperEllipseRadialDistance, CentreAndOverflowStayFinite) {
    PlanarCurveParams c;
    c.a = 2.0;
    c.b = 1.0;
    c.u = 1.0;
    c.v = 1.0;
    const RadialCurveDistance centre = radial(c, 1.0, 1.0);
    EXPECT_EQ(centre.distance, 0.0);
    for (double g : centre.derivative)
        EXPECT_EQ(g, 0.0);
    // k = 0.005 raises x²/a² to the power 200: far points overflow, and fall back to
    // the distance from the centre with zero derivatives.
    c.k = 0.005;
    const RadialCurveDistance far = radial(c, 1e3, -2e3);
    EXPECT_TRUE(std::isfinite(far.distance));
    EXPECT_NEAR(far.distance, std::hypot(999.0, 2001.0), 1e-9 * 2001.0);
    for (double g : far.derivative)
        EXPECT_TRUE(std::isfinite(g));
    // On an axis: the vertex at distance a, for k below and above 2.
    for (double k : {0.5, 1.0, 3.0}) {
        c.k = k;
        EXPECT_NEAR(radial(c, 1.0 + 2.5, 1.0).distance, 0.5, 1e-14) << k;
        EXPECT_NEAR(radial(c, 1.0, 1.0 - 0.25).distance, -0.75, 1e-14) << k;
    }
}
