// The fit command's Chebyshev elements (central, outer and inner plane, sphere and
// cylinder) and its enclosing and inscribing spheres and cylinders, against data whose
// answer is known by construction; the refusals of elements that do not suit a shape or
// method; an abort of an enclosing or inscribing run through the runner.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "TestHelpers.h"
#include "alg3D/approximate/FitFramework.h"
#include "alg3D/matrix/Alg3dException.h"
#include "commands/FitCommand.h"

namespace {

using alg3D::Vec3d;
using tessaro::commands::FitElement;
using tessaro::commands::FitOptions;
using tessaro::commands::FitResult;
using tessaro::commands::FitShape;
using tessaro::commands::JobStatus;
namespace cmd = tessaro::commands;

constexpr double kPi = 3.141592653589793;

// An orthonormal frame (u, v, w) with w along a unit direction.
struct Frame {
    Vec3d u, v, w;
};

Frame frameAlong(const Vec3d& direction) {
    Frame f;
    f.w = direction.normalized();
    const Vec3d helper = std::abs(f.w.x) < 0.6 ? Vec3d(1, 0, 0) : Vec3d(0, 1, 0);
    f.u = (helper - helper.dot(f.w) * f.w).normalized();
    f.v = f.w.cross(f.u);
    return f;
}

FitOptions chebyshev(FitElement element) {
    FitOptions options;
    options.method = alg3D::approximate::kChebyshev;
    options.element = element;
    return options;
}

FitResult run(FitShape shape, const std::vector<Vec3d>& points, const FitOptions& options) {
    FitResult result;
    EXPECT_EQ(cmd::runFitCommand(shape, points, options, result), JobStatus::kCompleted);
    return result;
}

double distanceToLine(const Vec3d& q, const Vec3d& p, const Vec3d& d) {
    const Vec3d w = q - p;
    return (w - w.dot(d) * d).norm();
}

// Points on two parallel planes `gap` apart (the planes w = 0 and w = gap of the frame).
std::vector<Vec3d> twoPlanes(const Vec3d& origin, const Frame& f, double gap) {
    auto rng = testing_helpers::seededRng(71);
    std::uniform_real_distribution<double> s(-10.0, 10.0);
    std::vector<Vec3d> points;
    for (int i = 0; i < 60; ++i) {
        const double w = i % 2 == 0 ? 0.0 : gap;
        points.push_back(origin + s(rng) * f.u + s(rng) * f.v + w * f.w);
    }
    return points;
}

TEST(ChebyshevCommand, OuterAndInnerPlanesPassThroughTheExtremePoints) {
    const Vec3d origin(40.0, -12.0, 7.0);
    const Frame f = frameAlong(Vec3d(0.2, -0.4, 0.9));
    const double gap = 0.25;
    const std::vector<Vec3d> points = twoPlanes(origin, f, gap);

    const FitResult central = run(FitShape::kPlane, points, chebyshev(FitElement::kCentral));
    EXPECT_EQ(central.element, FitElement::kCentral);
    EXPECT_NEAR(std::abs(central.geometry.direction.dot(f.w)), 1.0, 1e-12);
    EXPECT_NEAR(central.maxdev, 0.5 * gap, 1e-9 * gap);
    EXPECT_NEAR(central.mindev, -0.5 * gap, 1e-9 * gap);
    const Vec3d n = central.geometry.direction;
    EXPECT_NEAR(n.dot(central.geometry.point - origin), 0.5 * gap * n.dot(f.w), 1e-9 * gap);

    const FitResult outer = run(FitShape::kPlane, points, chebyshev(FitElement::kOuter));
    const FitResult inner = run(FitShape::kPlane, points, chebyshev(FitElement::kInner));
    // The outer plane has every point on or below it, the inner one on or above it; both
    // touch the extreme points.
    EXPECT_NEAR(outer.maxdev, 0.0, 1e-9 * gap);
    EXPECT_NEAR(outer.mindev, -gap, 1e-9 * gap);
    EXPECT_NEAR(inner.mindev, 0.0, 1e-9 * gap);
    EXPECT_NEAR(inner.maxdev, gap, 1e-9 * gap);
    // Their distance is the central zone's width; their normals are the central one.
    EXPECT_VEC_NEAR(outer.geometry.direction, n, 1e-15);
    EXPECT_VEC_NEAR(inner.geometry.direction, n, 1e-15);
    EXPECT_NEAR(n.dot(outer.geometry.point - inner.geometry.point), central.maxdev - central.mindev,
                1e-9 * gap);
    // The texts follow the shifted plane.
    EXPECT_EQ(outer.statistics,
              cmd::fitStatisticsText(outer.sigma, outer.mindev, outer.maxdev, outer.iterations));
    EXPECT_NEAR(outer.geometry.d, -n.dot(outer.geometry.point), 1e-9);
}

std::vector<Vec3d> sphereZonePoints(const Vec3d& centre, double r, double delta) {
    return testing_helpers::sphereZonePoints(centre, r, delta, 72, 150);
}

TEST(ChebyshevCommand, SphereElementsAreTheZoneAndItsTwoBoundaries) {
    const Vec3d centre(-6.0, 3.0, 11.0);
    const double r = 4.0, delta = 0.03;
    const std::vector<Vec3d> points = sphereZonePoints(centre, r, delta);
    const double tol = 1e-9 * r;

    const FitResult central = run(FitShape::kSphere, points, chebyshev(FitElement::kCentral));
    EXPECT_VEC_NEAR(central.geometry.point, centre, tol);
    EXPECT_NEAR(central.geometry.radius, r, tol);
    EXPECT_NEAR(central.maxdev, delta, tol);
    EXPECT_NEAR(central.mindev, -delta, tol);

    const FitResult outer = run(FitShape::kSphere, points, chebyshev(FitElement::kOuter));
    EXPECT_VEC_NEAR(outer.geometry.point, centre, tol);
    EXPECT_NEAR(outer.geometry.radius, r + delta, tol);
    EXPECT_NEAR(outer.maxdev, 0.0, tol);
    EXPECT_NEAR(outer.mindev, -2.0 * delta, tol);

    const FitResult inner = run(FitShape::kSphere, points, chebyshev(FitElement::kInner));
    EXPECT_NEAR(inner.geometry.radius, r - delta, tol);
    EXPECT_NEAR(inner.mindev, 0.0, tol);
    EXPECT_NEAR(inner.maxdev, 2.0 * delta, tol);
    EXPECT_NE(inner.console.find("radius: " + std::to_string(inner.geometry.radius)),
              std::string::npos);
}

// Rings of points alternating δ outside and inside a cylinder: its minimum zone.
std::vector<Vec3d> cylinderZonePoints(const Vec3d& base, const Frame& f, double r, double delta) {
    std::vector<Vec3d> points;
    for (const double h : {-4.0, -1.0, 2.0, 5.0}) {
        for (int i = 0; i < 12; ++i) {
            const double t = 2.0 * kPi * i / 12 + 0.3 * h;
            const double radius = i % 2 == 0 ? r + delta : r - delta;
            points.push_back(base + radius * std::cos(t) * f.u + radius * std::sin(t) * f.v +
                             h * f.w);
        }
    }
    return points;
}

TEST(ChebyshevCommand, CylinderOuterAndInnerElementsShiftTheRadius) {
    const Vec3d base(3.0, 9.0, -2.0);
    const Frame f = frameAlong(Vec3d(-0.3, 0.5, 0.8));
    const double r = 2.5, delta = 0.02;
    const std::vector<Vec3d> points = cylinderZonePoints(base, f, r, delta);
    const double tol = 1e-9 * r;

    const FitResult central = run(FitShape::kCylinder, points, chebyshev(FitElement::kCentral));
    EXPECT_NEAR(central.geometry.radius, r, tol);
    EXPECT_NEAR(std::abs(central.geometry.direction.dot(f.w)), 1.0, 1e-12);
    EXPECT_NEAR(distanceToLine(base, central.geometry.point, central.geometry.direction), 0.0, tol);

    const FitResult outer = run(FitShape::kCylinder, points, chebyshev(FitElement::kOuter));
    const FitResult inner = run(FitShape::kCylinder, points, chebyshev(FitElement::kInner));
    EXPECT_NEAR(outer.geometry.radius, r + delta, tol);
    EXPECT_NEAR(inner.geometry.radius, r - delta, tol);
    EXPECT_NEAR(outer.maxdev, 0.0, tol);
    EXPECT_NEAR(outer.mindev, -2.0 * delta, tol);
    EXPECT_NEAR(inner.mindev, 0.0, tol);
    EXPECT_NEAR(inner.maxdev, 2.0 * delta, tol);
    // Only the radius moves.
    EXPECT_VEC_NEAR(outer.geometry.point, central.geometry.point, 1e-12 * r);
    EXPECT_VEC_NEAR(inner.geometry.direction, central.geometry.direction, 1e-15);
}

TEST(ChebyshevCommand, EnclosingAndInscribingSpheres) {
    // Enclosing: points on a sphere, its six poles among them, so the sphere itself is the
    // smallest ball around them.
    const Vec3d centre(12.0, -4.0, 0.5);
    const double r = 3.0;
    std::vector<Vec3d> onSphere;
    for (int a = 0; a < 3; ++a)
        for (const double s : {-1.0, 1.0}) {
            Vec3d d(0.0, 0.0, 0.0);
            d[static_cast<std::size_t>(a)] = s;
            onSphere.push_back(centre + r * d);
        }
    auto rng = testing_helpers::seededRng(73);
    std::normal_distribution<double> g(0.0, 1.0);
    for (int i = 0; i < 300; ++i)
        onSphere.push_back(centre + r * Vec3d(g(rng), g(rng), g(rng)).normalized());
    const FitResult enclosing = run(FitShape::kSphere, onSphere, chebyshev(FitElement::kEnclosing));
    EXPECT_EQ(enclosing.element, FitElement::kEnclosing);
    EXPECT_VEC_NEAR(enclosing.geometry.point, centre, 1e-9 * r);
    EXPECT_NEAR(enclosing.geometry.radius, r, 1e-9 * r);
    EXPECT_NEAR(enclosing.maxdev, 0.0, 1e-9 * r);
    EXPECT_NEAR(enclosing.mindev, 0.0, 1e-9 * r);
    EXPECT_NE(enclosing.run.duration, "-");

    // Inscribing: the faces of the cube [1, 3]³ sampled on a grid that has the face
    // centres: the inscribed ball is the cube's, touching the face centres.
    std::vector<Vec3d> cube;
    for (int i = 0; i <= 6; ++i)
        for (int j = 0; j <= 6; ++j)
            for (int k = 0; k <= 6; ++k)
                if (i == 0 || i == 6 || j == 0 || j == 6 || k == 0 || k == 6)
                    cube.emplace_back(1.0 + i / 3.0, 1.0 + j / 3.0, 1.0 + k / 3.0);
    const FitResult inscribing = run(FitShape::kSphere, cube, chebyshev(FitElement::kInscribing));
    EXPECT_VEC_NEAR(inscribing.geometry.point, Vec3d(2.0, 2.0, 2.0), 1e-9);
    EXPECT_NEAR(inscribing.geometry.radius, 1.0, 1e-9);
    // It touches the nearest points from inside: no point is inside it.
    EXPECT_NEAR(inscribing.mindev, 0.0, 1e-12);
    EXPECT_NEAR(inscribing.maxdev, std::sqrt(3.0) - 1.0, 1e-9);
}

TEST(ChebyshevCommand, EnclosingAndInscribingCylinders) {
    const Vec3d base(-8.0, 2.0, 15.0);
    const Frame f = frameAlong(Vec3d(0.6, 0.1, -0.7));
    const double r = 1.75;
    auto rng = testing_helpers::seededRng(74);
    std::uniform_real_distribution<double> angle(0.0, 2.0 * kPi), height(-3.0, 3.0);
    std::normal_distribution<double> noise(0.0, 0.01);
    std::vector<Vec3d> exact, noisy;
    for (int i = 0; i < 1200; ++i) {
        const double t = angle(rng), h = height(rng);
        exact.push_back(base + r * std::cos(t) * f.u + r * std::sin(t) * f.v + h * f.w);
        const double rn = r + noise(rng);
        noisy.push_back(base + rn * std::cos(t) * f.u + rn * std::sin(t) * f.v + h * f.w);
    }

    const FitResult enclosing = run(FitShape::kCylinder, exact, chebyshev(FitElement::kEnclosing));
    EXPECT_NEAR(enclosing.geometry.radius, r, 1e-9 * r);
    EXPECT_NEAR(std::abs(enclosing.geometry.direction.dot(f.w)), 1.0, 1e-12);
    EXPECT_NEAR(enclosing.maxdev, 0.0, 1e-9 * r);

    const FitResult inscribing =
        run(FitShape::kCylinder, noisy, chebyshev(FitElement::kInscribing));
    double nearest = std::numeric_limits<double>::max(), farthest = 0.0;
    for (const Vec3d& p : noisy) {
        const double d =
            distanceToLine(p, inscribing.geometry.point, inscribing.geometry.direction);
        nearest = std::min(nearest, d);
        farthest = std::max(farthest, d);
    }
    // The radius is the nearest point's distance, so the deviations start at 0.
    EXPECT_NEAR(inscribing.geometry.radius, nearest, 1e-12 * r);
    EXPECT_NEAR(inscribing.mindev, 0.0, 1e-12 * r);
    EXPECT_NEAR(inscribing.maxdev, farthest - nearest, 1e-12 * r);
    EXPECT_LT(inscribing.geometry.radius, r);
    EXPECT_GT(inscribing.geometry.radius, r - 0.06);
    EXPECT_NEAR(std::abs(inscribing.geometry.direction.dot(f.w)), 1.0, 1e-4);
}

TEST(ChebyshevCommand, ElementsThatDoNotSuitTheShapeOrMethodAreRefused) {
    std::vector<Vec3d> points;
    for (int i = 0; i < 20; ++i)
        points.emplace_back(std::cos(i), std::sin(i), 0.1 * (i % 3));
    FitResult result;
    result.points = 4242;
    const auto refused = [&](FitShape shape, int method, FitElement element) {
        FitOptions options;
        options.method = method;
        options.element = element;
        EXPECT_THROW(cmd::runFitCommand(shape, points, options, result), std::invalid_argument)
            << cmd::fitShapeName(shape) << " " << method << " " << cmd::fitElementName(element);
    };
    using alg3D::approximate::kChebyshev;
    using alg3D::approximate::kLevenbergMarquardt;
    refused(FitShape::kPlane, kLevenbergMarquardt, FitElement::kOuter);
    refused(FitShape::kSphere, kLevenbergMarquardt, FitElement::kEnclosing);
    refused(FitShape::kCircle, kChebyshev, FitElement::kOuter);
    refused(FitShape::kLine, kChebyshev, FitElement::kInner);
    refused(FitShape::kPlane, kChebyshev, FitElement::kEnclosing);
    refused(FitShape::kCone, kChebyshev, FitElement::kInscribing);
    refused(FitShape::kTorus, kChebyshev, FitElement::kOuter);
    EXPECT_EQ(result.points, 4242u);

    // Too few points for the command, before any run.
    const std::vector<Vec3d> three(points.begin(), points.begin() + 3);
    EXPECT_THROW(
        cmd::runFitCommand(FitShape::kSphere, three, chebyshev(FitElement::kEnclosing), result),
        cmd::NotEnoughPointsError);
    const std::vector<Vec3d> six(points.begin(), points.begin() + 6);
    EXPECT_THROW(
        cmd::runFitCommand(FitShape::kCylinder, six, chebyshev(FitElement::kInscribing), result),
        cmd::NotEnoughPointsError);
    EXPECT_EQ(result.points, 4242u);
}

TEST(ChebyshevCommand, PointsWithoutAHullFailWithTheLibrarysText) {
    std::vector<Vec3d> line;
    for (int i = 0; i < 12; ++i)
        line.emplace_back(1.0 + i, 2.0 - 0.5 * i, 3.0 + 2.0 * i);
    FitResult result;
    result.points = 4242;
    const auto failsWith = [&](FitShape shape, FitElement element) {
        try {
            cmd::runFitCommand(shape, line, chebyshev(element), result);
            ADD_FAILURE() << "no exception for " << cmd::fitShapeName(shape) << " "
                          << cmd::fitElementName(element);
        } catch (const alg3D::Alg3dException& e) {
            EXPECT_STREQ(e.what(), "ALG3D::geometry approximation failed.\n");
        }
    };
    failsWith(FitShape::kPlane, FitElement::kCentral);
    failsWith(FitShape::kPlane, FitElement::kOuter);
    failsWith(FitShape::kCylinder, FitElement::kEnclosing);
    failsWith(FitShape::kCylinder, FitElement::kInscribing);
    EXPECT_EQ(result.points, 4242u);
}

TEST(ChebyshevCommand, AbortOfAnInscribingRunDropsTheResult) {
    // Enough points that the run is still in its start at the first poll.
    auto rng = testing_helpers::seededRng(75);
    std::uniform_real_distribution<double> angle(0.0, 2.0 * kPi), height(-5.0, 5.0);
    std::normal_distribution<double> noise(0.0, 0.02);
    std::vector<Vec3d> points;
    for (int i = 0; i < 100000; ++i) {
        const double t = angle(rng), rn = 4.0 + noise(rng);
        points.emplace_back(rn * std::cos(t), rn * std::sin(t), height(rng));
    }
    bool aborted = false;
    for (const FitElement element : {FitElement::kInscribing, FitElement::kEnclosing}) {
        FitResult result;
        result.points = 777;
        bool polled = false;
        const JobStatus status = cmd::runFitCommand(
            FitShape::kCylinder, points, chebyshev(element), result,
            [&](float percent) {
                EXPECT_GE(percent, 0.0f);
                EXPECT_LE(percent, 100.0f);
                polled = true;
                return true;
            },
            std::chrono::milliseconds(1));
        if (!polled) {
            // The run ended before the first poll; nothing to abort.
            EXPECT_EQ(status, JobStatus::kCompleted);
            continue;
        }
        EXPECT_EQ(status, JobStatus::kAborted);
        EXPECT_EQ(result.points, 777u);
        EXPECT_TRUE(result.deviations.empty());
        aborted = true;
    }
    EXPECT_TRUE(aborted) << "no run was polled";
}

TEST(ChebyshevCommand, EnclosingRunsReportTheirProgressToThePoll) {
    // The poll sees the run's progress rise (never above 100) while it goes on.
    auto rng = testing_helpers::seededRng(76);
    std::normal_distribution<double> g(0.0, 1.0);
    std::vector<Vec3d> points;
    for (int i = 0; i < 20000; ++i) {
        const Vec3d d = Vec3d(g(rng), g(rng), g(rng)).normalized();
        points.push_back((5.0 + 0.01 * g(rng)) * d);
    }
    FitOptions options = chebyshev(FitElement::kInscribing);
    std::vector<float> seen;
    FitResult result;
    const JobStatus status = cmd::runFitCommand(
        FitShape::kSphere, points, options, result,
        [&](float percent) {
            seen.push_back(percent);
            return false;
        },
        std::chrono::milliseconds(1));
    EXPECT_EQ(status, JobStatus::kCompleted);
    for (std::size_t k = 1; k < seen.size(); ++k)
        EXPECT_GE(seen[k], seen[k - 1]);
    for (const float p : seen)
        EXPECT_LE(p, 100.0f);
    EXPECT_EQ(result.points, points.size());
    EXPECT_NEAR(result.mindev, 0.0, 1e-12);
}

}  // namespace
