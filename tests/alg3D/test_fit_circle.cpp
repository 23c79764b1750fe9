// Circle fit: exact and noisy data with known least-squares solutions (noise kept
// in the plane, which the estimate fixes), scales, offsets, arcs, both schemes,
// states, weighting, edge cases and the NIST 3D circles.
#include <gtest/gtest.h>

#include <Eigen/Dense>

#include <cmath>
#include <random>
#include <vector>

#include "FitCoreTestUtils.h"
#include "FitTestUtils.h"
#include "TestHelpers.h"
#include "alg3D/approximate/FitObjCircle3D.h"
#include "alg3D/matrix/Alg3dException.h"

using alg3D::DMatrix;
using alg3D::Matrix3x3d;
using alg3D::Vec3d;
using alg3D::approximate::Estimate;
using alg3D::approximate::FitObjCircle3D;
using alg3D::approximate::Fixed;
using alg3D::approximate::Given;
using fit_core_test::Scheme;

namespace {

constexpr Scheme kSchemes[] = {Scheme::GaussNewton, Scheme::LevenbergMarquardt};

struct CircleCase {
    Vec3d center;
    Vec3d e1, e2, normal;
    double radius = 1.0;
    std::vector<double> angles;
    std::vector<Vec3d> points;    // on the circle, or moved radially in the plane
    std::vector<double> offsets;  // signed radial moves (0 for exact data)
};

// Points of a circle over the arc [start, start + span) with a random frame.
CircleCase makeCircle(std::mt19937_64& rng, double radius, double offset, double span,
                      std::size_t n) {
    CircleCase c;
    const Matrix3x3d rot = fit_test::randomRotation(rng);
    c.e1 = Vec3d(rot(0, 0), rot(1, 0), rot(2, 0));
    c.e2 = Vec3d(rot(0, 1), rot(1, 1), rot(2, 1));
    c.normal = Vec3d(rot(0, 2), rot(1, 2), rot(2, 2));
    c.center = offset * fit_core_test::randomUnit(rng);
    c.radius = radius;
    std::uniform_real_distribution<double> uni(0.0, 2.0 * M_PI);
    const double start = uni(rng);
    for (std::size_t i = 0; i < n; ++i) {
        const double t = start + span * (double(i) + 0.5) / double(n);
        c.angles.push_back(t);
        c.points.push_back(c.center + radius * (std::cos(t) * c.e1 + std::sin(t) * c.e2));
    }
    c.offsets.assign(n, 0.0);
    return c;
}

// Radial in-plane noise orthogonal to the circle's Jacobian [1, cos t, sin t].
void addNullSpaceNoise(CircleCase& c, double amplitude, std::mt19937_64& rng) {
    const std::size_t n = c.points.size();
    Eigen::MatrixXd J(n, 3);
    for (std::size_t i = 0; i < n; ++i) {
        J(Eigen::Index(i), 0) = 1.0;
        J(Eigen::Index(i), 1) = std::cos(c.angles[i]);
        J(Eigen::Index(i), 2) = std::sin(c.angles[i]);
    }
    c.offsets = fit_test::nullSpaceResiduals(J, amplitude, rng);
    std::vector<Vec3d> radial(n);
    for (std::size_t i = 0; i < n; ++i)
        radial[i] = std::cos(c.angles[i]) * c.e1 + std::sin(c.angles[i]) * c.e2;
    c.points = fit_test::displaceAlongNormals(c.points, radial, c.offsets);
}

// Worst relative error of the fitted circle against the construction.
struct CircleError {
    double center = 0.0, radius = 0.0, normalAngle = 0.0;
    double worst() const { return std::max({center, radius, normalAngle}); }
};

CircleError compare(const FitObjCircle3D& fit, const CircleCase& c) {
    CircleError e;
    e.center = (fit.center() - c.center).norm() / c.radius;
    e.radius = std::abs(fit.radius - c.radius) / c.radius;
    e.normalAngle = fit_test::lineAngle(fit.normal, c.normal);
    return e;
}

}  // namespace

TEST(FitCircle, ExactDataAtScalesOffsetsAndArcs) {
    auto rng = testing_helpers::seededRng(101);
    for (Scheme scheme : kSchemes) {
        for (double size : {1e-3, 1.0, 1e3}) {
            for (double offsetFactor : {0.0, 10.0, 1e4}) {
                for (double span : {2.0 * M_PI, M_PI / 3.0}) {
                    if (scheme == Scheme::LevenbergMarquardt && span < M_PI) continue;
                    const CircleCase c = makeCircle(rng, size, offsetFactor * size, span, 40);
                    FitObjCircle3D fit;
                    const auto it = fit_core_test::runScheme(scheme, c.points, fit);
                    SCOPED_TRACE(testing::Message() << fit_core_test::schemeName(scheme) << " size "
                                                    << size << " offset " << offsetFactor
                                                    << " span " << span << " iterations " << it);
                    const CircleError e = compare(fit, c);
                    EXPECT_LT(e.center, 1e-9);
                    EXPECT_LT(e.radius, 1e-9);
                    EXPECT_LT(e.normalAngle, 1e-9);
                    EXPECT_LT(fit_core_test::deviationStats(fit, c.points).sigma, 1e-9 * size);
                    EXPECT_LT(it, 100u);
                }
            }
        }
    }
}

TEST(FitCircle, JacobianMatchesFiniteDifferences) {
    auto rng = testing_helpers::seededRng(102);
    CircleCase c = makeCircle(rng, 2.0, 5.0, 2.0 * M_PI, 30);
    addNullSpaceNoise(c, 0.2, rng);
    FitObjCircle3D fit;
    fit.estimateInitial(c.points.data(), c.points.data() + c.points.size());
    fit.u = 0.1;
    fit.v = -0.05;
    fit.radius = 1.9;
    EXPECT_LT(fit_core_test::maxJacobianError(fit, c.points, 1e-6), 1e-8);
}
