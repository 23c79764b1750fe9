// Torus fit: analytic Jacobian against central differences, distances and nearest
// points, exact and noisy data with known least-squares solutions at several
// scales, offsets and orientations (full torus and half a torus), unit invariance,
// convergence from the estimate and from given values, fixed parameters,
// weighting, and the estimate's edge cases (swap of the radii, weighted spine).
#include <gtest/gtest.h>

#include <Eigen/Dense>

#include <atomic>
#include <cmath>
#include <random>
#include <vector>

#include "FitCoreTestUtils.h"
#include "FitTestUtils.h"
#include "TestHelpers.h"
#include "alg3D/approximate/FitObjCircle3D.h"
#include "alg3D/approximate/FitObjTorus.h"
#include "alg3D/matrix/Alg3dException.h"
#include "alg3D/matrix/PointStatistics.h"

namespace {

using alg3D::DMatrix;
using alg3D::Vec3d;
using alg3D::approximate::Estimate;
using alg3D::approximate::FitObjCircle3D;
using alg3D::approximate::FitObjTorus;
using alg3D::approximate::Fixed;
using alg3D::approximate::Given;
using fit_core_test::Scheme;

constexpr double kPi = 3.141592653589793;

struct Torus {
    Vec3d center;
    Vec3d axis;  // unit
    double r1;   // spine
    double r2;   // tube
};

struct Sample {
    std::vector<Vec3d> points;
    std::vector<Vec3d> normals;  // outward unit normals
};

// Points on the surface: spine angles in [theta0, theta0 + span), tube angles all round.
Sample torusSample(const Torus& t, double span, std::size_t n, std::mt19937_64& rng) {
    std::uniform_real_distribution<double> uni(0.0, 1.0);
    const Vec3d e1 = fit_core_test::anyPerpendicular(t.axis);
    const Vec3d e2 = t.axis.cross(e1);
    const double theta0 = 2.0 * kPi * uni(rng);
    Sample s;
    for (std::size_t i = 0; i < n; ++i) {
        const double theta = theta0 + span * uni(rng);
        const double psi = 2.0 * kPi * uni(rng);
        const Vec3d u = std::cos(theta) * e1 + std::sin(theta) * e2;
        const Vec3d normal = std::cos(psi) * u + std::sin(psi) * t.axis;
        s.points.push_back(t.center + t.r1 * u + t.r2 * normal);
        s.normals.push_back(normal);
    }
    return s;
}

// Independent signed distance: |(rho − r1, h)| − r2 with rho and h about the axis.
double torusDistance(const Torus& t, const Vec3d& x) {
    const double h = (x - t.center).dot(t.axis);
    const double rho = fit_test::distanceToLine(x, t.center, t.axis);
    return std::hypot(rho - t.r1, h) - t.r2;
}

// Jacobian of the signed distances at the true torus, in the test's own
// parameterisation: r1, r2, centre shifts, tilts of the axis about the centre.
Eigen::MatrixXd torusJacobian(const Torus& t, const Sample& s) {
    const Vec3d e1 = fit_core_test::anyPerpendicular(t.axis);
    const Vec3d e2 = t.axis.cross(e1);
    Eigen::MatrixXd J(Eigen::Index(s.points.size()), 7);
    for (std::size_t i = 0; i < s.points.size(); ++i) {
        const Vec3d d = s.points[i] - t.center;
        const double h = d.dot(t.axis);
        const Vec3d radial = d - h * t.axis;
        const double rho = radial.norm();
        const Vec3d u = radial / rho;
        const double l = std::hypot(rho - t.r1, h);
        const Vec3d& n = s.normals[i];
        const Eigen::Index k = Eigen::Index(i);
        J(k, 0) = -(rho - t.r1) / l;
        J(k, 1) = -1.0;
        J(k, 2) = -n.x;
        J(k, 3) = -n.y;
        J(k, 4) = -n.z;
        J(k, 5) = h * t.r1 * u.dot(e1) / l;
        J(k, 6) = h * t.r1 * u.dot(e2) / l;
    }
    return J;
}

std::vector<Vec3d> nullSpaceData(const Torus& t, const Sample& s, double amplitude,
                                 std::mt19937_64& rng, std::vector<double>* residuals = nullptr) {
    const std::vector<double> r = fit_test::nullSpaceResiduals(torusJacobian(t, s), amplitude, rng);
    if (residuals) *residuals = r;
    return fit_test::displaceAlongNormals(s.points, s.normals, r);
}

Torus randomTorus(double size, double offset, std::mt19937_64& rng) {
    std::uniform_real_distribution<double> uni(0.0, 1.0);
    Torus t;
    t.axis = fit_core_test::randomUnit(rng);
    t.center = offset * size * fit_core_test::randomUnit(rng);
    t.r1 = size;
    t.r2 = (0.15 + 0.15 * uni(rng)) * size;
    return t;
}

void expectTorus(const FitObjTorus& fit, const Torus& truth, double lengthTol, double angleTol) {
    EXPECT_LT(fit_test::lineAngle(fit.direction, truth.axis), angleTol);
    EXPECT_LT((fit.center - truth.center).norm(), lengthTol);
    EXPECT_NEAR(fit.r1, truth.r1, lengthTol);
    EXPECT_NEAR(fit.r2, truth.r2, lengthTol);
    EXPECT_NEAR(fit.direction.norm(), 1.0, 1e-14);
}

std::uint64_t fit(Scheme scheme, const std::vector<Vec3d>& pts, FitObjTorus& obj,
                  std::uint64_t maxIterations = 100, bool weighting = false) {
    return fit_core_test::runScheme(scheme, pts, obj, maxIterations, weighting);
}

const Scheme kSchemes[] = {Scheme::GaussNewton, Scheme::LevenbergMarquardt};

FitObjTorus torusObject(const Torus& t) {
    FitObjTorus obj;
    obj.setCenter(t.center, Given);
    obj.setDirection(t.axis, Given);
    obj.setRadius1(t.r1, Given);
    obj.setRadius2(t.r2, Given);
    return obj;
}

TEST(FitTorus, JacobianMatchesCentralDifferences) {
    auto rng = testing_helpers::seededRng(211);
    std::uniform_real_distribution<double> uni(-0.1, 0.1);
    for (double size : {1.0, 1e-2, 50.0}) {
        const Torus t = randomTorus(size, 3.0, rng);
        Sample s = torusSample(t, 2.0 * kPi, 60, rng);
        for (std::size_t i = 0; i < s.points.size(); ++i)
            s.points[i] += uni(rng) * size * s.normals[i];
        FitObjTorus obj = torusObject(t);
        obj.setRadius1(1.05 * t.r1, Given);
        obj.setRadius2(0.9 * t.r2, Given);
        obj.setCenter(t.center + 0.03 * size * fit_core_test::randomUnit(rng), Given);
        obj.setDirection(t.axis + 0.05 * fit_core_test::randomUnit(rng), Given);
        const double h = 1e-6 * size;
        EXPECT_LT(fit_core_test::maxJacobianError(obj, s.points, h), 1e-7 * std::max(1.0, size))
            << "size " << size;
        FitObjTorus partial = obj;
        partial.state[FitObjTorus::kR2] = Fixed;
        partial.state[FitObjTorus::kAngle1] = Fixed;
        EXPECT_LT(fit_core_test::maxJacobianError(partial, s.points, h),
                  1e-7 * std::max(1.0, size));
        DMatrix J, r;
        obj.buildJacobian(s.points.data(), s.points.data() + s.points.size(), J, r, false);
        EXPECT_EQ(J.rows(), s.points.size());  // no gauge row
        EXPECT_EQ(J.cols(), 7u);
    }
}

TEST(FitTorus, DistancesAndNearestPoints) {
    auto rng = testing_helpers::seededRng(212);
    std::uniform_real_distribution<double> uni(-1.0, 1.0);
    const Torus t{Vec3d(3.0, -2.0, 1.0), Vec3d(0.0, 0.6, 0.8), 2.0, 0.7};
    const FitObjTorus obj = torusObject(t);
    for (int i = 0; i < 100; ++i) {
        const Vec3d p = t.center + 3.5 * Vec3d(uni(rng), uni(rng), uni(rng));
        const double dev = obj.deviation(p);
        EXPECT_GE(dev, 0.0);
        EXPECT_NEAR(dev, std::abs(torusDistance(t, p)), 1e-12);
        const Vec3d q = obj.nearestPoint(p);
        EXPECT_NEAR(torusDistance(t, q), 0.0, 1e-12);
        EXPECT_NEAR((p - q).norm(), dev, 1e-12);
        // Brute force over the tube circle in the point's meridian plane.
        const double h = (p - t.center).dot(t.axis);
        const double rho = fit_test::distanceToLine(p, t.center, t.axis);
        const auto distanceAt = [&](double psi) {
            return std::hypot(rho - t.r1 - t.r2 * std::cos(psi), h - t.r2 * std::sin(psi));
        };
        double best = 1e300, bestPsi = 0.0;
        for (int k = 0; k < 4000; ++k) {
            const double psi = 2.0 * kPi * k / 4000.0;
            if (distanceAt(psi) < best) best = distanceAt(psi), bestPsi = psi;
        }
        for (int k = -2000; k <= 2000; ++k)
            best = std::min(best, distanceAt(bestPsi + 2.0 * kPi / 4000.0 * k / 2000.0));
        EXPECT_NEAR(dev, best, 1e-8);
        double g[FitObjTorus::kNumParameters];
        EXPECT_DOUBLE_EQ(obj.residualAndGradient(p, g), dev);
    }
    // On the spine circle every point of the tube circle is nearest.
    const Vec3d onSpine = t.center + t.r1 * obj.frame.axis(1);
    EXPECT_NEAR(obj.deviation(onSpine), t.r2, 1e-12);
    EXPECT_NEAR((obj.nearestPoint(onSpine) - onSpine).norm(), t.r2, 1e-12);
    EXPECT_NEAR(torusDistance(t, obj.nearestPoint(onSpine)), 0.0, 1e-12);
    double g[FitObjTorus::kNumParameters];
    obj.residualAndGradient(onSpine, g);
    for (double v : g)
        EXPECT_TRUE(std::isfinite(v));
    // At the centre: the meridian plane of the frame's first axis.
    EXPECT_NEAR(obj.deviation(obj.center), t.r1 - t.r2, 1e-12);
    EXPECT_VEC_NEAR(obj.nearestPoint(obj.center), obj.center + (t.r1 - t.r2) * obj.frame.axis(0),
                    1e-12);
}

TEST(FitTorus, SpindleTorusUsesTheNearerTube) {
    // r2 > r1: near the axis, inside both tubes, the far tube is nearer.
    FitObjTorus obj;
    obj.setCenter(Vec3d(0.0, 0.0, 0.0), Given);
    obj.setDirection(Vec3d(0.0, 0.0, 1.0), Given);
    obj.setRadius1(0.5, Given);
    obj.setRadius2(1.0, Given);
    const Vec3d p(0.1, 0.0, 0.0);
    // Tube about (0.5, 0): distance 0.4 from its centre, 0.6 inside; tube about
    // (−0.5, 0): 0.6 from its centre, 0.4 inside.
    EXPECT_NEAR(obj.deviation(p), 0.4, 1e-15);
    EXPECT_VEC_NEAR(obj.nearestPoint(p), Vec3d(0.5, 0.0, 0.0), 1e-15);
    std::vector<Vec3d> pts;
    auto rng = testing_helpers::seededRng(213);
    std::uniform_real_distribution<double> uni(-0.3, 0.3);
    for (int i = 0; i < 40; ++i)
        pts.push_back(Vec3d(uni(rng), uni(rng), uni(rng)));
    EXPECT_LT(fit_core_test::maxJacobianError(obj, pts, 1e-6), 1e-7);
}

void knownSolutionCase(bool noisy, bool fullCoverage, std::uint64_t seed) {
    auto rng = testing_helpers::seededRng(seed);
    for (double size : {1e-3, 1.0, 1e3}) {
        for (double offset : {0.0, 1e4}) {
            for (Scheme scheme : kSchemes) {
                const Torus t = randomTorus(size, offset, rng);
                const Sample s = torusSample(t, fullCoverage ? 2.0 * kPi : kPi, 300, rng);
                std::vector<double> r(s.points.size(), 0.0);
                const std::vector<Vec3d> pts =
                    noisy ? nullSpaceData(t, s, 1e-3 * size, rng, &r) : s.points;
                FitObjTorus obj;
                const std::uint64_t it = fit(scheme, pts, obj);
                SCOPED_TRACE(::testing::Message()
                             << fit_core_test::schemeName(scheme) << " size " << size << " offset "
                             << offset << " iterations " << it);
                EXPECT_LT(it, 100u);
                const double tol = (noisy && !fullCoverage ? 1e-7 : 1e-9) * size;
                expectTorus(obj, t, tol, tol / size);
                const double sigma = fit_core_test::deviationStats(obj, pts).sigma;
                if (noisy)
                    EXPECT_NEAR(sigma, fit_core_test::populationSigma(fit_core_test::absolute(r)),
                                tol);
                else
                    EXPECT_LT(sigma, 1e-9 * size);
            }
        }
    }
}

TEST(FitTorus, ExactDataFullTorus) {
    knownSolutionCase(false, true, 221);
}
TEST(FitTorus, ExactDataHalfTorus) {
    knownSolutionCase(false, false, 222);
}
TEST(FitTorus, NullSpaceNoiseFullTorus) {
    knownSolutionCase(true, true, 223);
}
TEST(FitTorus, NullSpaceNoiseHalfTorus) {
    knownSolutionCase(true, false, 224);
}

TEST(FitTorus, UnitInvariance) {
    auto rng = testing_helpers::seededRng(231);
    const Torus t = randomTorus(1.0, 20.0, rng);
    const Sample s = torusSample(t, 1.5 * kPi, 300, rng);
    const std::vector<Vec3d> base = nullSpaceData(t, s, 1e-3, rng);
    for (Scheme scheme : kSchemes) {
        FitObjTorus ref;
        fit(scheme, base, ref);
        for (double scale : {1e-3, 1e3}) {
            SCOPED_TRACE(::testing::Message()
                         << fit_core_test::schemeName(scheme) << " scale " << scale);
            FitObjTorus obj;
            fit(scheme, fit_core_test::scaled(base, scale), obj);
            EXPECT_LT(fit_test::lineAngle(obj.direction, ref.direction), 1e-9);
            EXPECT_LT((obj.center / scale - ref.center).norm(), 1e-9);
            EXPECT_NEAR(obj.r1 / scale, ref.r1, 1e-9);
            EXPECT_NEAR(obj.r2 / scale, ref.r2, 1e-9);
        }
    }
}

TEST(FitTorus, ConvergesFromOwnEstimateWithOnePercentNoise) {
    auto rng = testing_helpers::seededRng(241);
    std::normal_distribution<double> noise(0.0, 0.01);
    for (bool full : {true, false}) {
        const Torus t = randomTorus(1.0, 100.0, rng);
        Sample s = torusSample(t, full ? 2.0 * kPi : kPi, 1000, rng);
        for (Vec3d& p : s.points)
            p += Vec3d(noise(rng), noise(rng), noise(rng));
        FitObjTorus gn, lm;
        const std::uint64_t itGn = fit(Scheme::GaussNewton, s.points, gn);
        const std::uint64_t itLm = fit(Scheme::LevenbergMarquardt, s.points, lm);
        SCOPED_TRACE(::testing::Message()
                     << (full ? "full" : "half") << " iterations " << itGn << " / " << itLm);
        EXPECT_LT(itGn, 100u);
        EXPECT_LT(itLm, 100u);
        expectTorus(gn, t, 0.01, 0.01);
        EXPECT_LT(fit_test::lineAngle(gn.direction, lm.direction), 1e-6);
        EXPECT_LT((gn.center - lm.center).norm(), 1e-6);
        EXPECT_NEAR(gn.r1, lm.r1, 1e-6);
        EXPECT_NEAR(gn.r2, lm.r2, 1e-6);
    }
}

TEST(FitTorus, ConvergesFromGivenStartValues) {
    auto rng = testing_helpers::seededRng(242);
    const Torus t = randomTorus(5.0, 10.0, rng);
    const Sample s = torusSample(t, kPi, 400, rng);
    const std::vector<Vec3d> pts = nullSpaceData(t, s, 5e-3, rng);
    const Vec3d across = fit_core_test::anyPerpendicular(t.axis);
    for (Scheme scheme : kSchemes) {
        FitObjTorus obj;
        obj.setCenter(t.center + 0.3 * across + 0.2 * t.axis, Given);
        obj.setDirection(t.axis + 0.05 * across.cross(t.axis), Given);
        obj.setRadius1(5.4, Given);
        obj.setRadius2(t.r2 * 1.2, Given);
        const std::uint64_t it = fit(scheme, pts, obj);
        SCOPED_TRACE(fit_core_test::schemeName(scheme));
        EXPECT_LT(it, 100u);
        expectTorus(obj, t, 1e-7 * 5.0, 1e-7);
    }
}

TEST(FitTorus, FixedParametersStayFixed) {
    auto rng = testing_helpers::seededRng(243);
    const Torus t = randomTorus(2.0, 3.0, rng);
    const Sample s = torusSample(t, 2.0 * kPi, 300, rng);
    const std::vector<Vec3d> pts = nullSpaceData(t, s, 2e-3, rng);
    for (Scheme scheme : kSchemes) {
        FitObjTorus obj;
        obj.setRadius2(t.r2 * 1.1, Fixed);
        obj.setDirection(t.axis, Fixed);
        const Vec3d direction = obj.direction;
        fit(scheme, pts, obj);
        EXPECT_EQ(obj.r2, t.r2 * 1.1);
        EXPECT_EQ(obj.direction, direction);
        EXPECT_NEAR(obj.r1, t.r1, 0.05);

        FitObjTorus pinned;
        pinned.setCenter(t.center, Fixed);
        pinned.setRadius1(t.r1, Fixed);
        fit(scheme, pts, pinned);
        EXPECT_EQ(pinned.center, t.center);
        EXPECT_EQ(pinned.r1, t.r1);
        EXPECT_LT(fit_test::lineAngle(pinned.direction, t.axis), 1e-3);
    }
}

TEST(FitTorus, AllFixedAndZeroIterations) {
    auto rng = testing_helpers::seededRng(244);
    const Torus t = randomTorus(1.0, 0.0, rng);
    const Sample s = torusSample(t, 2.0 * kPi, 60, rng);
    for (Scheme scheme : kSchemes) {
        FitObjTorus obj = torusObject(t);
        obj.r1 = 1.1;
        for (auto& st : obj.state)
            st = Fixed;
        const FitObjTorus before = obj;
        EXPECT_EQ(fit(scheme, s.points, obj), 0u);
        EXPECT_EQ(obj.r1, before.r1);
        EXPECT_EQ(obj.r2, before.r2);
        EXPECT_EQ(obj.center, before.center);
        EXPECT_EQ(obj.direction, before.direction);
        FitObjTorus capped;
        EXPECT_EQ(fit(scheme, s.points, capped, 0), 0u);
        EXPECT_GE(capped.r1, capped.r2);
    }
}

TEST(FitTorus, WeightingRemovesOutliersAndKeepsCleanData) {
    auto rng = testing_helpers::seededRng(245);
    const Torus t = randomTorus(1.0, 2.0, rng);
    const Sample s = torusSample(t, 2.0 * kPi, 400, rng);
    const std::vector<Vec3d> clean = nullSpaceData(t, s, 1e-3, rng);
    std::vector<Vec3d> dirty = clean;
    const Sample extra = torusSample(t, 2.0 * kPi, 8, rng);
    for (std::size_t i = 0; i < extra.points.size(); ++i)
        dirty.push_back(extra.points[i] + 0.05 * extra.normals[i]);
    for (Scheme scheme : kSchemes) {
        SCOPED_TRACE(fit_core_test::schemeName(scheme));
        FitObjTorus cleanWeighted, dirtyWeighted, dirtyPlain;
        cleanWeighted.weighting = true;
        dirtyWeighted.weighting = true;
        fit(scheme, clean, cleanWeighted, 100, true);
        fit(scheme, dirty, dirtyWeighted, 100, true);
        fit(scheme, dirty, dirtyPlain);
        expectTorus(cleanWeighted, t, 1e-9, 1e-9);
        expectTorus(dirtyWeighted, t, 1e-9, 1e-9);
        EXPECT_GT(std::abs(dirtyPlain.r2 - t.r2), 1e-4);
    }
}

TEST(FitTorus, EstimateFitsTheSpineWithTheRunsWeighting) {
    auto rng = testing_helpers::seededRng(246);
    const Torus t = randomTorus(1.0, 1.0, rng);
    Sample s = torusSample(t, 2.0 * kPi, 300, rng);
    std::vector<Vec3d> pts = s.points;
    for (int i = 0; i < 6; ++i)
        pts.push_back(t.center + 3.0 * t.r1 * s.normals[std::size_t(i)]);
    for (bool weighting : {false, true}) {
        FitObjTorus obj;
        obj.weighting = weighting;
        obj.estimateInitial(pts.data(), pts.data() + pts.size());
        // The spine circle as the estimate is described: Gauss–Newton, 50 iterations,
        // with the run's weighting.
        FitObjCircle3D circle;
        std::atomic<bool> abort{false};
        std::atomic<float> progress{0.0f};
        alg3D::approximate::approximateGaussNewton(pts.data(), pts.data() + pts.size(), circle, 50,
                                                   weighting, abort, progress);
        double sum = 0.0;
        for (const Vec3d& p : pts) {
            const double h = (p - circle.center()).dot(circle.normal);
            const double rho = fit_test::distanceToLine(p, circle.center(), circle.normal);
            sum += std::hypot(rho - circle.radius, h);
        }
        const double meanDistance = sum / double(pts.size());
        SCOPED_TRACE(weighting);
        ASSERT_LT(meanDistance, circle.radius);  // no swap here
        EXPECT_NEAR(obj.r1, circle.radius, 1e-12);
        EXPECT_NEAR(obj.r2, meanDistance, 1e-12);
        EXPECT_VEC_NEAR(obj.center, circle.center(), 1e-12);
        EXPECT_LT(fit_test::lineAngle(obj.direction, circle.normal), 1e-12);
    }
}

TEST(FitTorus, EstimateSwapsTheRadii) {
    // A thin long tube along a given axis: the spine circle is the tube's section,
    // the mean distance of the points from it is about a quarter of the length.
    auto rng = testing_helpers::seededRng(247);
    std::uniform_real_distribution<double> uni(0.0, 1.0);
    const Vec3d axis = fit_core_test::randomUnit(rng);
    const Vec3d e1 = fit_core_test::anyPerpendicular(axis);
    const Vec3d e2 = axis.cross(e1);
    std::vector<Vec3d> pts;
    for (int i = 0; i < 200; ++i) {
        const double phi = 2.0 * kPi * uni(rng);
        pts.push_back(Vec3d(5.0, 1.0, -2.0) + 10.0 * (uni(rng) - 0.5) * axis +
                      0.2 * (std::cos(phi) * e1 + std::sin(phi) * e2));
    }
    FitObjCircle3D circle;
    circle.setNormal(axis, Given);
    std::atomic<bool> abort{false};
    std::atomic<float> progress{0.0f};
    alg3D::approximate::approximateGaussNewton(pts.data(), pts.data() + pts.size(), circle, 50,
                                               false, abort, progress);
    double sum = 0.0;
    for (const Vec3d& p : pts) {
        const double h = (p - circle.center()).dot(circle.normal);
        const double rho = fit_test::distanceToLine(p, circle.center(), circle.normal);
        sum += std::hypot(rho - circle.radius, h);
    }
    const double meanDistance = sum / double(pts.size());
    ASSERT_GT(meanDistance, circle.radius);

    FitObjTorus obj;
    obj.setDirection(axis, Given);
    obj.estimateInitial(pts.data(), pts.data() + pts.size());
    EXPECT_NEAR(obj.r1, meanDistance, 1e-12);
    EXPECT_NEAR(obj.r2, circle.radius, 1e-12);

    // A Fixed radius keeps its value and its role.
    FitObjTorus fixed;
    fixed.setDirection(axis, Given);
    fixed.setRadius2(3.0, Fixed);
    fixed.estimateInitial(pts.data(), pts.data() + pts.size());
    EXPECT_EQ(fixed.r2, 3.0);
    EXPECT_NEAR(fixed.r1, circle.radius, 1e-12);
}

TEST(FitTorus, TooFewPointsAndSetters) {
    auto rng = testing_helpers::seededRng(248);
    const Torus t = randomTorus(1.0, 0.0, rng);
    const Sample s = torusSample(t, 2.0 * kPi, 7, rng);
    FitObjTorus obj;
    try {
        obj.estimateInitial(s.points.data(), s.points.data() + 6);
        FAIL() << "no exception";
    } catch (const alg3D::Alg3dException& e) {
        EXPECT_STREQ(e.what(), "ALG3D::not enough data for geometry approximation.\n");
    }
    EXPECT_NO_THROW(obj.estimateInitial(s.points.data(), s.points.data() + 7));

    FitObjTorus set;
    set.setDirection(Vec3d(0.0, 0.0, -2.0), Fixed);
    EXPECT_VEC_NEAR(set.direction, Vec3d(0.0, 0.0, -1.0), 1e-15);
    EXPECT_EQ(set.state[FitObjTorus::kAngle1], Fixed);
    set.setDirection(Vec3d(0.0, 0.0, 0.0), Given);
    EXPECT_EQ(set.state[FitObjTorus::kAngle2], Estimate);
    set.setCenter(Vec3d(1.0, 2.0, 3.0), Fixed);
    set.setRadius1(4.0, Given);
    set.setRadius2(1.0, Fixed);
    EXPECT_EQ(set.numFreeParameters(), 3u);
    EXPECT_EQ(set.numResidualRows(12), 12u);
    DMatrix wrong(1, 1);
    EXPECT_THROW(set.applyStep(wrong), alg3D::Alg3dException);
}

}  // namespace
