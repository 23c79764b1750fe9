// Chebyshev (minimax) fits against independent truth: the minimum-zone plane of small
// random sets against an exhaustive search over all candidate zones, and circles,
// spheres, cylinders and lines on data whose minimax solution is known by construction.
#include <gtest/gtest.h>

#include <Eigen/Dense>

#include <atomic>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "FitTestUtils.h"
#include "TestHelpers.h"
#include "alg3D/approximate/ChebyshevFit.h"
#include "alg3D/approximate/ChebyshevScheme-inl.h"
#include "alg3D/approximate/FitFramework.h"
#include "alg3D/approximate/FitObjCircle3D.h"
#include "alg3D/approximate/FitObjCone.h"
#include "alg3D/approximate/FitObjCylinder.h"
#include "alg3D/approximate/FitObjEllipse3D.h"
#include "alg3D/approximate/FitObjLine3D.h"
#include "alg3D/approximate/FitObjPlane.h"
#include "alg3D/approximate/FitObjSphere.h"
#include "alg3D/approximate/FitObjSuperEllipse3D.h"
#include "alg3D/approximate/FitObjTorus.h"
#include "alg3D/approximate/MinimaxObjectives.h"
#include "alg3D/matrix/Alg3dException.h"

namespace {

using alg3D::Matrix3x3d;
using alg3D::Vec3d;
using namespace alg3D::approximate;

constexpr double kPi = 3.141592653589793;

template <class FitObj>
std::uint64_t chebyshevFit(const std::vector<Vec3d>& points, FitObj& fit,
                           std::uint64_t maxIterations = 100) {
    std::atomic<bool> abort{false};
    std::atomic<float> progress{0.0f};
    return approximateChebyshev(points.data(), points.data() + points.size(), fit, maxIterations,
                                abort, progress);
}

template <class FitObj>
double maxAbsDeviation(const FitObj& fit, const std::vector<Vec3d>& points) {
    double m = 0.0;
    for (const Vec3d& p : points)
        m = std::max(m, std::abs(fit.deviation(p)));
    return m;
}

// Width of the slab of the points across a unit normal.
double slabWidth(const std::vector<Vec3d>& points, const Vec3d& n) {
    double lo = std::numeric_limits<double>::max(), hi = -lo;
    for (const Vec3d& p : points) {
        lo = std::min(lo, n.dot(p));
        hi = std::max(hi, n.dot(p));
    }
    return hi - lo;
}

// The minimum zone width by exhaustive search: the optimal slab's normal is that of a
// plane through three points (facet–vertex) or across two point-pair directions
// (edge–edge); every candidate is a feasible slab, so the smallest is the optimum.
double exhaustiveMinimumWidth(const std::vector<Vec3d>& p) {
    double best = std::numeric_limits<double>::max();
    const std::size_t n = p.size();
    const auto consider = [&](const Vec3d& normal) {
        const double len = normal.norm();
        if (len > 1e-12) best = std::min(best, slabWidth(p, normal * (1.0 / len)));
    };
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = i + 1; j < n; ++j)
            for (std::size_t k = j + 1; k < n; ++k)
                consider((p[j] - p[i]).cross(p[k] - p[i]));
    std::vector<Vec3d> dirs;
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = i + 1; j < n; ++j)
            dirs.push_back(p[j] - p[i]);
    for (std::size_t a = 0; a < dirs.size(); ++a)
        for (std::size_t b = a + 1; b < dirs.size(); ++b)
            consider(dirs[a].cross(dirs[b]));
    return best;
}

TEST(ChebyshevPlane, MinimumZoneMatchesExhaustiveSearchOnSmallRandomSets) {
    auto rng = testing_helpers::seededRng(21);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (int trial = 0; trial < 100; ++trial) {
        SCOPED_TRACE(trial);
        const std::size_t n = 6 + static_cast<std::size_t>(trial % 9);
        const Matrix3x3d rot = fit_test::randomRotation(rng);
        const double scale = trial % 3 == 0 ? 0.05 : (trial % 3 == 1 ? 3.0 : 40.0);
        const Vec3d offset(5.0 * u(rng), 5.0 * u(rng), 5.0 * u(rng));
        std::vector<Vec3d> points;
        for (std::size_t i = 0; i < n; ++i)
            points.push_back(offset + scale * (rot * Vec3d(u(rng), u(rng), 0.2 * u(rng))));
        FitObjPlane plane;
        chebyshevFit(points, plane);
        double lo = std::numeric_limits<double>::max(), hi = -lo;
        for (const Vec3d& p : points) {
            lo = std::min(lo, plane.deviation(p));
            hi = std::max(hi, plane.deviation(p));
        }
        const double truth = exhaustiveMinimumWidth(points);
        EXPECT_NEAR(hi - lo, truth, 1e-9 * scale) << "scale " << scale;
        // The central plane: the zone is symmetric about it.
        EXPECT_NEAR(hi, -lo, 1e-9 * scale);
        EXPECT_NEAR(plane.normal.norm(), 1.0, 1e-12);
    }
}

TEST(ChebyshevPlane, TwoParallelPlanesGiveTheirMiddleAndDistance) {
    auto rng = testing_helpers::seededRng(22);
    std::uniform_real_distribution<double> u(-10.0, 10.0), z(-0.02, 0.02);
    const Matrix3x3d rot = fit_test::randomRotation(rng);
    const Vec3d origin(100.0, -20.0, 7.0);
    std::vector<Vec3d> points;
    for (int i = 0; i < 2000; ++i) {
        const double h = i % 2 == 0 ? 0.03 : -0.03;
        points.push_back(origin + (rot * Vec3d(u(rng), u(rng), i % 5 == 0 ? z(rng) : h)));
    }
    FitObjPlane plane;
    chebyshevFit(points, plane);
    const Vec3d n = (rot * Vec3d(0.0, 0.0, 1.0));
    EXPECT_NEAR(std::abs(plane.normal.dot(n)), 1.0, 1e-12);
    EXPECT_NEAR(std::abs(plane.deviation(origin)), 0.0, 1e-9);
    EXPECT_NEAR(maxAbsDeviation(plane, points), 0.03, 1e-9);
}

TEST(ChebyshevPlane, CollinearPointsFailAndTooFewPointsAreRefused) {
    std::vector<Vec3d> line;
    for (int i = 0; i < 10; ++i)
        line.emplace_back(i, 2.0 * i, 3.0);
    FitObjPlane plane;
    try {
        chebyshevFit(line, plane);
        FAIL() << "no exception";
    } catch (const alg3D::Alg3dException& e) {
        EXPECT_STREQ(e.what(), "ALG3D::geometry approximation failed.\n");
    }
    const std::vector<Vec3d> two = {{0, 0, 0}, {1, 0, 0}};
    EXPECT_THROW(chebyshevFit(two, plane), alg3D::Alg3dException);
}

TEST(ChebyshevCircle, AlternatingConcentricCirclesGiveTheGap) {
    auto rng = testing_helpers::seededRng(23);
    const Matrix3x3d rot = fit_test::randomRotation(rng);
    const Vec3d centre(3.0, -4.0, 12.0);
    const double r = 7.5, delta = 0.04;
    std::vector<Vec3d> points;
    const int k = 24;
    for (int i = 0; i < k; ++i) {
        const double t = 2.0 * kPi * i / k;
        const double radius = i % 2 == 0 ? r + delta : r - delta;
        points.push_back(centre + (rot * Vec3d(radius * std::cos(t), radius * std::sin(t), 0)));
        // Points strictly inside the zone do not change the solution.
        const double s = t + 0.1;
        points.push_back(centre + (rot * Vec3d((r + 0.5 * delta) * std::cos(s),
                                               (r + 0.5 * delta) * std::sin(s), 0)));
    }
    FitObjCircle3D circle;
    chebyshevFit(points, circle);
    EXPECT_NEAR(circle.radius, r, 1e-9 * r);
    EXPECT_VEC_NEAR(circle.center(), centre, 1e-9 * r);
    EXPECT_NEAR(maxAbsDeviation(circle, points), delta, 1e-9 * r);
}

TEST(ChebyshevCircle, PointsOnACircleStopAtTheFirstIteration) {
    std::vector<Vec3d> points;
    for (int i = 0; i < 16; ++i) {
        const double t = 2.0 * kPi * i / 16;
        points.emplace_back(2.0 * std::cos(t), 2.0 * std::sin(t), 1.0);
    }
    FitObjCircle3D circle;
    EXPECT_EQ(chebyshevFit(points, circle), 0u);
    EXPECT_NEAR(circle.radius, 2.0, 1e-12);
}

TEST(ChebyshevSphere, OuterOctahedronAndInnerCubeGiveTheGap) {
    const Vec3d centre(-2.0, 5.0, 1.0);
    const double r = 3.0, delta = 0.05;
    const std::vector<Vec3d> points = testing_helpers::sphereZonePoints(centre, r, delta, 24, 200);
    FitObjSphere sphere;
    chebyshevFit(points, sphere);
    EXPECT_NEAR(sphere.radius, r, 1e-9 * r);
    EXPECT_VEC_NEAR(sphere.center, centre, 1e-9 * r);
    EXPECT_NEAR(maxAbsDeviation(sphere, points), delta, 1e-9 * r);
}

TEST(ChebyshevCylinder, AlternatingRingsGiveTheGap) {
    auto rng = testing_helpers::seededRng(25);
    const Matrix3x3d rot = fit_test::randomRotation(rng);
    const Vec3d base(10.0, 2.0, -3.0);
    const double r = 2.0, delta = 0.01;
    std::vector<Vec3d> points;
    for (const double h : {-4.0, -1.0, 2.0, 5.0}) {
        for (int i = 0; i < 12; ++i) {
            const double t = 2.0 * kPi * i / 12 + 0.3 * h;
            const double radius = i % 2 == 0 ? r + delta : r - delta;
            points.push_back(base + (rot * Vec3d(radius * std::cos(t), radius * std::sin(t), h)));
        }
    }
    FitObjCylinder cylinder;
    chebyshevFit(points, cylinder);
    const Vec3d axis = (rot * Vec3d(0.0, 0.0, 1.0));
    EXPECT_NEAR(cylinder.radius, r, 1e-9 * r);
    EXPECT_NEAR(std::abs(cylinder.direction.dot(axis)), 1.0, 1e-12);
    EXPECT_NEAR(fit_test::distanceToLine(base, cylinder.point, cylinder.direction), 0.0, 1e-9);
    EXPECT_NEAR(maxAbsDeviation(cylinder, points), delta, 1e-9 * r);
}

TEST(ChebyshevLine, PointsOnACylinderGiveItsAxisAndRadius) {
    auto rng = testing_helpers::seededRng(26);
    const Matrix3x3d rot = fit_test::randomRotation(rng);
    const Vec3d base(1.0, 2.0, 3.0);
    const double r = 0.5;
    std::uniform_real_distribution<double> t(0.0, 2.0 * kPi), h(-3.0, 3.0), in(0.0, r);
    std::vector<Vec3d> points;
    for (int i = 0; i < 400; ++i) {
        const double a = t(rng);
        const double radius = i % 4 == 0 ? in(rng) : r;
        points.push_back(base + (rot * Vec3d(radius * std::cos(a), radius * std::sin(a), h(rng))));
    }
    FitObjLine3D line;
    chebyshevFit(points, line);
    const Vec3d axis = (rot * Vec3d(0.0, 0.0, 1.0));
    EXPECT_NEAR(std::abs(line.direction.dot(axis)), 1.0, 1e-12);
    EXPECT_NEAR(fit_test::distanceToLine(base, line.point, line.direction), 0.0, 1e-9);
    EXPECT_NEAR(maxAbsDeviation(line, points), r, 1e-9);
    for (const ParamState s : line.state)
        EXPECT_EQ(s, Given);
}

TEST(ChebyshevLine, CollinearPointsGiveTheirLine) {
    std::vector<Vec3d> points;
    for (int i = 0; i < 10; ++i)
        points.push_back(Vec3d(1.0, 1.0, 1.0) + (0.5 * i) * Vec3d(0.0, 0.6, 0.8));
    FitObjLine3D line;
    chebyshevFit(points, line);
    EXPECT_NEAR(std::abs(line.direction.dot(Vec3d(0.0, 0.6, 0.8))), 1.0, 1e-12);
    EXPECT_NEAR(maxAbsDeviation(line, points), 0.0, 1e-12);
}

// The minimax fit never ends with a larger maximum deviation than its least-squares start.
template <class FitObj>
void expectNoWorseThanLeastSquares(const std::vector<Vec3d>& points) {
    FitObj ls, cheb;
    std::atomic<bool> abort{false};
    std::atomic<float> progress{0.0f};
    approximateLevenbergMarquardt(points.data(), points.data() + points.size(), ls, 100, false,
                                  abort, progress);
    chebyshevFit(points, cheb);
    EXPECT_LE(maxAbsDeviation(cheb, points), maxAbsDeviation(ls, points) * (1.0 + 1e-12));
}

TEST(ChebyshevShapes, OtherShapesLowerTheLargestDeviation) {
    auto rng = testing_helpers::seededRng(27);
    std::uniform_real_distribution<double> t(0.0, 2.0 * kPi), noise(-0.02, 0.02), h(-1.0, 1.0);
    std::vector<Vec3d> ellipse, cone, torus;
    for (int i = 0; i < 300; ++i) {
        const double a = t(rng), b = t(rng);
        ellipse.emplace_back(4.0 * std::cos(a) + noise(rng), 2.0 * std::sin(a) + noise(rng), 0.5);
        const double z = h(rng) + 2.0, rc = 0.5 * z + noise(rng);
        cone.emplace_back(rc * std::cos(a), rc * std::sin(a), z);
        const double tube = 1.0 + noise(rng);
        torus.emplace_back((5.0 + tube * std::cos(b)) * std::cos(a),
                           (5.0 + tube * std::cos(b)) * std::sin(a), tube * std::sin(b));
    }
    expectNoWorseThanLeastSquares<FitObjEllipse3D>(ellipse);
    expectNoWorseThanLeastSquares<FitObjSuperEllipse3D>(ellipse);
    expectNoWorseThanLeastSquares<FitObjCone>(cone);
    expectNoWorseThanLeastSquares<FitObjTorus>(torus);
}

TEST(ChebyshevRecord, MethodTwoRunsTheMinimaxSchemeAndAnAbortKeepsTheStart) {
    std::vector<Vec3d> points;
    for (int i = 0; i < 40; ++i) {
        const double t = 2.0 * kPi * i / 40;
        const double radius = i % 2 == 0 ? 1.1 : 0.9;
        points.emplace_back(radius * std::cos(t) + 0.3 * (i % 3 == 0), radius * std::sin(t), 0.0);
    }
    FitObjCircle3D fit;
    ParamFitGeometry<FitObjCircle3D> param;
    param.method = kChebyshev;
    param.begin = points.data();
    param.end = points.data() + points.size();
    param.fitObj = &fit;
    param.run();
    FitObjCircle3D ls;
    std::atomic<bool> abort{false};
    std::atomic<float> progress{0.0f};
    approximateLevenbergMarquardt(points.data(), points.data() + points.size(), ls, 100, false,
                                  abort, progress);
    EXPECT_LT(maxAbsDeviation(fit, points), maxAbsDeviation(ls, points));
    EXPECT_EQ(param.progress.load(), 100.0f);

    // An abort before the start: the run ends at once and keeps the start values.
    abort = true;
    FitObjCircle3D aborted;
    aborted.setRadius(3.5, Given);
    const std::uint64_t l = approximateChebyshev(points.data(), points.data() + points.size(),
                                                 aborted, 100, abort, progress);
    EXPECT_EQ(l, 0u);
    EXPECT_EQ(aborted.radius, 3.5);
}

TEST(ChebyshevEllipse, PointsAlternatingAcrossAnEllipseGiveItAndTheGap) {
    // Points δ outside and inside an ellipse along its normals, alternating at equal
    // parameter steps: every point deviates by exactly δ, and no ellipse does better (the
    // deviations alternate far more often than the seven parameters could follow), so
    // the ellipse itself is the minimax ellipse.
    auto rng = testing_helpers::seededRng(27);
    const Matrix3x3d rot = fit_test::randomRotation(rng);
    const Vec3d centre(-7.0, 2.0, 30.0);
    const double a = 6.0, b = 3.5, delta = 0.05;
    std::vector<Vec3d> points;
    const int k = 48;
    for (int i = 0; i < k; ++i) {
        const double t = 2.0 * kPi * (i + 0.25) / k;
        const Vec3d e(a * std::cos(t), b * std::sin(t), 0.0);
        const Vec3d n = Vec3d(b * std::cos(t), a * std::sin(t), 0.0).normalized();
        const double offset = i % 2 == 0 ? delta : -delta;
        points.push_back(centre + (rot * (e + offset * n)));
    }
    FitObjEllipse3D ellipse;
    chebyshevFit(points, ellipse);
    EXPECT_NEAR(maxAbsDeviation(ellipse, points), delta, 1e-9 * a);
    EXPECT_NEAR(std::max(ellipse.a, ellipse.b), a, 1e-9 * a);
    EXPECT_NEAR(std::min(ellipse.a, ellipse.b), b, 1e-9 * a);
    EXPECT_VEC_NEAR(ellipse.center(), centre, 1e-9 * a);
    EXPECT_NEAR(std::abs(ellipse.normal.dot(rot * Vec3d(0.0, 0.0, 1.0))), 1.0, 1e-12);
}

// A fit object that records every accepted iterate (the iteration rebuilds the Jacobian
// only at its start and after an accepted step) and raises the abort flag once `after`
// steps were accepted, the way the GUI's abort arrives between two iterations.
template <class Base>
struct AcceptLog {
    std::vector<Base> accepted;
    std::size_t after = std::numeric_limits<std::size_t>::max();
    std::atomic<bool>* abort = nullptr;
};

template <class Base>
class AbortingObjective : public Base {
  public:
    AcceptLog<Base>* log = nullptr;

    void buildJacobian(const Vec3d* begin, const Vec3d* end, alg3D::DMatrix& J, alg3D::DMatrix& r,
                       bool weighting) const {
        Base::buildJacobian(begin, end, J, r, weighting);
        log->accepted.push_back(static_cast<const Base&>(*this));
        if (log->accepted.size() > log->after) log->abort->store(true);
    }
};

template <class Base>
double largestResidual(const Base& fit, const std::vector<Vec3d>& points) {
    alg3D::DMatrix r;
    fit.computeResiduals(points.data(), points.data() + points.size(), r, false);
    double m = 0.0;
    for (std::uint64_t i = 0; i < r.size(); ++i)
        m = std::max(m, std::abs(r[i]));
    return m;
}

// Runs the minimax iteration from `start` twice: to its end, and with an abort after
// `after` accepted steps. The aborted run must hold exactly the last accepted iterate,
// which the full run passed through as well.
template <class Base>
Base abortAfterAcceptedSteps(const std::vector<Vec3d>& points, const Base& start, std::size_t after,
                             double tolerance) {
    std::atomic<float> progress{0.0f};
    std::atomic<bool> never{false};
    AcceptLog<Base> full;
    full.abort = &never;
    AbortingObjective<Base> complete;
    static_cast<Base&>(complete) = start;
    complete.log = &full;
    chebyshev::iterate(points.data(), points.data() + points.size(), complete, 100, never, progress,
                       tolerance, tolerance);
    // The full run must go on beyond the abort for the test to mean anything.
    EXPECT_GT(full.accepted.size(), after + 1);

    std::atomic<bool> abort{false};
    AcceptLog<Base> cut;
    cut.after = after;
    cut.abort = &abort;
    AbortingObjective<Base> aborted;
    static_cast<Base&>(aborted) = start;
    aborted.log = &cut;
    progress = 0.0f;
    const std::uint64_t l = chebyshev::iterate(points.data(), points.data() + points.size(),
                                               aborted, 100, abort, progress, tolerance, tolerance);
    EXPECT_TRUE(abort.load());
    EXPECT_EQ(cut.accepted.size(), after + 1);
    EXPECT_GE(l, after);
    EXPECT_LT(l, 100u);
    EXPECT_LT(progress.load(), 100.0f);
    // Every accepted step lowered the largest deviation; the deterministic run passed
    // through the same iterates.
    for (std::size_t k = 1; k < cut.accepted.size(); ++k) {
        EXPECT_LT(largestResidual(cut.accepted[k], points),
                  largestResidual(cut.accepted[k - 1], points));
    }
    if (full.accepted.size() > after) {
        EXPECT_EQ(largestResidual(full.accepted[after], points),
                  largestResidual(cut.accepted.back(), points));
    }
    return static_cast<const Base&>(aborted);
}

TEST(ChebyshevAbort, AnAbortBetweenIterationsKeepsTheLastAcceptedCircle) {
    std::vector<Vec3d> points;
    auto rng = testing_helpers::seededRng(28);
    std::uniform_real_distribution<double> noise(-0.2, 0.2);
    for (int i = 0; i < 90; ++i) {
        const double t = 2.0 * kPi * i / 90;
        const double radius = 5.0 + noise(rng) + (i % 7 == 0 ? 0.6 : 0.0);
        points.emplace_back(radius * std::cos(t) + 1.0, radius * std::sin(t) - 2.0,
                            0.05 * noise(rng));
    }
    // A poor start, so that the iteration needs several accepted steps.
    FitObjCircle3D start;
    start.estimateInitial(points.data(), points.data() + points.size());
    start.setCenter(start.center() + Vec3d(0.8, -0.5, 0.0), Given);
    start.setRadius(start.radius * 0.8, Given);
    const FitObjCircle3D kept = abortAfterAcceptedSteps(points, start, 2, 1e-6);
    // Bit for bit the second accepted iterate, not a trial or a mixture.
    AcceptLog<FitObjCircle3D> again;
    again.after = 2;
    std::atomic<bool> abort{false};
    again.abort = &abort;
    AbortingObjective<FitObjCircle3D> replay;
    static_cast<FitObjCircle3D&>(replay) = start;
    replay.log = &again;
    std::atomic<float> progress{0.0f};
    chebyshev::iterate(points.data(), points.data() + points.size(), replay, 100, abort, progress,
                       1e-6, 1e-6);
    ASSERT_EQ(again.accepted.size(), 3u);
    EXPECT_EQ(kept.center(), again.accepted.back().center());
    EXPECT_EQ(kept.normal, again.accepted.back().normal);
    EXPECT_EQ(kept.radius, again.accepted.back().radius);
    EXPECT_NE(kept.radius, start.radius);
}

TEST(ChebyshevAbort, AnAbortOfTheInscribingIterationKeepsTheLastAcceptedCentre) {
    // Points on a sphere around (0, 0, 0) and a start far off the centre.
    std::vector<Vec3d> points;
    auto rng = testing_helpers::seededRng(29);
    std::normal_distribution<double> g(0.0, 1.0);
    for (int i = 0; i < 400; ++i)
        points.push_back(3.0 * Vec3d(g(rng), g(rng), g(rng)).normalized());
    InscribedSphereObjective start;
    start.center = Vec3d(1.2, -0.9, 0.7);
    start.heldRadius = 5.0;
    const InscribedSphereObjective kept = abortAfterAcceptedSteps(points, start, 1, 1e-6);
    EXPECT_FALSE(kept.center == start.center);
    EXPECT_LT(largestResidual(kept, points), largestResidual(start, points));
}

}  // namespace
