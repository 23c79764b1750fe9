// Sphere fit: exact and noisy data with known least-squares solutions at several
// scales and offsets, full spheres and 30° caps, both schemes, unit invariance,
// start values, fixed parameters, weighting, edge cases and the NIST spheres.
#include <gtest/gtest.h>

#include <Eigen/Dense>

#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "FitCoreTestUtils.h"
#include "FitTestUtils.h"
#include "TestHelpers.h"
#include "alg3D/approximate/FitObjSphere.h"
#include "alg3D/matrix/Alg3dException.h"

using alg3D::DMatrix;
using alg3D::Matrix3x3d;
using alg3D::Vec3d;
using alg3D::approximate::Estimate;
using alg3D::approximate::FitObjSphere;
using alg3D::approximate::Fixed;
using alg3D::approximate::Given;
using fit_core_test::Scheme;

namespace {

constexpr Scheme kSchemes[] = {Scheme::GaussNewton, Scheme::LevenbergMarquardt};
constexpr double kFull = M_PI;       // polar angle range of a whole sphere
constexpr double kCap = M_PI / 6.0;  // a 30° cap
constexpr double kDeg = M_PI / 180.0;

struct SphereCase {
    Vec3d center;
    double radius = 1.0;
    std::vector<Vec3d> normals;  // outward unit normals
    std::vector<Vec3d> points;
    std::vector<double> offsets;  // signed radial moves (the deviations)
};

// Points spread evenly (golden-angle spiral) over the polar range [0, cap] about a
// random axis.
SphereCase makeSphere(std::mt19937_64& rng, double radius, double offset, double cap,
                      std::size_t n) {
    SphereCase s;
    const Matrix3x3d rot = fit_test::randomRotation(rng);
    s.center = offset * fit_core_test::randomUnit(rng);
    s.radius = radius;
    const double zMin = std::cos(cap);
    for (std::size_t i = 0; i < n; ++i) {
        const double z = 1.0 - (1.0 - zMin) * (double(i) + 0.5) / double(n);
        const double rho = std::sqrt(std::max(0.0, 1.0 - z * z));
        const double phi = 2.399963229728653 * double(i);
        const Vec3d local(rho * std::cos(phi), rho * std::sin(phi), z);
        const Vec3d nrm = rot * local;
        s.normals.push_back(nrm);
        s.points.push_back(s.center + radius * nrm);
    }
    s.offsets.assign(n, 0.0);
    return s;
}

// Radial noise orthogonal to the Jacobian [1, n] of the signed distances.
void addNullSpaceNoise(SphereCase& s, double amplitude, std::mt19937_64& rng) {
    const std::size_t n = s.points.size();
    Eigen::MatrixXd J(n, 4);
    for (std::size_t i = 0; i < n; ++i) {
        const Eigen::Index r = Eigen::Index(i);
        J(r, 0) = 1.0;
        J(r, 1) = s.normals[i].x;
        J(r, 2) = s.normals[i].y;
        J(r, 3) = s.normals[i].z;
    }
    s.offsets = fit_test::nullSpaceResiduals(J, amplitude, rng);
    s.points = fit_test::displaceAlongNormals(s.points, s.normals, s.offsets);
}

double relError(const FitObjSphere& fit, const SphereCase& s) {
    return std::max((fit.center - s.center).norm(), std::abs(fit.radius - s.radius)) / s.radius;
}

}  // namespace

TEST(FitSphere, ExactDataAtScalesOffsetsAndCoverages) {
    auto rng = testing_helpers::seededRng(201);
    for (Scheme scheme : kSchemes)
        for (double size : {1e-3, 1.0, 1e3})
            for (double offsetFactor : {0.0, 10.0, 1e4})
                for (double cap : {kFull, kCap}) {
                    const SphereCase s = makeSphere(rng, size, offsetFactor * size, cap, 60);
                    FitObjSphere fit;
                    const auto it = fit_core_test::runScheme(scheme, s.points, fit);
                    SCOPED_TRACE(testing::Message() << fit_core_test::schemeName(scheme) << " size "
                                                    << size << " offset " << offsetFactor << " cap "
                                                    << cap / kDeg << " iterations " << it);
                    EXPECT_LT(relError(fit, s), 1e-9);
                    EXPECT_LT(fit_core_test::deviationStats(fit, s.points).sigma, 1e-9 * size);
                    EXPECT_LT(it, 100u);
                }
}

TEST(FitSphere, NoisyDataWithKnownSolution) {
    auto rng = testing_helpers::seededRng(202);
    for (Scheme scheme : kSchemes)
        for (double size : {1e-3, 1.0, 1e3})
            for (double offsetFactor : {0.0, 1e4})
                for (double cap : {kFull, kCap}) {
                    SphereCase s = makeSphere(rng, size, offsetFactor * size, cap, 80);
                    addNullSpaceNoise(s, 1e-3 * size, rng);
                    FitObjSphere fit;
                    const auto it = fit_core_test::runScheme(scheme, s.points, fit);
                    SCOPED_TRACE(testing::Message() << fit_core_test::schemeName(scheme) << " size "
                                                    << size << " offset " << offsetFactor << " cap "
                                                    << cap / kDeg << " iterations " << it);
                    const double tol = cap == kFull ? 1e-9 : 1e-7;
                    EXPECT_LT(relError(fit, s), tol);
                    // Signed deviations: sigma is the spread of the signed moves.
                    EXPECT_NEAR(fit_core_test::deviationStats(fit, s.points).sigma,
                                fit_core_test::populationSigma(s.offsets), tol * size);
                }
}

TEST(FitSphere, UnitInvariance) {
    auto rng = testing_helpers::seededRng(203);
    for (Scheme scheme : kSchemes)
        for (double cap : {kFull, kCap}) {
            SphereCase s = makeSphere(rng, 1.0, 50.0, cap, 70);
            addNullSpaceNoise(s, 2e-3, rng);
            FitObjSphere ref;
            fit_core_test::runScheme(scheme, s.points, ref);
            for (double unit : {1e-3, 1e3}) {
                FitObjSphere fit;
                fit_core_test::runScheme(scheme, fit_core_test::scaled(s.points, unit), fit);
                SCOPED_TRACE(testing::Message() << fit_core_test::schemeName(scheme) << " unit "
                                                << unit << " cap " << cap / kDeg);
                EXPECT_NEAR(fit.radius / unit, ref.radius, 1e-9);
                EXPECT_VEC_NEAR(fit.center / unit, ref.center, 1e-9);
            }
        }
}

TEST(FitSphere, ConvergesFromItsEstimateOnOnePercentNoise) {
    auto rng = testing_helpers::seededRng(204);
    for (Scheme scheme : kSchemes)
        for (double size : {1e-3, 1.0, 1e3}) {
            SphereCase s = makeSphere(rng, size, 100.0 * size, kFull, 100);
            addNullSpaceNoise(s, 1e-2 * size, rng);
            FitObjSphere fit;
            const auto it = fit_core_test::runScheme(scheme, s.points, fit);
            SCOPED_TRACE(testing::Message() << fit_core_test::schemeName(scheme) << " size " << size
                                            << " iterations " << it);
            EXPECT_LT(it, 100u);
            EXPECT_LT(relError(fit, s), 1e-9);
        }
}

TEST(FitSphere, ConvergesFromGivenStartValuesOnACap) {
    auto rng = testing_helpers::seededRng(205);
    for (Scheme scheme : kSchemes) {
        SphereCase s = makeSphere(rng, 2.0, 30.0, kCap, 80);
        addNullSpaceNoise(s, 2e-3, rng);
        FitObjSphere fit;
        fit.setCenter(s.center + Vec3d(0.1, -0.15, 0.2), Given);
        fit.setRadius(2.3, Given);
        const auto it = fit_core_test::runScheme(scheme, s.points, fit);
        EXPECT_LT(it, 100u);
        EXPECT_LT(relError(fit, s), 1e-7) << fit_core_test::schemeName(scheme);
    }
}

TEST(FitSphere, FixedParametersStayFixed) {
    auto rng = testing_helpers::seededRng(206);
    SphereCase s = makeSphere(rng, 1.5, 20.0, kFull, 80);
    addNullSpaceNoise(s, 1e-3, rng);
    for (Scheme scheme : kSchemes) {
        // The true radius fixed: the centre is still the least-squares centre.
        {
            FitObjSphere fit;
            fit.setRadius(1.5, Fixed);
            fit_core_test::runScheme(scheme, s.points, fit);
            EXPECT_EQ(fit.radius, 1.5);
            EXPECT_LT((fit.center - s.center).norm(), 1e-9);
        }
        // A wrong radius fixed stays as it is; the centre moves.
        {
            FitObjSphere fit;
            fit.setRadius(1.4, Fixed);
            fit_core_test::runScheme(scheme, s.points, fit);
            EXPECT_EQ(fit.radius, 1.4);
        }
        // The centre fixed at the truth: the radius is the mean distance.
        {
            FitObjSphere fit;
            fit.setCenter(s.center, Fixed);
            fit_core_test::runScheme(scheme, s.points, fit);
            EXPECT_TRUE(fit.center == s.center);
            EXPECT_NEAR(fit.radius, 1.5, 1e-9);
        }
        // One coordinate fixed elsewhere.
        {
            FitObjSphere fit;
            fit.center = s.center + Vec3d(0.0, 0.0, 0.01);
            fit.state[FitObjSphere::kCenterZ] = Fixed;
            fit_core_test::runScheme(scheme, s.points, fit);
            EXPECT_EQ(fit.center.z, s.center.z + 0.01);
            EXPECT_EQ(fit.numFreeParameters(), 3u);
        }
    }
}

TEST(FitSphere, WeightingRemovesPlantedOutliersAndLeavesCleanDataAlone) {
    auto rng = testing_helpers::seededRng(207);
    SphereCase s = makeSphere(rng, 1.0, 10.0, kFull, 200);
    addNullSpaceNoise(s, 1e-3, rng);
    for (Scheme scheme : kSchemes) {
        SCOPED_TRACE(fit_core_test::schemeName(scheme));
        // Clean data: nothing lies above mean + 3σ, the result is unchanged.
        FitObjSphere plain, weighted;
        fit_core_test::runScheme(scheme, s.points, plain, 100, false);
        fit_core_test::runScheme(scheme, s.points, weighted, 100, true);
        EXPECT_TRUE(plain.center == weighted.center);
        EXPECT_EQ(plain.radius, weighted.radius);

        // Planted outliers outside the surface: weighting recovers the clean fit.
        std::vector<Vec3d> dirty = s.points;
        for (std::size_t i : {3u, 50u, 97u, 150u})
            dirty[i] = s.center + (1.0 + s.offsets[i] + 0.1) * s.normals[i];
        FitObjSphere robust, naive;
        fit_core_test::runScheme(scheme, dirty, robust, 100, true);
        fit_core_test::runScheme(scheme, dirty, naive, 100, false);
        EXPECT_GT((naive.center - s.center).norm() + std::abs(naive.radius - 1.0), 1e-4);
        // The clean points alone define the optimum; the outliers' rows are zero.
        std::vector<Vec3d> clean;
        for (std::size_t i = 0; i < dirty.size(); ++i)
            if (i != 3 && i != 50 && i != 97 && i != 150) clean.push_back(dirty[i]);
        FitObjSphere reference;
        fit_core_test::runScheme(scheme, clean, reference);
        EXPECT_LT((robust.center - reference.center).norm(), 1e-9);
        EXPECT_NEAR(robust.radius, reference.radius, 1e-9);
    }
}

TEST(FitSphere, WeightingThresholdsOfJacobianAndResiduals) {
    // 99 points on the unit sphere and one 9e-5 outside: the mean residual 9e-7
    // lies between the two thresholds, so only computeResiduals removes it.
    std::vector<Vec3d> pts;
    auto rng = testing_helpers::seededRng(208);
    for (int i = 0; i < 100; ++i)
        pts.push_back(fit_core_test::randomUnit(rng));
    pts[10] = pts[10] * (1.0 + 9e-5);
    FitObjSphere fit;
    fit.setCenter(Vec3d(0.0, 0.0, 0.0), Given);
    fit.setRadius(1.0, Given);
    DMatrix J, r;
    fit.buildJacobian(pts.data(), pts.data() + pts.size(), J, r, true);
    EXPECT_NEAR(r[10], 9e-5, 1e-15);
    EXPECT_NE(J(10, 0), 0.0);
    fit.computeResiduals(pts.data(), pts.data() + pts.size(), r, true);
    EXPECT_EQ(r[10], 0.0);
    // Ten times larger: both remove it, with its Jacobian row.
    pts[10] = pts[10] * (1.0 + 9e-4);
    fit.buildJacobian(pts.data(), pts.data() + pts.size(), J, r, true);
    EXPECT_EQ(r[10], 0.0);
    for (std::size_t c = 0; c < 4; ++c)
        EXPECT_EQ(J(10, c), 0.0);
}

TEST(FitSphere, JacobianMatchesFiniteDifferences) {
    auto rng = testing_helpers::seededRng(209);
    SphereCase s = makeSphere(rng, 2.0, 5.0, kFull, 40);
    addNullSpaceNoise(s, 0.3, rng);
    FitObjSphere fit;
    fit.estimateInitial(s.points.data(), s.points.data() + s.points.size());
    fit.center = fit.center + Vec3d(0.2, -0.1, 0.05);
    fit.radius = 1.7;
    EXPECT_LT(fit_core_test::maxJacobianError(fit, s.points, 1e-6), 1e-8);
    fit.state[FitObjSphere::kCenterY] = Fixed;
    EXPECT_EQ(fit.numFreeParameters(), 3u);
    EXPECT_LT(fit_core_test::maxJacobianError(fit, s.points, 1e-6), 1e-8);
}

TEST(FitSphere, EstimateIsCentroidAndRootMeanSquareDistance) {
    std::vector<Vec3d> pts = {Vec3d(1, 0, 0),  Vec3d(-1, 0, 0), Vec3d(0, 2, 0),
                              Vec3d(0, -2, 0), Vec3d(0, 0, 3),  Vec3d(0, 0, -3)};
    for (auto& p : pts)
        p = p + Vec3d(10.0, 20.0, 30.0);
    FitObjSphere fit;
    fit.estimateInitial(pts.data(), pts.data() + pts.size());
    EXPECT_VEC_NEAR(fit.center, Vec3d(10.0, 20.0, 30.0), 1e-13);
    EXPECT_NEAR(fit.radius, std::sqrt((1.0 + 1.0 + 4.0 + 4.0 + 9.0 + 9.0) / 6.0), 1e-13);
    // Given values are kept.
    FitObjSphere given;
    given.setCenter(Vec3d(1.0, 2.0, 3.0), Given);
    given.setRadius(0.25, Given);
    given.estimateInitial(pts.data(), pts.data() + pts.size());
    EXPECT_TRUE(given.center == Vec3d(1.0, 2.0, 3.0));
    EXPECT_EQ(given.radius, 0.25);
    // Coincident points: the radius is raised to 1e-6.
    std::vector<Vec3d> same(5, Vec3d(1.0, 1.0, 1.0));
    FitObjSphere tiny;
    tiny.estimateInitial(same.data(), same.data() + same.size());
    EXPECT_EQ(tiny.radius, 1e-6);
}

TEST(FitSphere, TooFewPoints) {
    std::vector<Vec3d> pts = {Vec3d(1, 0, 0), Vec3d(0, 1, 0), Vec3d(0, 0, 1)};
    for (Scheme scheme : kSchemes) {
        FitObjSphere fit;
        try {
            fit_core_test::runScheme(scheme, pts, fit);
            ADD_FAILURE() << "no exception";
        } catch (const alg3D::Alg3dException& e) {
            EXPECT_STREQ(e.what(), "ALG3D::not enough data for geometry approximation.\n");
        }
    }
    FitObjSphere fit;
    EXPECT_THROW(fit.estimateInitial(nullptr, nullptr), alg3D::Alg3dException);
}

TEST(FitSphere, PointAtTheCentreAndSignedDeviation) {
    FitObjSphere fit;
    fit.setCenter(Vec3d(1.0, 2.0, 3.0), Given);
    fit.setRadius(2.0, Given);
    const Vec3d c(1.0, 2.0, 3.0);
    EXPECT_VEC_NEAR(fit.nearestPoint(c), Vec3d(1.0, 2.0, 5.0), 0.0);
    std::vector<Vec3d> one = {c};
    DMatrix J, r;
    fit.buildJacobian(one.data(), one.data() + 1, J, r, false);
    EXPECT_EQ(r[0], 2.0);
    EXPECT_EQ(J(0, 0), 1.0);  // inside: a larger radius moves the surface away
    EXPECT_VEC_NEAR(Vec3d(J(0, 1), J(0, 2), J(0, 3)), Vec3d(0.0, 0.0, 1.0), 0.0);
    EXPECT_EQ(fit.deviation(c), -2.0);
    EXPECT_NEAR(fit.deviation(Vec3d(4.0, 2.0, 3.0)), 1.0, 1e-15);
    EXPECT_NEAR(fit.deviation(Vec3d(1.0, 1.0, 3.0)), -1.0, 1e-15);
    // A point on the surface: zero residual and zero derivatives.
    std::vector<Vec3d> on = {Vec3d(3.0, 2.0, 3.0)};
    fit.buildJacobian(on.data(), on.data() + 1, J, r, false);
    EXPECT_EQ(r[0], 0.0);
    for (std::size_t c2 = 0; c2 < 4; ++c2)
        EXPECT_EQ(J(0, c2), 0.0);
}

TEST(FitSphere, ManyPointsTakeTheParallelPath) {
    auto rng = testing_helpers::seededRng(210);
    SphereCase s = makeSphere(rng, 3.0, 40.0, kFull, 30000);
    std::uniform_real_distribution<double> uni(-1e-3, 1e-3);
    for (std::size_t i = 0; i < s.points.size(); ++i)
        s.points[i] = s.points[i] + uni(rng) * s.normals[i];
    FitObjSphere fit;
    fit_core_test::runScheme(Scheme::LevenbergMarquardt, s.points, fit);
    // The least-squares optimum: Jᵀr = 0 with the residuals of the result.
    DMatrix J, r;
    fit.buildJacobian(s.points.data(), s.points.data() + s.points.size(), J, r, false);
    const DMatrix g = alg3D::transposedProduct(J, r);
    EXPECT_LT(alg3D::infinityNorm(g), 1e-9);
    EXPECT_LT(relError(fit, s), 1e-4);
    // The same rows serially: every point's row depends on that point only.
    for (std::size_t i = 0; i < s.points.size(); i += 997) {
        DMatrix j1, r1;
        fit.buildJacobian(&s.points[i], &s.points[i] + 1, j1, r1, false);
        EXPECT_EQ(r1[0], r[i]);
        for (std::size_t c = 0; c < 4; ++c)
            EXPECT_EQ(j1(0, c), J(i, c));
    }
}

// ---- NIST reference spheres ----------------------------------------------------------

TEST(FitSphereNist, ReferenceFitsAreReproduced) {
    SKIP_WITHOUT_NIST();
    for (const char* name : {"sph5", "sph11"}) {
        const std::string base = fit_core_test::nistDir() + "/Sphere/" + name;
        const auto pts = fit_core_test::readNistPoints(base + ".ds");
        const auto ref = fit_core_test::readNistFit(base + ".fit");
        ASSERT_FALSE(pts.empty()) << name;
        ASSERT_EQ(ref.size(), 4u) << name;
        const Vec3d refCenter(ref[0], ref[1], ref[2]);
        const double refRadius = ref[3] / 2.0;
        for (Scheme scheme : kSchemes) {
            FitObjSphere fit;
            const auto it = fit_core_test::runScheme(scheme, pts, fit);
            // In the data's unit (mm).
            const double centerErr = (fit.center - refCenter).norm();
            const double radiusErr = std::abs(fit.radius - refRadius);
            if (fit_core_test::reportFigures())
                std::printf("NIST %s %s: iterations %llu, centre %.3g, radius %.3g\n", name,
                            fit_core_test::schemeName(scheme), (unsigned long long)it, centerErr,
                            radiusErr);
            SCOPED_TRACE(testing::Message()
                         << name << " " << fit_core_test::schemeName(scheme) << " iterations " << it
                         << " centre " << centerErr << " radius " << radiusErr);
            EXPECT_LT(centerErr, 1e-9);
            EXPECT_LT(radiusErr, 1e-9);
        }
    }
}
