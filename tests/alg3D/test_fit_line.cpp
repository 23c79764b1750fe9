// Line fit: exact and noisy data with known least-squares solutions at several
// scales, offsets and orientations, both schemes, unit invariance, start values,
// fixed parameters, weighting, the gauge row, edge cases and the NIST 3D and 2D
// lines.
#include <gtest/gtest.h>

#include <Eigen/Dense>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "FitCoreTestUtils.h"
#include "FitTestUtils.h"
#include "TestHelpers.h"
#include "alg3D/approximate/FitObjLine3D.h"
#include "alg3D/matrix/Alg3dException.h"
#include "alg3D/matrix/PointStatistics.h"

using alg3D::DMatrix;
using alg3D::Vec3d;
using alg3D::approximate::Estimate;
using alg3D::approximate::FitObjLine3D;
using alg3D::approximate::Fixed;
using alg3D::approximate::Given;
using fit_core_test::Scheme;

namespace {

constexpr Scheme kSchemes[] = {Scheme::GaussNewton, Scheme::LevenbergMarquardt};

struct LineCase {
    Vec3d point, direction;
    double length = 1.0;
    std::vector<double> t;       // positions along the line
    std::vector<Vec3d> normals;  // unit, across the line
    std::vector<Vec3d> points;
    std::vector<double> offsets;  // moves along the normals
};

LineCase makeLine(std::mt19937_64& rng, double length, double offset, std::size_t n) {
    LineCase c;
    c.point = offset * fit_core_test::randomUnit(rng);
    c.direction = fit_core_test::randomUnit(rng);
    c.length = length;
    const Vec3d e1 = fit_core_test::anyPerpendicular(c.direction);
    const Vec3d e2 = c.direction.cross(e1);
    std::uniform_real_distribution<double> uni(0.0, 2.0 * M_PI);
    for (std::size_t i = 0; i < n; ++i) {
        const double t = length * ((double(i) + 0.5) / double(n) - 0.5);
        const double a = uni(rng);
        c.t.push_back(t);
        c.normals.push_back(std::cos(a) * e1 + std::sin(a) * e2);
        c.points.push_back(c.point + t * c.direction);
    }
    c.offsets.assign(n, 0.0);
    return c;
}

// Moves across the line orthogonal to the Jacobian of the signed distances along
// the normals: translation across (2) and tilt about the true point (2).
void addNullSpaceNoise(LineCase& c, double amplitude, std::mt19937_64& rng) {
    const std::size_t n = c.points.size();
    const Vec3d e1 = fit_core_test::anyPerpendicular(c.direction);
    const Vec3d e2 = c.direction.cross(e1);
    Eigen::MatrixXd J(n, 4);
    for (std::size_t i = 0; i < n; ++i) {
        const Eigen::Index r = Eigen::Index(i);
        J(r, 0) = c.normals[i].dot(e1);
        J(r, 1) = c.normals[i].dot(e2);
        J(r, 2) = c.t[i] * c.normals[i].dot(e1);
        J(r, 3) = c.t[i] * c.normals[i].dot(e2);
    }
    c.offsets = fit_test::nullSpaceResiduals(J, amplitude, rng);
    c.points = fit_test::displaceAlongNormals(c.points, c.normals, c.offsets);
}

// Worst error relative to the length: the angle (times 1, radians) and the
// distances of each line's point from the other line.
double relError(const FitObjLine3D& fit, const LineCase& c) {
    const double angle = fit_test::lineAngle(fit.direction, c.direction);
    const double d1 = fit_test::distanceToLine(c.point, fit.point, fit.direction);
    const double d2 = fit_test::distanceToLine(fit.point, c.point, c.direction);
    return std::max(angle, std::max(d1, d2) / c.length);
}

}  // namespace

TEST(FitLine, ExactDataAtScalesOffsetsAndOrientations) {
    auto rng = testing_helpers::seededRng(301);
    for (Scheme scheme : kSchemes)
        for (double size : {1e-3, 1.0, 1e3})
            for (double offsetFactor : {0.0, 10.0, 1e4})
                for (int rep = 0; rep < 3; ++rep) {
                    const LineCase c = makeLine(rng, size, offsetFactor * size, 30);
                    FitObjLine3D fit;
                    const auto it = fit_core_test::runScheme(scheme, c.points, fit);
                    SCOPED_TRACE(testing::Message()
                                 << fit_core_test::schemeName(scheme) << " size " << size
                                 << " offset " << offsetFactor << " iterations " << it);
                    EXPECT_LT(relError(fit, c), 1e-9);
                    EXPECT_LT(fit_core_test::deviationStats(fit, c.points).sigma, 1e-9 * size);
                    EXPECT_LT(it, 100u);
                }
}

TEST(FitLine, NoisyDataWithKnownSolution) {
    auto rng = testing_helpers::seededRng(302);
    for (Scheme scheme : kSchemes)
        for (double size : {1e-3, 1.0, 1e3})
            for (double offsetFactor : {0.0, 1e4})
                for (int rep = 0; rep < 2; ++rep) {
                    LineCase c = makeLine(rng, size, offsetFactor * size, 50);
                    addNullSpaceNoise(c, 1e-3 * size, rng);
                    FitObjLine3D fit;
                    const auto it = fit_core_test::runScheme(scheme, c.points, fit);
                    SCOPED_TRACE(testing::Message()
                                 << fit_core_test::schemeName(scheme) << " size " << size
                                 << " offset " << offsetFactor << " iterations " << it);
                    EXPECT_LT(relError(fit, c), 1e-9);
                    // Unsigned deviations: sigma is the spread of |r|.
                    EXPECT_NEAR(fit_core_test::deviationStats(fit, c.points).sigma,
                                fit_core_test::populationSigma(fit_core_test::absolute(c.offsets)),
                                1e-9 * size);
                }
}

TEST(FitLine, UnitInvariance) {
    auto rng = testing_helpers::seededRng(303);
    for (Scheme scheme : kSchemes) {
        LineCase c = makeLine(rng, 1.0, 30.0, 60);
        addNullSpaceNoise(c, 5e-3, rng);
        FitObjLine3D ref;
        fit_core_test::runScheme(scheme, c.points, ref);
        for (double unit : {1e-3, 1e3}) {
            FitObjLine3D fit;
            fit_core_test::runScheme(scheme, fit_core_test::scaled(c.points, unit), fit);
            SCOPED_TRACE(testing::Message()
                         << fit_core_test::schemeName(scheme) << " unit " << unit);
            EXPECT_LT(fit_test::lineAngle(fit.direction, ref.direction), 1e-9);
            EXPECT_LT(fit_test::distanceToLine(fit.point / unit, ref.point, ref.direction), 1e-9);
        }
    }
}

TEST(FitLine, ConvergesFromItsEstimateAndFromGivenStartValues) {
    auto rng = testing_helpers::seededRng(304);
    for (Scheme scheme : kSchemes)
        for (double size : {1e-3, 1.0, 1e3}) {
            LineCase c = makeLine(rng, size, 100.0 * size, 80);
            addNullSpaceNoise(c, 1e-2 * size, rng);
            FitObjLine3D fromEstimate;
            fit_core_test::runScheme(scheme, c.points, fromEstimate);
            EXPECT_LT(relError(fromEstimate, c), 1e-9);

            // Start 0.2 rad off and with the point a fifth of the length away,
            // partly along the line (which the gauge row keeps).
            FitObjLine3D given;
            const Vec3d tilt = fit_core_test::anyPerpendicular(c.direction);
            given.setDirection(c.direction + 0.2 * tilt, Given);
            given.setPoint(c.point + 0.2 * size * (tilt + c.direction), Given);
            const auto it = fit_core_test::runScheme(scheme, c.points, given);
            SCOPED_TRACE(testing::Message() << fit_core_test::schemeName(scheme) << " size " << size
                                            << " iterations " << it);
            EXPECT_LT(it, 100u);
            EXPECT_LT(relError(given, c), 1e-9);
        }
}

TEST(FitLine, FixedParametersStayFixed) {
    auto rng = testing_helpers::seededRng(305);
    LineCase c = makeLine(rng, 4.0, 20.0, 60);
    addNullSpaceNoise(c, 0.05, rng);
    const Vec3d tilt = fit_core_test::anyPerpendicular(c.direction);
    for (Scheme scheme : kSchemes) {
        SCOPED_TRACE(fit_core_test::schemeName(scheme));
        // A fixed (wrong) direction: the line moves through the centroid.
        {
            FitObjLine3D fit;
            fit.setDirection(c.direction + 0.05 * tilt, Fixed);
            const Vec3d dir = fit.direction;
            fit.setPoint(c.point + Vec3d(0.3, 0.2, -0.1), Given);
            fit_core_test::runScheme(scheme, c.points, fit);
            EXPECT_VEC_NEAR(fit.direction, dir, 0.0);
            EXPECT_EQ(fit.numFreeParameters(), 3u);
            const Vec3d centroid = alg3D::centroid(c.points);
            EXPECT_LT(fit_test::distanceToLine(centroid, fit.point, fit.direction), 4e-9);
        }
        // A fixed point off the best line (by 1e-3 of the length): the direction is
        // the principal axis of the second moments about that point.
        {
            FitObjLine3D fit;
            const Vec3d p0 = c.point + 0.004 * tilt;
            fit.setPoint(p0, Fixed);
            fit_core_test::runScheme(scheme, c.points, fit);
            EXPECT_TRUE(fit.point == p0);
            Eigen::Matrix3d m = Eigen::Matrix3d::Zero();
            for (const Vec3d& p : c.points) {
                const Eigen::Vector3d d(p.x - p0.x, p.y - p0.y, p.z - p0.z);
                m += d * d.transpose();
            }
            Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d> es(m);
            const Eigen::Vector3d e = es.eigenvectors().col(2);
            EXPECT_LT(fit_test::lineAngle(fit.direction, Vec3d(e.x(), e.y(), e.z())), 1e-9);
        }
    }
}

TEST(FitLine, WeightingRemovesPlantedOutliersAndLeavesCleanDataAlone) {
    auto rng = testing_helpers::seededRng(306);
    LineCase c = makeLine(rng, 2.0, 10.0, 200);
    addNullSpaceNoise(c, 2e-3, rng);
    for (Scheme scheme : kSchemes) {
        SCOPED_TRACE(fit_core_test::schemeName(scheme));
        FitObjLine3D plain, weighted;
        fit_core_test::runScheme(scheme, c.points, plain, 100, false);
        fit_core_test::runScheme(scheme, c.points, weighted, 100, true);
        EXPECT_TRUE(plain.point == weighted.point);
        EXPECT_TRUE(plain.direction == weighted.direction);

        std::vector<Vec3d> dirty = c.points;
        const std::vector<std::size_t> planted = {5, 60, 120, 190};
        for (std::size_t i : planted)
            dirty[i] = dirty[i] + 0.3 * c.normals[i];
        std::vector<Vec3d> clean;
        for (std::size_t i = 0; i < dirty.size(); ++i)
            if (std::find(planted.begin(), planted.end(), i) == planted.end())
                clean.push_back(dirty[i]);
        FitObjLine3D robust, reference;
        fit_core_test::runScheme(scheme, dirty, robust, 100, true);
        fit_core_test::runScheme(scheme, clean, reference);
        EXPECT_LT(fit_test::lineAngle(robust.direction, reference.direction), 1e-9);
        EXPECT_LT(fit_test::distanceToLine(reference.point, robust.point, robust.direction), 1e-9);
    }
}

TEST(FitLine, WeightingThresholdsOfJacobianAndResiduals) {
    // Two rows per point (the components across the line), the weighting acts on
    // the point's distance: 99 points on the line and one 9.09e-5 off give a mean
    // distance of 9e-7 over the 101 entries (gauge included).
    std::vector<Vec3d> pts;
    for (int i = 0; i < 99; ++i)
        pts.emplace_back(0.0, 0.0, double(i) * 0.01);
    pts.emplace_back(9.09e-5 * 0.6, 9.09e-5 * 0.8, 0.5);
    FitObjLine3D fit;
    fit.setPoint(Vec3d(0.0, 0.0, 0.0), Given);
    fit.setDirection(Vec3d(0.0, 0.0, 1.0), Given);
    fit.centroid = fit.point;
    EXPECT_EQ(fit.numResidualRows(100), 201u);
    DMatrix J, r;
    fit.buildJacobian(pts.data(), pts.data() + pts.size(), J, r, true);
    EXPECT_EQ(r.rows(), 201u);
    EXPECT_NEAR(std::hypot(r[198], r[199]), 9.09e-5, 1e-18);
    fit.computeResiduals(pts.data(), pts.data() + pts.size(), r, true);
    EXPECT_EQ(r[198], 0.0);
    EXPECT_EQ(r[199], 0.0);
    EXPECT_NE(r[196], 1.0);  // the others untouched
    pts.back() = pts.back() * 10.0;
    pts.back().z = 0.5;
    fit.buildJacobian(pts.data(), pts.data() + pts.size(), J, r, true);
    EXPECT_EQ(r[198], 0.0);
    EXPECT_EQ(r[199], 0.0);
    for (std::size_t k = 0; k < 5; ++k) {
        EXPECT_EQ(J(198, k), 0.0);
        EXPECT_EQ(J(199, k), 0.0);
    }
    EXPECT_NE(J(0, 0), 0.0);
}

TEST(FitLine, JacobianMatchesFiniteDifferencesAndGaugeRow) {
    auto rng = testing_helpers::seededRng(307);
    LineCase c = makeLine(rng, 3.0, 5.0, 40);
    addNullSpaceNoise(c, 0.2, rng);
    FitObjLine3D fit;
    fit.estimateInitial(c.points.data(), c.points.data() + c.points.size());
    fit.setDirection(fit.direction + Vec3d(0.05, -0.03, 0.02), Given);
    fit.point = fit.point + Vec3d(0.1, 0.2, -0.1);
    EXPECT_LT(fit_core_test::maxJacobianError(fit, c.points, 1e-6, 2 * c.points.size()), 2e-8);

    // The rows of a point hold its distance's components; the gauge row: residual 0
    // and the derivative of direction·(point − centroid).
    DMatrix J, r;
    fit.buildJacobian(c.points.data(), c.points.data() + c.points.size(), J, r, false);
    for (std::size_t i = 0; i < c.points.size(); ++i)
        EXPECT_NEAR(std::hypot(r[2 * i], r[2 * i + 1]), fit.deviation(c.points[i]), 1e-15);
    const std::size_t g = 2 * c.points.size();
    ASSERT_EQ(J.rows(), g + 1);
    EXPECT_EQ(r[g], 0.0);
    const double h = 1e-6;
    for (std::size_t k = 0; k < 5; ++k) {
        DMatrix step(5, 1);
        step[k] = h;
        FitObjLine3D plus = fit, minus = fit;
        plus.applyStep(step);
        step[k] = -h;
        minus.applyStep(step);
        const double fd = (plus.direction.dot(plus.point - fit.centroid) -
                           minus.direction.dot(minus.point - fit.centroid)) /
                          (2.0 * h);
        EXPECT_NEAR(J(g, k), fd, 1e-8) << k;
    }
}

TEST(FitLine, EstimateEdgeCases) {
    // Two points give the line through them.
    std::vector<Vec3d> two = {Vec3d(1.0, 2.0, 3.0), Vec3d(4.0, 6.0, 3.0)};
    for (Scheme scheme : kSchemes) {
        FitObjLine3D fit;
        EXPECT_EQ(fit_core_test::runScheme(scheme, two, fit), 0u);
        EXPECT_LT(fit_test::lineAngle(fit.direction, Vec3d(0.6, 0.8, 0.0)), 1e-15);
        EXPECT_VEC_NEAR(fit.point, Vec3d(2.5, 4.0, 3.0), 1e-15);
    }
    std::vector<Vec3d> one = {Vec3d(1.0, 2.0, 3.0)};
    FitObjLine3D fit;
    EXPECT_THROW(fit.estimateInitial(one.data(), one.data() + 1), alg3D::Alg3dException);
    // A zero direction given leaves the frame at +z.
    fit.setDirection(Vec3d(0.0, 0.0, 0.0), Given);
    EXPECT_TRUE(fit.direction == Vec3d(0.0, 0.0, 1.0));
    // A point on the line: zero residuals, and still a full Jacobian row pair.
    fit.setPoint(Vec3d(0.0, 0.0, 0.0), Given);
    std::vector<Vec3d> on = {Vec3d(0.0, 0.0, 2.0)};
    DMatrix J, r;
    fit.buildJacobian(on.data(), on.data() + 1, J, r, false);
    EXPECT_EQ(r[0], 0.0);
    EXPECT_EQ(r[1], 0.0);
    EXPECT_EQ(J(0, 0), -1.0);  // −axis0 = (−1, 0, 0)
    EXPECT_EQ(J(1, 1), -1.0);
    EXPECT_EQ(J(0, 4), -2.0);  // ∂q.x/∂angle2 = −q.z
    EXPECT_EQ(J(1, 3), 2.0);   // ∂q.y/∂angle1 = q.z
    EXPECT_EQ(fit.deviation(Vec3d(3.0, 4.0, 7.0)), 5.0);
}

// ---- NIST reference lines ----------------------------------------------------------

namespace {

void checkNistLine(const std::string& folder, const char* name) {
    const std::string base = fit_core_test::nistDir() + "/" + folder + "/" + name;
    const auto pts = fit_core_test::readNistPoints(base + ".ds");
    const auto ref = fit_core_test::readNistFit(base + ".fit");
    ASSERT_FALSE(pts.empty()) << name;
    ASSERT_EQ(ref.size(), 6u) << name;
    const Vec3d refPoint(ref[0], ref[1], ref[2]);
    const Vec3d refDir(ref[3], ref[4], ref[5]);
    for (Scheme scheme : kSchemes) {
        FitObjLine3D fit;
        const auto it = fit_core_test::runScheme(scheme, pts, fit);
        const double angle = fit_test::lineAngle(fit.direction, refDir);
        const double dist = fit_test::distanceToLine(refPoint, fit.point, fit.direction);
        if (fit_core_test::reportFigures())
            std::printf("NIST %s %s: iterations %llu, angle %.3g rad, distance %.3g\n", name,
                        fit_core_test::schemeName(scheme), (unsigned long long)it, angle, dist);
        EXPECT_LT(angle, 1e-9) << name << " " << fit_core_test::schemeName(scheme);
        EXPECT_LT(dist, 1e-9) << name << " " << fit_core_test::schemeName(scheme);
    }
}

}  // namespace

TEST(FitLineNist, Line3d) {
    SKIP_WITHOUT_NIST();
    for (const char* name : {"lin3", "lin17"})
        checkNistLine("Line3d", name);
}

TEST(FitLineNist, Line2dAsSpaceLines) {
    SKIP_WITHOUT_NIST();
    for (const char* name :
         {"lin2d1", "lin2d3", "lin2d9", "lin2d11", "lin2d17", "lin2d19", "lin2d21", "lin2d27"})
        checkNistLine("Line2d", name);
}
