// Circle fit: exact and noisy data with known least-squares solutions (noise kept
// in the plane, which the estimate fixes), scales, offsets, arcs, both schemes,
// states, weighting, edge cases and the NIST 3D circles.
#include <gtest/gtest.h>

#include <Eigen/Dense>

#include <algorithm>
#include <cmath>
#include <cstdio>
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

TEST(FitCircle, NoisyDataWithKnownSolution) {
    auto rng = testing_helpers::seededRng(103);
    for (Scheme scheme : kSchemes)
        for (double size : {1e-3, 1.0, 1e3})
            for (double offsetFactor : {0.0, 1e4})
                for (double span : {2.0 * M_PI, M_PI / 3.0}) {
                    CircleCase c = makeCircle(rng, size, offsetFactor * size, span, 60);
                    addNullSpaceNoise(c, 1e-3 * size, rng);
                    FitObjCircle3D fit;
                    const auto it = fit_core_test::runScheme(scheme, c.points, fit);
                    SCOPED_TRACE(testing::Message() << fit_core_test::schemeName(scheme) << " size "
                                                    << size << " offset " << offsetFactor
                                                    << " span " << span << " iterations " << it);
                    const double tol = span > M_PI ? 1e-9 : 1e-7;
                    EXPECT_LT(compare(fit, c).worst(), tol);
                    // Unsigned deviations: sigma is the spread of |r|.
                    EXPECT_NEAR(fit_core_test::deviationStats(fit, c.points).sigma,
                                fit_core_test::populationSigma(fit_core_test::absolute(c.offsets)),
                                tol * size);
                }
}

TEST(FitCircle, UnitInvariance) {
    auto rng = testing_helpers::seededRng(104);
    for (Scheme scheme : kSchemes)
        for (double span : {2.0 * M_PI, M_PI / 2.0}) {
            CircleCase c = makeCircle(rng, 1.0, 40.0, span, 50);
            addNullSpaceNoise(c, 2e-3, rng);
            FitObjCircle3D ref;
            fit_core_test::runScheme(scheme, c.points, ref);
            for (double unit : {1e-3, 1e3}) {
                FitObjCircle3D fit;
                fit_core_test::runScheme(scheme, fit_core_test::scaled(c.points, unit), fit);
                SCOPED_TRACE(testing::Message() << fit_core_test::schemeName(scheme) << " unit "
                                                << unit << " span " << span);
                EXPECT_NEAR(fit.radius / unit, ref.radius, 1e-9);
                EXPECT_VEC_NEAR(fit.center() / unit, ref.center(), 1e-9);
                EXPECT_LT(fit_test::lineAngle(fit.normal, ref.normal), 1e-9);
            }
        }
}

TEST(FitCircle, ConvergesFromItsEstimateAndFromGivenStartValues) {
    auto rng = testing_helpers::seededRng(105);
    for (Scheme scheme : kSchemes)
        for (double size : {1e-3, 1.0, 1e3}) {
            CircleCase c = makeCircle(rng, size, 100.0 * size, 2.0 * M_PI, 80);
            addNullSpaceNoise(c, 1e-2 * size, rng);
            FitObjCircle3D fromEstimate;
            fit_core_test::runScheme(scheme, c.points, fromEstimate);
            SCOPED_TRACE(testing::Message()
                         << fit_core_test::schemeName(scheme) << " size " << size);
            EXPECT_LT(compare(fromEstimate, c).worst(), 1e-9);

            // A 90° arc from given values a tenth of the radius off.
            CircleCase arc = makeCircle(rng, size, 100.0 * size, M_PI / 2.0, 60);
            addNullSpaceNoise(arc, 1e-3 * size, rng);
            FitObjCircle3D given;
            given.setNormal(arc.normal, Given);
            given.setCenter(arc.center + 0.1 * size * (arc.e1 - arc.e2), Given);
            given.setRadius(0.9 * size, Given);
            const auto it = fit_core_test::runScheme(scheme, arc.points, given);
            EXPECT_LT(it, 100u);
            EXPECT_LT(compare(given, arc).worst(), 1e-7);
        }
}

TEST(FitCircle, FixedParametersStayFixed) {
    auto rng = testing_helpers::seededRng(106);
    CircleCase c = makeCircle(rng, 2.0, 15.0, 2.0 * M_PI, 60);
    addNullSpaceNoise(c, 2e-3, rng);
    for (Scheme scheme : kSchemes) {
        SCOPED_TRACE(fit_core_test::schemeName(scheme));
        {
            FitObjCircle3D fit;
            fit.setRadius(2.0, Fixed);
            fit_core_test::runScheme(scheme, c.points, fit);
            EXPECT_EQ(fit.radius, 2.0);
            EXPECT_LT((fit.center() - c.center).norm(), 1e-9);
        }
        {
            FitObjCircle3D fit;
            fit.setCenter(c.center, Fixed);
            fit_core_test::runScheme(scheme, c.points, fit);
            EXPECT_TRUE(fit.center() == c.center);
            EXPECT_EQ(fit.u, 0.0);
            EXPECT_EQ(fit.v, 0.0);
            EXPECT_NEAR(fit.radius, 2.0, 1e-9);
        }
        {
            // A fixed normal is used as it is, whatever the covariance says.
            FitObjCircle3D fit;
            fit.setNormal(c.normal + 0.01 * c.e1, Fixed);
            const Vec3d n = fit.normal;
            fit_core_test::runScheme(scheme, c.points, fit);
            EXPECT_VEC_NEAR(fit.normal, n, 0.0);
            EXPECT_VEC_NEAR(fit.frame.direction(), n, 0.0);
        }
    }
}

TEST(FitCircle, WeightingRemovesPlantedOutliersAndLeavesCleanDataAlone) {
    auto rng = testing_helpers::seededRng(107);
    CircleCase c = makeCircle(rng, 1.0, 10.0, 2.0 * M_PI, 200);
    addNullSpaceNoise(c, 1e-3, rng);
    const std::vector<std::size_t> planted = {7, 70, 133, 180};
    std::vector<Vec3d> dirty = c.points;
    for (std::size_t i : planted)
        dirty[i] = dirty[i] + 0.1 * (std::cos(c.angles[i]) * c.e1 + std::sin(c.angles[i]) * c.e2);
    std::vector<Vec3d> clean;
    for (std::size_t i = 0; i < dirty.size(); ++i)
        if (std::find(planted.begin(), planted.end(), i) == planted.end())
            clean.push_back(dirty[i]);
    for (Scheme scheme : kSchemes) {
        SCOPED_TRACE(fit_core_test::schemeName(scheme));
        FitObjCircle3D plain, weighted;
        fit_core_test::runScheme(scheme, c.points, plain, 100, false);
        fit_core_test::runScheme(scheme, c.points, weighted, 100, true);
        EXPECT_TRUE(plain.center() == weighted.center());
        EXPECT_EQ(plain.radius, weighted.radius);

        // The plane comes from all points' covariance (outliers are in the plane),
        // the in-plane circle from the clean ones.
        FitObjCircle3D robust, reference;
        fit_core_test::runScheme(scheme, dirty, robust, 100, true);
        reference.setNormal(robust.normal, Fixed);
        reference.setCenter(robust.planePoint, Given);
        fit_core_test::runScheme(scheme, clean, reference);
        EXPECT_LT((robust.center() - reference.center()).norm(), 1e-9);
        EXPECT_NEAR(robust.radius, reference.radius, 1e-9);
    }
}

TEST(FitCircle, WeightingThresholdsOfJacobianAndResiduals) {
    std::vector<Vec3d> pts;
    for (int i = 0; i < 100; ++i) {
        const double t = 2.0 * M_PI * double(i) / 100.0;
        pts.emplace_back(std::cos(t), std::sin(t), 0.0);
    }
    pts[10] = pts[10] * (1.0 + 9e-5);  // mean residual 9e-7
    FitObjCircle3D fit;
    fit.setCenter(Vec3d(0.0, 0.0, 0.0), Given);
    fit.setNormal(Vec3d(0.0, 0.0, 1.0), Given);
    fit.setRadius(1.0, Given);
    DMatrix J, r;
    fit.buildJacobian(pts.data(), pts.data() + pts.size(), J, r, true);
    EXPECT_NEAR(r[10], 9e-5, 1e-15);
    EXPECT_NE(J(10, 0), 0.0);
    fit.computeResiduals(pts.data(), pts.data() + pts.size(), r, true);
    EXPECT_EQ(r[10], 0.0);
    pts[10] = pts[10] * (1.0 + 9e-4);
    fit.buildJacobian(pts.data(), pts.data() + pts.size(), J, r, true);
    EXPECT_EQ(r[10], 0.0);
    for (std::size_t k = 0; k < 3; ++k)
        EXPECT_EQ(J(10, k), 0.0);
}

TEST(FitCircle, PerfectCircleEstimateAndFirstStep) {
    auto rng = testing_helpers::seededRng(108);
    const CircleCase c = makeCircle(rng, 3.0, 20.0, 2.0 * M_PI, 36);
    FitObjCircle3D fit;
    fit.estimateInitial(c.points.data(), c.points.data() + c.points.size());
    EXPECT_NEAR(fit.radius, 3.0, 1e-13);
    EXPECT_VEC_NEAR(fit.planePoint, c.center, 1e-12);
    EXPECT_EQ(fit.u, 0.0);
    EXPECT_EQ(fit.v, 0.0);
    FitObjCircle3D gn;
    EXPECT_EQ(fit_core_test::runScheme(Scheme::GaussNewton, c.points, gn), 0u);
    FitObjCircle3D lm;
    EXPECT_EQ(fit_core_test::runScheme(Scheme::LevenbergMarquardt, c.points, lm), 0u);
    EXPECT_LT(fit_core_test::deviationStats(lm, c.points).sigma, 1e-12);
}

TEST(FitCircle, ProjectionOnTheCentreAndOffPlanePoints) {
    FitObjCircle3D fit;
    fit.setCenter(Vec3d(1.0, 2.0, 3.0), Given);
    fit.setNormal(Vec3d(0.0, 0.0, 1.0), Given);
    fit.setRadius(2.0, Given);
    // On the normal through the centre: the nearest circle point lies along +u.
    const Vec3d above(1.0, 2.0, 7.0);
    EXPECT_VEC_NEAR(fit.nearestPoint(above), Vec3d(3.0, 2.0, 3.0), 0.0);
    EXPECT_EQ(fit.deviation(above), 2.0);
    std::vector<Vec3d> one = {above};
    DMatrix J, r;
    fit.buildJacobian(one.data(), one.data() + 1, J, r, false);
    EXPECT_EQ(r[0], 2.0);
    EXPECT_EQ(J(0, 0), 1.0);
    EXPECT_EQ(J(0, 1), 1.0);
    EXPECT_EQ(J(0, 2), 0.0);
    // The deviation is measured in the plane: height above it does not count.
    EXPECT_NEAR(fit.deviation(Vec3d(4.0, 2.0, -5.0)), 1.0, 1e-15);
    EXPECT_NEAR(fit.deviation(Vec3d(1.5, 2.0, 0.0)), 1.5, 1e-15);
    // A point on the circle: zero residual and zero derivatives.
    std::vector<Vec3d> on = {Vec3d(1.0, 4.0, 10.0)};
    fit.buildJacobian(on.data(), on.data() + 1, J, r, false);
    EXPECT_EQ(r[0], 0.0);
    for (std::size_t k = 0; k < 3; ++k)
        EXPECT_EQ(J(0, k), 0.0);
    // The centre in world coordinates follows u and v along the frame axes.
    fit.u = 0.5;
    fit.v = -0.25;
    EXPECT_VEC_NEAR(fit.center(), Vec3d(1.5, 1.75, 3.0), 1e-15);
}

TEST(FitCircle, TooFewPointsAndGivenValuesInTheEstimate) {
    std::vector<Vec3d> two = {Vec3d(1, 0, 0), Vec3d(0, 1, 0)};
    FitObjCircle3D fit;
    try {
        fit.estimateInitial(two.data(), two.data() + 2);
        ADD_FAILURE() << "no exception";
    } catch (const alg3D::Alg3dException& e) {
        EXPECT_STREQ(e.what(), "ALG3D::not enough data for geometry approximation.\n");
    }
    // Given centre and normal are kept by the estimate; the radius is the mean
    // in-plane distance from that centre.
    std::vector<Vec3d> pts = {Vec3d(2, 0, 1), Vec3d(0, 4, -1), Vec3d(-6, 0, 5)};
    FitObjCircle3D given;
    given.setCenter(Vec3d(0.0, 0.0, 0.0), Given);
    given.setNormal(Vec3d(0.0, 0.0, 2.0), Given);
    given.estimateInitial(pts.data(), pts.data() + pts.size());
    EXPECT_TRUE(given.planePoint == Vec3d(0.0, 0.0, 0.0));
    EXPECT_TRUE(given.normal == Vec3d(0.0, 0.0, 1.0));
    EXPECT_NEAR(given.radius, 4.0, 1e-15);
    // A fixed tiny radius stays; a free one is raised to 1e-6.
    std::vector<Vec3d> same(4, Vec3d(1.0, 1.0, 1.0));
    FitObjCircle3D tiny;
    tiny.estimateInitial(same.data(), same.data() + same.size());
    EXPECT_EQ(tiny.radius, 1e-6);
    FitObjCircle3D fixedTiny;
    fixedTiny.setRadius(1e-9, Fixed);
    fixedTiny.estimateInitial(same.data(), same.data() + same.size());
    EXPECT_EQ(fixedTiny.radius, 1e-9);
}

// ---- NIST reference circles ----------------------------------------------------------

TEST(FitCircleNist, ReferenceFitsAreReproduced) {
    SKIP_WITHOUT_NIST();
    for (const char* name : {"cir5", "cir7", "cir25"}) {
        const std::string base = fit_core_test::nistDir() + "/Circle3d/" + name;
        const auto pts = fit_core_test::readNistPoints(base + ".ds");
        const auto ref = fit_core_test::readNistFit(base + ".fit");
        ASSERT_FALSE(pts.empty()) << name;
        ASSERT_EQ(ref.size(), 7u) << name;
        const Vec3d refCenter(ref[0], ref[1], ref[2]);
        const Vec3d refNormal(ref[3], ref[4], ref[5]);
        const double refRadius = ref[6] / 2.0;
        for (Scheme scheme : kSchemes) {
            FitObjCircle3D fit;
            const auto it = fit_core_test::runScheme(scheme, pts, fit);
            // Lengths in the data's unit (mm), angles in radians.
            const double centerErr = (fit.center() - refCenter).norm();
            const double planeErr = std::abs(fit.normal.dot(refCenter - fit.planePoint));
            const double angle = fit_test::lineAngle(fit.normal, refNormal);
            const double radiusErr = std::abs(fit.radius - refRadius);
            if (fit_core_test::reportFigures())
                std::printf(
                    "NIST %s %s: iterations %llu, centre %.3g, plane %.3g, angle %.3g "
                    "rad, radius %.3g\n",
                    name, fit_core_test::schemeName(scheme), (unsigned long long)it, centerErr,
                    planeErr, angle, radiusErr);
            SCOPED_TRACE(testing::Message() << name << " " << fit_core_test::schemeName(scheme)
                                            << " iterations " << it);
            EXPECT_LT(centerErr, 1e-9);
            EXPECT_LT(planeErr, 1e-9);
            EXPECT_LT(angle, 1e-9);
            EXPECT_LT(radiusErr, 1e-9);
        }
    }
}
