// Plane fit: exact and noisy data with known least-squares solutions at several
// scales and offsets, square patches and narrow strips, both schemes, unit
// invariance, start values, fixed parameters, weighting, edge cases and the NIST
// plane.
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
#include "alg3D/approximate/FitObjPlane.h"
#include "alg3D/matrix/Alg3dException.h"
#include "alg3D/matrix/PointStatistics.h"

using alg3D::DMatrix;
using alg3D::Matrix3x3d;
using alg3D::Vec3d;
using alg3D::approximate::Estimate;
using alg3D::approximate::FitObjPlane;
using alg3D::approximate::Fixed;
using alg3D::approximate::Given;
using fit_core_test::Scheme;

namespace {

constexpr Scheme kSchemes[] = {Scheme::GaussNewton, Scheme::LevenbergMarquardt};

struct PlaneCase {
    Vec3d point, normal, e1, e2;
    double size = 1.0;
    std::vector<double> u, v;  // in-plane coordinates
    std::vector<Vec3d> points;
    std::vector<double> offsets;  // signed moves along the normal
};

// Points on a patch of size x (aspect·size) about a random point and frame.
PlaneCase makePlane(std::mt19937_64& rng, double size, double offset, double aspect,
                    std::size_t n) {
    PlaneCase c;
    const Matrix3x3d rot = fit_test::randomRotation(rng);
    c.e1 = Vec3d(rot(0, 0), rot(1, 0), rot(2, 0));
    c.e2 = Vec3d(rot(0, 1), rot(1, 1), rot(2, 1));
    c.normal = Vec3d(rot(0, 2), rot(1, 2), rot(2, 2));
    c.point = offset * fit_core_test::randomUnit(rng);
    c.size = size;
    std::uniform_real_distribution<double> uni(-0.5, 0.5);
    for (std::size_t i = 0; i < n; ++i) {
        c.u.push_back(size * uni(rng));
        c.v.push_back(aspect * size * uni(rng));
        c.points.push_back(c.point + c.u.back() * c.e1 + c.v.back() * c.e2);
    }
    c.offsets.assign(n, 0.0);
    return c;
}

// Moves along the normal orthogonal to [1, u, v] (offset and the two tilts).
void addNullSpaceNoise(PlaneCase& c, double amplitude, std::mt19937_64& rng) {
    const std::size_t n = c.points.size();
    Eigen::MatrixXd J(n, 3);
    for (std::size_t i = 0; i < n; ++i) {
        J(Eigen::Index(i), 0) = 1.0;
        J(Eigen::Index(i), 1) = c.u[i];
        J(Eigen::Index(i), 2) = c.v[i];
    }
    c.offsets = fit_test::nullSpaceResiduals(J, amplitude, rng);
    const std::vector<Vec3d> normals(n, c.normal);
    c.points = fit_test::displaceAlongNormals(c.points, normals, c.offsets);
}

double relError(const FitObjPlane& fit, const PlaneCase& c) {
    const double angle = fit_test::lineAngle(fit.normal, c.normal);
    const double d1 = std::abs(fit.normal.dot(c.point - fit.point));
    const double d2 = std::abs(c.normal.dot(fit.point - c.point));
    return std::max(angle, std::max(d1, d2) / c.size);
}

}  // namespace

TEST(FitPlane, ExactDataAtScalesOffsetsAndCoverages) {
    auto rng = testing_helpers::seededRng(401);
    for (Scheme scheme : kSchemes)
        for (double size : {1e-3, 1.0, 1e3})
            for (double offsetFactor : {0.0, 10.0, 1e4})
                for (double aspect : {1.0, 0.05}) {
                    const PlaneCase c = makePlane(rng, size, offsetFactor * size, aspect, 40);
                    FitObjPlane fit;
                    const auto it = fit_core_test::runScheme(scheme, c.points, fit);
                    SCOPED_TRACE(testing::Message()
                                 << fit_core_test::schemeName(scheme) << " size " << size
                                 << " offset " << offsetFactor << " aspect " << aspect
                                 << " iterations " << it);
                    EXPECT_LT(relError(fit, c), 1e-9);
                    EXPECT_LT(fit_core_test::deviationStats(fit, c.points).sigma, 1e-9 * size);
                    EXPECT_NEAR(fit.d(), -fit.normal.dot(c.point), 1e-9 * size);
                    EXPECT_LT(it, 100u);
                }
}

TEST(FitPlane, NoisyDataWithKnownSolution) {
    auto rng = testing_helpers::seededRng(402);
    for (Scheme scheme : kSchemes)
        for (double size : {1e-3, 1.0, 1e3})
            for (double offsetFactor : {0.0, 1e4})
                for (double aspect : {1.0, 0.05}) {
                    PlaneCase c = makePlane(rng, size, offsetFactor * size, aspect, 60);
                    addNullSpaceNoise(c, 1e-3 * size, rng);
                    FitObjPlane fit;
                    const auto it = fit_core_test::runScheme(scheme, c.points, fit);
                    SCOPED_TRACE(testing::Message()
                                 << fit_core_test::schemeName(scheme) << " size " << size
                                 << " offset " << offsetFactor << " aspect " << aspect
                                 << " iterations " << it);
                    const double tol = aspect == 1.0 ? 1e-9 : 1e-7;
                    EXPECT_LT(relError(fit, c), tol);
                    // Signed deviations: sigma is the spread of the signed moves.
                    const auto stats = fit_core_test::deviationStats(fit, c.points);
                    EXPECT_NEAR(stats.sigma, fit_core_test::populationSigma(c.offsets), tol * size);
                    EXPECT_NEAR(stats.mean, 0.0, tol * size);
                }
}

TEST(FitPlane, UnitInvariance) {
    auto rng = testing_helpers::seededRng(403);
    for (Scheme scheme : kSchemes) {
        PlaneCase c = makePlane(rng, 1.0, 30.0, 0.5, 60);
        addNullSpaceNoise(c, 5e-3, rng);
        FitObjPlane ref;
        fit_core_test::runScheme(scheme, c.points, ref);
        for (double unit : {1e-3, 1e3}) {
            FitObjPlane fit;
            fit_core_test::runScheme(scheme, fit_core_test::scaled(c.points, unit), fit);
            SCOPED_TRACE(testing::Message()
                         << fit_core_test::schemeName(scheme) << " unit " << unit);
            EXPECT_LT(fit_test::lineAngle(fit.normal, ref.normal), 1e-9);
            EXPECT_NEAR(ref.normal.dot(fit.point / unit - ref.point), 0.0, 1e-9);
        }
    }
}

TEST(FitPlane, ConvergesFromItsEstimateAndFromGivenStartValues) {
    auto rng = testing_helpers::seededRng(404);
    for (Scheme scheme : kSchemes)
        for (double size : {1e-3, 1.0, 1e3}) {
            PlaneCase c = makePlane(rng, size, 100.0 * size, 0.7, 80);
            addNullSpaceNoise(c, 1e-2 * size, rng);
            FitObjPlane fromEstimate;
            fit_core_test::runScheme(scheme, c.points, fromEstimate);
            EXPECT_LT(relError(fromEstimate, c), 1e-9);

            // Start 0.3 rad off, with the point away from the data in every sense.
            FitObjPlane given;
            given.setNormal(c.normal + 0.3 * c.e1 - 0.1 * c.e2, Given);
            given.setPoint(c.point + size * (0.2 * c.e1 + 0.3 * c.e2 + 0.1 * c.normal), Given);
            const auto it = fit_core_test::runScheme(scheme, c.points, given);
            SCOPED_TRACE(testing::Message() << fit_core_test::schemeName(scheme) << " size " << size
                                            << " iterations " << it);
            EXPECT_LT(it, 100u);
            EXPECT_LT(relError(given, c), 1e-9);
        }
}

TEST(FitPlane, FixedParametersStayFixed) {
    auto rng = testing_helpers::seededRng(405);
    PlaneCase c = makePlane(rng, 4.0, 20.0, 1.0, 60);
    addNullSpaceNoise(c, 0.02, rng);
    for (Scheme scheme : kSchemes) {
        SCOPED_TRACE(fit_core_test::schemeName(scheme));
        // A fixed normal: the plane goes through the centroid.
        {
            FitObjPlane fit;
            fit.setNormal(c.normal + 0.05 * c.e1, Fixed);
            const Vec3d n = fit.normal;
            fit_core_test::runScheme(scheme, c.points, fit);
            EXPECT_VEC_NEAR(fit.normal, n, 0.0);
            const Vec3d centroid = alg3D::centroid(c.points);
            EXPECT_NEAR(fit.normal.dot(centroid - fit.point), 0.0, 4e-9);
        }
        // A fixed point off the best plane (by 1e-3 of the size): the normal of the
        // second moments about it.
        {
            FitObjPlane fit;
            const Vec3d p0 = c.point + 0.004 * c.normal + 0.5 * c.e1;
            fit.setPoint(p0, Fixed);
            fit_core_test::runScheme(scheme, c.points, fit);
            EXPECT_TRUE(fit.point == p0);
            Eigen::Matrix3d m = Eigen::Matrix3d::Zero();
            for (const Vec3d& p : c.points) {
                const Eigen::Vector3d d(p.x - p0.x, p.y - p0.y, p.z - p0.z);
                m += d * d.transpose();
            }
            Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d> es(m);
            const Eigen::Vector3d e = es.eigenvectors().col(0);
            EXPECT_LT(fit_test::lineAngle(fit.normal, Vec3d(e.x(), e.y(), e.z())), 1e-9);
        }
    }
}

TEST(FitPlane, WeightingOfSignedResidualsLeavesTheLeastSquaresPlane) {
    // The weighting acts only when the mean residual exceeds 1e-6; the signed
    // residuals of a plane through the centroid have mean 0 (the gauge entry
    // adds a 0), so neither clean data nor planted outliers change the result.
    auto rng = testing_helpers::seededRng(406);
    PlaneCase c = makePlane(rng, 2.0, 10.0, 1.0, 200);
    addNullSpaceNoise(c, 2e-3, rng);
    std::vector<Vec3d> dirty = c.points;
    for (std::size_t i : {5u, 60u, 120u, 190u})
        dirty[i] = dirty[i] + 0.2 * c.normal;
    for (Scheme scheme : kSchemes) {
        SCOPED_TRACE(fit_core_test::schemeName(scheme));
        for (const auto* pts : {&c.points, &dirty}) {
            FitObjPlane plain, weighted;
            fit_core_test::runScheme(scheme, *pts, plain, 100, false);
            fit_core_test::runScheme(scheme, *pts, weighted, 100, true);
            EXPECT_TRUE(plain.point == weighted.point);
            EXPECT_TRUE(plain.normal == weighted.normal);
            DMatrix J, r;
            weighted.buildJacobian(pts->data(), pts->data() + pts->size(), J, r, true);
            EXPECT_LT(std::abs(alg3D::meanAndStdDev(r.values()).mean), 1e-6);
        }
    }
}

TEST(FitPlane, WeightingThresholdsOfJacobianAndResiduals) {
    std::vector<Vec3d> pts;
    for (int i = 0; i < 99; ++i)
        pts.emplace_back(double(i % 10), double(i / 10), 0.0);
    pts.emplace_back(4.5, 4.5, 9.09e-5);  // mean residual 9e-7 over 101 rows
    FitObjPlane fit;
    fit.setPoint(Vec3d(4.5, 4.5, 0.0), Given);
    fit.setNormal(Vec3d(0.0, 0.0, 1.0), Given);
    fit.centroid = fit.point;
    DMatrix J, r;
    fit.buildJacobian(pts.data(), pts.data() + pts.size(), J, r, true);
    EXPECT_EQ(r.rows(), 101u);
    EXPECT_NE(r[99], 0.0);
    fit.computeResiduals(pts.data(), pts.data() + pts.size(), r, true);
    EXPECT_EQ(r[99], 0.0);
    pts.back().z = 9.09e-4;
    fit.buildJacobian(pts.data(), pts.data() + pts.size(), J, r, true);
    EXPECT_EQ(r[99], 0.0);
    for (std::size_t k = 0; k < 5; ++k)
        EXPECT_EQ(J(99, k), 0.0);
}

TEST(FitPlane, JacobianMatchesFiniteDifferences) {
    auto rng = testing_helpers::seededRng(407);
    PlaneCase c = makePlane(rng, 3.0, 5.0, 1.0, 40);
    addNullSpaceNoise(c, 0.2, rng);
    FitObjPlane fit;
    fit.estimateInitial(c.points.data(), c.points.data() + c.points.size());
    fit.setNormal(fit.normal + Vec3d(0.05, -0.03, 0.02), Given);
    fit.point = fit.point + Vec3d(0.1, 0.2, -0.1);
    EXPECT_LT(fit_core_test::maxJacobianError(fit, c.points, 1e-6), 2e-8);
    // The gauge row is the derivative of the in-plane distance to the centroid.
    DMatrix J, r;
    fit.buildJacobian(c.points.data(), c.points.data() + c.points.size(), J, r, false);
    const std::size_t g = c.points.size();
    EXPECT_EQ(r[g], 0.0);
    const auto inPlane = [&](const FitObjPlane& f) {
        const Vec3d d = f.point - fit.centroid;
        return (d - f.normal.dot(d) * f.normal).norm();
    };
    const double h = 1e-6;
    for (std::size_t k = 0; k < 5; ++k) {
        DMatrix step(5, 1);
        step[k] = h;
        FitObjPlane plus = fit, minus = fit;
        plus.applyStep(step);
        step[k] = -h;
        minus.applyStep(step);
        EXPECT_NEAR(J(g, k), (inPlane(plus) - inPlane(minus)) / (2.0 * h), 1e-8) << k;
    }
}

TEST(FitPlane, ThreePointsAndEdgeCases) {
    const std::vector<Vec3d> three = {Vec3d(1.0, 0.0, 0.0), Vec3d(0.0, 2.0, 0.0),
                                      Vec3d(0.0, 0.0, 3.0)};
    const Vec3d cross = (three[1] - three[0]).cross(three[2] - three[0]).normalized();
    for (Scheme scheme : kSchemes) {
        FitObjPlane fit;
        EXPECT_EQ(fit_core_test::runScheme(scheme, three, fit), 0u);
        EXPECT_LT(fit_test::lineAngle(fit.normal, cross), 1e-15);
        const auto stats = fit_core_test::deviationStats(fit, three);
        EXPECT_LT(stats.sigma, 1e-15);
    }
    const std::vector<Vec3d> two(three.begin(), three.begin() + 2);
    FitObjPlane fit;
    EXPECT_THROW(fit.estimateInitial(two.data(), two.data() + 2), alg3D::Alg3dException);
    // Signed deviation and d.
    fit.setPoint(Vec3d(0.0, 0.0, 2.0), Given);
    fit.setNormal(Vec3d(0.0, 0.0, -4.0), Given);
    EXPECT_EQ(fit.deviation(Vec3d(5.0, 5.0, 1.0)), 1.0);
    EXPECT_EQ(fit.deviation(Vec3d(5.0, 5.0, 3.0)), -1.0);
    EXPECT_EQ(fit.d(), 2.0);
}

// ---- NIST reference plane ------------------------------------------------------------

TEST(FitPlaneNist, ReferenceFitIsReproduced) {
    SKIP_WITHOUT_NIST();
    const std::string base = fit_core_test::nistDir() + "/Plane/pla7";
    const auto pts = fit_core_test::readNistPoints(base + ".ds");
    const auto ref = fit_core_test::readNistFit(base + ".fit");
    ASSERT_FALSE(pts.empty());
    ASSERT_EQ(ref.size(), 6u);
    const Vec3d refPoint(ref[0], ref[1], ref[2]);
    const Vec3d refNormal(ref[3], ref[4], ref[5]);
    for (Scheme scheme : kSchemes) {
        FitObjPlane fit;
        const auto it = fit_core_test::runScheme(scheme, pts, fit);
        const double angle = fit_test::lineAngle(fit.normal, refNormal);
        const double dist = std::abs(fit.normal.dot(refPoint - fit.point));
        const double rms = fit_core_test::deviationStats(fit, pts).sigma;
        if (fit_core_test::reportFigures())
            std::printf(
                "NIST pla7 %s: iterations %llu, angle %.3g rad, distance %.3g, "
                "rms %.6g\n",
                fit_core_test::schemeName(scheme), (unsigned long long)it, angle, dist, rms);
        EXPECT_LT(angle, 1e-9);
        EXPECT_LT(dist, 1e-9);
        EXPECT_NEAR(rms, 4.03e-7, 0.005e-7);
    }
}
