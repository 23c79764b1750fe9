// The fit command: its point checks and texts, the numbers of its result for every shape
// (against the shapes the data were made from), the deviations and their statistics
// against an independent computation, the parameter conventions of the JSON keys (the
// cone's angle sign), fixed groups, the iteration cap and an abort through the runner.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "TestHelpers.h"
#include "alg3D/approximate/FitFramework.h"
#include "alg3D/matrix/Alg3dException.h"
#include "commands/FitCommand.h"
#include "commands/FitPrimitiveInfo.h"

namespace {

using alg3D::Vec3d;
using tessaro::commands::FitGeometry;
using tessaro::commands::FitOptions;
using tessaro::commands::FitParameter;
using tessaro::commands::FitResult;
using tessaro::commands::FitShape;
using tessaro::commands::JobStatus;
namespace cmd = tessaro::commands;

constexpr double kPi = 3.141592653589793;

// An orthonormal pair across a unit direction.
void across(const Vec3d& d, Vec3d& u, Vec3d& v) {
    const Vec3d helper = std::abs(d.x) < 0.6 ? Vec3d(1, 0, 0) : Vec3d(0, 1, 0);
    u = (helper - helper.dot(d) * d).normalized();
    v = d.cross(u);
}

Vec3d unit(double x, double y, double z) {
    return Vec3d(x, y, z).normalized();
}

double lineAngle(const Vec3d& a, const Vec3d& b) {
    return std::asin(std::min(1.0, a.normalized().cross(b.normalized()).norm()));
}

double distanceToLine(const Vec3d& q, const Vec3d& p, const Vec3d& d) {
    const Vec3d w = q - p;
    return (w - w.dot(d) * d).norm();
}

const FitParameter& parameter(const FitResult& r, const std::string& key) {
    for (const FitParameter& p : r.parameters)
        if (p.key == key) return p;
    throw std::runtime_error("no parameter " + key);
}

std::vector<std::string> keys(const FitResult& r) {
    std::vector<std::string> out;
    for (const FitParameter& p : r.parameters)
        out.push_back(p.key);
    return out;
}

FitResult fit(FitShape shape, const std::vector<Vec3d>& points, const FitOptions& options = {}) {
    FitResult result;
    EXPECT_EQ(cmd::runFitCommand(shape, points, options, result), JobStatus::kCompleted);
    return result;
}

// ---- Shapes the data are made from ---------------------------------------------------------

struct CylinderTruth {
    Vec3d point{12.0, -7.0, 30.0};
    Vec3d direction = unit(0.3, -0.5, 0.8);
    double radius = 4.0;
};

std::vector<Vec3d> cylinderPoints(const CylinderTruth& c, std::size_t n, double noise,
                                  std::uint64_t seed, double hLo = -5.0, double hHi = 5.0) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> angle(0.0, 2 * kPi);
    std::uniform_real_distribution<double> height(hLo, hHi);
    std::normal_distribution<double> g(0.0, noise > 0 ? noise : 1.0);
    Vec3d u, v;
    across(c.direction, u, v);
    std::vector<Vec3d> pts;
    for (std::size_t i = 0; i < n; ++i) {
        const double t = angle(rng);
        // The first two points mark the ends of the covered height exactly.
        const double h = i == 0 ? hLo : i == 1 ? hHi : height(rng);
        const double r = c.radius + (noise > 0 ? g(rng) : 0.0);
        pts.push_back(c.point + h * c.direction + r * std::cos(t) * u + r * std::sin(t) * v);
    }
    return pts;
}

struct SphereTruth {
    Vec3d center{-3.0, 8.0, 2.5};
    double radius = 6.0;
};

std::vector<Vec3d> spherePoints(const SphereTruth& s, std::size_t n, double noise,
                                std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> g(0.0, 1.0);
    std::vector<Vec3d> pts;
    while (pts.size() < n) {
        const Vec3d dir(g(rng), g(rng), g(rng));
        if (dir.norm() < 1e-3) continue;
        const double r = s.radius + noise * g(rng);
        pts.push_back(s.center + r * dir.normalized());
    }
    return pts;
}

struct ConeTruth {
    Vec3d point{5.0, 1.0, -2.0};
    Vec3d direction = unit(-0.2, 0.9, 0.4);
    double radius = 3.0;  // at `point`
    double angle = 0.35;  // radius grows along `direction`
};

std::vector<Vec3d> conePoints(const ConeTruth& c, std::size_t n, std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> angle(0.0, 2 * kPi);
    std::uniform_real_distribution<double> height(-4.0, 4.0);
    Vec3d u, v;
    across(c.direction, u, v);
    std::vector<Vec3d> pts;
    for (std::size_t i = 0; i < n; ++i) {
        const double t = angle(rng), h = height(rng);
        const double r = c.radius + h * std::tan(c.angle);
        pts.push_back(c.point + h * c.direction + r * std::cos(t) * u + r * std::sin(t) * v);
    }
    return pts;
}

// ---- Names, titles, point checks ----------------------------------------------------------

TEST(FitCommandNames, NamesTitlesAndMinimumCounts) {
    struct Row {
        FitShape shape;
        const char* name;
        const char* title;
        std::size_t minimum;
    };
    const Row rows[] = {
        {FitShape::kLine, "line", "Line approximation", 0},
        {FitShape::kPlane, "plane", "Plane approximation", 0},
        {FitShape::kCircle, "circle", "Circle approximation", 3},
        {FitShape::kEllipse, "ellipse", "Ellipse approximation", 7},
        {FitShape::kSuperEllipse, "superellipse", "Superellipse approximation", 7},
        {FitShape::kSphere, "sphere", "Sphere approximation", 4},
        {FitShape::kCylinder, "cylinder", "Cylinder approximation", 7},
        {FitShape::kCone, "cone", "Cone approximation", 7},
        {FitShape::kTorus, "torus", "Torus approximation", 7},
    };
    for (const Row& row : rows) {
        EXPECT_STREQ(cmd::fitShapeName(row.shape), row.name);
        EXPECT_STREQ(cmd::fitTitle(row.shape), row.title);
        EXPECT_EQ(cmd::fitMinimumPoints(row.shape), row.minimum) << row.name;
        ASSERT_TRUE(cmd::fitShapeFromName(row.name).has_value());
        EXPECT_EQ(*cmd::fitShapeFromName(row.name), row.shape);
    }
    EXPECT_FALSE(cmd::fitShapeFromName("box").has_value());
    EXPECT_FALSE(cmd::fitShapeFromName("Sphere").has_value());
    EXPECT_EQ(std::size(cmd::kFitShapes), std::size(rows));
}

TEST(FitCommandPointCheck, RefusesFewerPointsThanTheShapeNeedsBeforeRunning) {
    const std::vector<Vec3d> many = spherePoints({}, 20, 0.0, 1);
    for (FitShape shape : cmd::kFitShapes) {
        const std::size_t minimum = cmd::fitMinimumPoints(shape);
        if (minimum == 0) continue;
        const std::vector<Vec3d> few(many.begin(), many.begin() + (minimum - 1));
        bool polled = false;
        FitResult result;
        result.points = 12345;  // untouched on failure
        try {
            cmd::runFitCommand(shape, few, {}, result, [&](float) { return polled = true; });
            ADD_FAILURE() << cmd::fitShapeName(shape) << " ran with " << few.size() << " points";
        } catch (const cmd::NotEnoughPointsError& e) {
            EXPECT_STREQ(e.what(), "Not enough points selected");
        }
        EXPECT_FALSE(polled);
        EXPECT_EQ(result.points, 12345u);
        EXPECT_NO_THROW(cmd::checkFitPointCount(shape, minimum));
        EXPECT_THROW(cmd::checkFitPointCount(shape, minimum - 1), cmd::NotEnoughPointsError);
    }
}

TEST(FitCommandPointCheck, LineAndPlaneLeaveTheCheckToTheirEstimates) {
    const std::vector<Vec3d> none;
    const std::vector<Vec3d> one{Vec3d(1, 2, 3)};
    const std::vector<Vec3d> two{Vec3d(1, 2, 3), Vec3d(2, 2, 3)};
    const std::string message = "ALG3D::not enough data for geometry approximation.\n";
    const auto failure = [](FitShape shape, const std::vector<Vec3d>& pts) -> std::string {
        FitResult result;
        try {
            cmd::runFitCommand(shape, pts, {}, result);
        } catch (const alg3D::Alg3dException& e) {
            return e.what();
        }
        return "no exception";
    };
    EXPECT_EQ(failure(FitShape::kLine, none), message);
    EXPECT_EQ(failure(FitShape::kLine, one), message);
    EXPECT_EQ(failure(FitShape::kPlane, none), message);
    EXPECT_EQ(failure(FitShape::kPlane, two), message);
    // The cone's command check passes 7 points; its estimate needs 8.
    EXPECT_EQ(failure(FitShape::kCone, conePoints({}, 7, 3)), message);
}

TEST(FitCommandPointCheck, UnsupportedMethodIsRefused) {
    FitOptions options;
    FitResult result;
    options.method = 7;
    EXPECT_THROW(
        cmd::runFitCommand(FitShape::kSphere, spherePoints({}, 50, 0.0, 2), options, result),
        std::invalid_argument);
}

// ---- Texts ---------------------------------------------------------------------------------

TEST(FitCommandTexts, StatisticsTextHasSixDecimalsAndTheIterationCount) {
    EXPECT_EQ(cmd::fitStatisticsText(0.0123456789, -0.5, 2.0000004, 17),
              "sigma: 0.012346\nmindev: -0.500000\nmaxdev: 2.000000\niterations: 17");
    EXPECT_EQ(cmd::fitStatisticsText(0.0, 0.0, 0.0, 0),
              "sigma: 0.000000\nmindev: 0.000000\nmaxdev: 0.000000\niterations: 0");
    EXPECT_EQ(cmd::fitStatisticsText(1234567.25, -1e-7, 1e-7, 18446744073709551615ull),
              "sigma: 1234567.250000\nmindev: -0.000000\nmaxdev: 0.000000\n"
              "iterations: 18446744073709551615");
}

FitGeometry sampleGeometry() {
    FitGeometry g;
    g.point = Vec3d(1.5, -2.25, 3.0);
    g.direction = Vec3d(0.0, 0.6, 0.8);
    g.radius = 4.125;
    g.radius2 = 1.5;
    g.angle = 0.5;
    g.factor = 1.75;
    g.d = -(g.direction.dot(g.point));
    return g;
}

TEST(FitCommandTexts, ConsoleLinesOfEveryShape) {
    const FitGeometry g = sampleGeometry();
    const std::string pd =
        "pt: 1.500000,-2.250000,3.000000\ndir: 0.0000000000,0.6000000000,0.8000000000\n";
    EXPECT_EQ(cmd::fitConsoleText(FitShape::kLine, g, 0.25, 7, false), "iterations: 7\n" + pd);
    EXPECT_EQ(cmd::fitConsoleText(FitShape::kLine, g, 0.25, 100, true), pd);
    EXPECT_EQ(cmd::fitConsoleText(FitShape::kPlane, g, 0.25, 7, false), pd + "d: -1.050000\n");
    EXPECT_EQ(cmd::fitConsoleText(FitShape::kCircle, g, 0.25, 7, false), pd + "radius: 4.125000\n");
    const std::string ellipse =
        "a:\t4.125000\nb:\t1.500000\nk:\t0.500000(28.647890\xC2\xB0)\npt:\t1.5000,-2.2500,3.0000\n"
        "dir:\t0.0000000000,0.6000000000,0.8000000000\n";
    EXPECT_EQ(cmd::fitConsoleText(FitShape::kEllipse, g, 0.25, 7, false), ellipse);
    EXPECT_EQ(cmd::fitConsoleText(FitShape::kSuperEllipse, g, 0.25, 7, false), ellipse);
    EXPECT_EQ(cmd::fitConsoleText(FitShape::kSphere, g, 0.25, 7, false),
              "pt: 1.500000,-2.250000,3.000000\nradius: 4.125000\n");
    EXPECT_EQ(cmd::fitConsoleText(FitShape::kCylinder, g, 0.25, 7, false),
              pd + "radius: 4.125000\nstdDev: 0.250000\n");
    EXPECT_EQ(cmd::fitConsoleText(FitShape::kCone, g, 0.25, 7, false),
              pd + "angle: 28.647890\nradius: 4.125000\nstdDev: 0.250000\n");
    EXPECT_EQ(cmd::fitConsoleText(FitShape::kTorus, g, 0.25, 7, false),
              "r1: 4.125000\t r2: 1.500000\npoint: (1.5000000000,-2.2500000000,3.0000000000)\n"
              "dir (0.0000000000,0.6000000000,0.8000000000)\n");
    // The ellipse's degree sign is the two UTF-8 bytes, never the lone byte 0xB0.
    const std::string text = cmd::fitConsoleText(FitShape::kEllipse, g, 0.25, 7, false);
    const std::size_t at = text.find('\xB0');
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(text[at - 1], '\xC2');
    EXPECT_EQ(std::count(text.begin(), text.end(), '\xB0'), 1);
}

TEST(FitCommandTexts, ConsoleLinesKeepHugeValuesWhole) {
    FitGeometry g = sampleGeometry();
    g.radius = 1e200;
    const std::string text = cmd::fitConsoleText(FitShape::kSphere, g, 0.0, 0, false);
    EXPECT_EQ(text.substr(text.size() - 8), ".000000\n");
    EXPECT_GT(text.size(), 200u);
}

TEST(FitCommandTexts, PrimitiveDescriptions) {
    const Vec3d c(1.5, -2.25, 3.0), n(0.0, 0.6, 0.8), b(0.5, 0.5, -1.0);
    EXPECT_EQ(cmd::boxInfoText(Vec3d(0, 0, 0), Vec3d(2, 3, 0.5)), "volume: 3.0000\n");
    EXPECT_EQ(cmd::lineInfoText(c, n),
              "center: 1.500000,-2.250000,3.000000\ndir: 0.000000,0.600000,0.800000\n");
    EXPECT_EQ(cmd::planeInfoText(c, n),
              "center: 1.500000,-2.250000,3.000000\ndir: 0.000000,0.600000,0.800000\n");
    EXPECT_EQ(cmd::circleInfoText(2.0, c, n),
              "r: 2.000000\ncenter: 1.500000,-2.250000,3.000000\n"
              "dir: 0.000000,0.600000,0.800000\n");
    const std::string ellipse =
        "a: 4.000000\nb: 2.000000\nk: 0.500000 (28.647890\xC2\xB0)\n"
        "center: 1.500000,-2.250000,3.000000\ndir: 0.000000,0.600000,0.800000\n";
    EXPECT_EQ(cmd::ellipseInfoText(4.0, 2.0, 0.5, c, n), ellipse);
    EXPECT_EQ(cmd::superEllipseInfoText(1.75, 4.0, 2.0, 0.5, c, n), "eps: 1.750000\n" + ellipse);
    EXPECT_EQ(cmd::sphereInfoText(2.5, c),
              "r: 2.500000 (5.000000)\ncenter: 1.500000,-2.250000,3.000000\n");
    EXPECT_EQ(cmd::cylinderInfoText(2.5, c, n, b, 10.0),
              "r: 2.500000 (5.000000)\ncenter: 1.500000,-2.250000,3.000000\n"
              "dir: 0.000000,0.600000,0.800000\nbottom: 0.500000,0.500000,-1.000000\n"
              "h: 10.000000\n");
    EXPECT_EQ(cmd::coneInfoText(-0.25, 2.5, c, n, b, 10.0),
              "psi: -0.250000 (-14.323945\xC2\xB0)\nr: 2.500000\n"
              "center: 1.500000,-2.250000,3.000000\ndir: 0.000000,0.600000,0.800000\n"
              "bottom: 0.500000,0.500000,-1.000000\nh: 10.000000\n");
    EXPECT_EQ(cmd::torusInfoText(5.0, 1.0, c, n),
              "r1: 5.000000\nr2: 1.000000\ncenter: 1.500000,-2.250000,3.000000\n"
              "dir: 0.000000,0.600000,0.800000\n");
}

// ---- Runs of every shape -------------------------------------------------------------------

// The texts of a result are the texts of its own numbers.
void expectConsistentTexts(const FitResult& r) {
    EXPECT_EQ(r.title, cmd::fitTitle(r.shape));
    EXPECT_EQ(r.statistics, cmd::fitStatisticsText(r.sigma, r.mindev, r.maxdev, r.iterations));
    EXPECT_EQ(r.console, cmd::fitConsoleText(r.shape, r.geometry, r.sigma, r.iterations,
                                             r.maxIterationsReached));
    EXPECT_EQ(r.description,
              cmd::fitDescription(r.shape, r.geometry, r.extentStart, r.extentLength));
    EXPECT_EQ(r.infoText(), r.description + r.statistics);
    EXPECT_EQ(r.durationLine(), "duration: " + r.run.duration + " (" + r.commandDuration + ")");
    EXPECT_NE(r.run.duration, "-");
    EXPECT_GE(r.run.milliseconds, 0.0);
    EXPECT_EQ(r.deviations.size(), r.points);
}

struct ShapeCase {
    FitShape shape;
    std::vector<Vec3d> points;
    double size;
    std::vector<std::string> keys;
    std::function<void(const FitResult&, double tol)> check;
};

std::vector<ShapeCase> exactCases() {
    std::vector<ShapeCase> cases;
    std::mt19937_64 rng(42);
    std::uniform_real_distribution<double> uni(-1.0, 1.0);

    {  // line
        const Vec3d p(3, -1, 7), d = unit(1, 2, -2);
        std::vector<Vec3d> pts;
        for (int i = 0; i < 50; ++i)
            pts.push_back(p + (10.0 * uni(rng)) * d);
        cases.push_back({FitShape::kLine,
                         pts,
                         10.0,
                         {"point", "direction"},
                         [p, d](const FitResult& r, double tol) {
                             EXPECT_LT(lineAngle(r.geometry.direction, d), tol / 10.0);
                             EXPECT_LT(distanceToLine(r.geometry.point, p, d), tol);
                             EXPECT_NEAR(r.geometry.direction.norm(), 1.0, 1e-12);
                         }});
    }
    {  // plane
        const Vec3d p(3, -1, 7), n = unit(-1, 2, 5);
        Vec3d u, v;
        across(n, u, v);
        std::vector<Vec3d> pts;
        for (int i = 0; i < 60; ++i)
            pts.push_back(p + (8.0 * uni(rng)) * u + (8.0 * uni(rng)) * v);
        cases.push_back({FitShape::kPlane,
                         pts,
                         8.0,
                         {"point", "normal", "d"},
                         [p, n, pts](const FitResult& r, double tol) {
                             EXPECT_LT(lineAngle(r.geometry.direction, n), tol / 8.0);
                             // The drawn patch reaches the farthest projected point.
                             double largest = 0.0;
                             for (const Vec3d& q : pts) {
                                 const Vec3d w = q - r.geometry.point;
                                 const Vec3d m = r.geometry.direction.normalized();
                                 largest = std::max(largest, (w - m * w.dot(m)).norm());
                             }
                             EXPECT_NEAR(r.planeRadius, largest, 1e-12 * 10);
                             EXPECT_NEAR(r.geometry.direction.dot(r.geometry.point - p), 0.0, tol);
                             EXPECT_NEAR(r.geometry.d, -r.geometry.direction.dot(r.geometry.point),
                                         1e-12 * 10);
                             EXPECT_EQ(parameter(r, "d").scalar, r.geometry.d);
                         }});
    }
    {  // circle, ellipse, superellipse in one tilted plane
        const Vec3d c(-4, 2, 9), n = unit(0.3, 0.2, 1.0);
        Vec3d u, v;
        across(n, u, v);
        const double k = 0.4;
        const Vec3d axisA = std::cos(k) * u + std::sin(k) * v;
        const Vec3d axisB = n.cross(axisA);
        std::vector<Vec3d> circle, ellipse, superellipse;
        for (int i = 0; i < 80; ++i) {
            const double t = 2 * kPi * i / 80.0 + 0.01;
            circle.push_back(c + 5.0 * std::cos(t) * u + 5.0 * std::sin(t) * v);
            ellipse.push_back(c + 6.0 * std::cos(t) * axisA + 2.5 * std::sin(t) * axisB);
            const double ct = std::cos(t), st = std::sin(t);
            const double x = 6.0 * std::copysign(std::pow(std::abs(ct), 1.5), ct);
            const double y = 2.5 * std::copysign(std::pow(std::abs(st), 1.5), st);
            superellipse.push_back(c + x * axisA + y * axisB);
        }
        cases.push_back({FitShape::kCircle,
                         circle,
                         5.0,
                         {"center", "normal", "radius"},
                         [c, n](const FitResult& r, double tol) {
                             EXPECT_VEC_NEAR(r.geometry.point, c, tol);
                             EXPECT_LT(lineAngle(r.geometry.direction, n), tol / 5.0);
                             EXPECT_NEAR(r.geometry.radius, 5.0, tol);
                         }});
        const auto checkEllipse = [c, n, axisA](const FitResult& r, double tol) {
            EXPECT_VEC_NEAR(r.geometry.point, c, tol);
            EXPECT_LT(lineAngle(r.geometry.direction, n), tol / 6.0);
            EXPECT_NEAR(r.geometry.radius, 6.0, tol);
            EXPECT_NEAR(r.geometry.radius2, 2.5, tol);
            // The angle is measured from the first axis of the normal's frame.
            alg3D::approximate::RotationFrame frame;
            frame.setDirection(r.geometry.direction);
            const Vec3d a = std::cos(r.geometry.angle) * frame.axis(0) +
                            std::sin(r.geometry.angle) * frame.axis(1);
            EXPECT_LT(lineAngle(a, axisA), tol / 6.0);
            EXPECT_GE(r.geometry.angle, 0.0);
            EXPECT_LT(r.geometry.angle, kPi);
        };
        cases.push_back({FitShape::kEllipse,
                         ellipse,
                         6.0,
                         {"center", "normal", "a", "b", "angle"},
                         checkEllipse});
        cases.push_back({FitShape::kSuperEllipse,
                         superellipse,
                         6.0,
                         {"center", "normal", "a", "b", "angle", "factor"},
                         [checkEllipse](const FitResult& r, double tol) {
                             checkEllipse(r, tol);
                             EXPECT_NEAR(r.geometry.factor, 1.5, tol / 6.0);
                         }});
    }
    {  // sphere
        const SphereTruth s;
        cases.push_back({FitShape::kSphere,
                         spherePoints(s, 100, 0.0, 5),
                         s.radius,
                         {"center", "radius"},
                         [s](const FitResult& r, double tol) {
                             EXPECT_VEC_NEAR(r.geometry.point, s.center, tol);
                             EXPECT_NEAR(r.geometry.radius, s.radius, tol);
                         }});
    }
    {  // cylinder
        const CylinderTruth c;
        cases.push_back({FitShape::kCylinder,
                         cylinderPoints(c, 200, 0.0, 6),
                         5.0,
                         {"point", "direction", "radius"},
                         [c](const FitResult& r, double tol) {
                             EXPECT_LT(lineAngle(r.geometry.direction, c.direction), tol / 5.0);
                             EXPECT_LT(distanceToLine(r.geometry.point, c.point, c.direction), tol);
                             EXPECT_NEAR(r.geometry.radius, c.radius, tol);
                             // The drawn extent covers the heights -5 to 5 of the data.
                             EXPECT_NEAR(r.extentLength, 10.0, tol);
                             EXPECT_LT(distanceToLine(r.extentStart, c.point, c.direction), tol);
                             const double h = (r.extentStart - c.point).dot(c.direction);
                             EXPECT_NEAR(std::abs(h), 5.0, tol);
                         }});
    }
    {  // cone
        const ConeTruth c;
        cases.push_back({FitShape::kCone,
                         conePoints(c, 200, 7),
                         5.0,
                         {"point", "direction", "angle", "radius"},
                         [c](const FitResult& r, double tol) {
                             EXPECT_LT(lineAngle(r.geometry.direction, c.direction), tol / 5.0);
                             EXPECT_LT(distanceToLine(r.geometry.point, c.point, c.direction), tol);
                             const double s = r.geometry.direction.dot(c.direction) > 0 ? 1 : -1;
                             EXPECT_NEAR(r.geometry.angle, s * c.angle, tol / 5.0);
                             const double h = c.direction.dot(r.geometry.point - c.point);
                             EXPECT_NEAR(r.geometry.radius, c.radius + h * std::tan(c.angle), tol);
                             EXPECT_GT(r.extentLength, 7.0);
                         }});
    }
    {  // torus
        const Vec3d c(1, 2, 3), d = unit(0.5, -0.5, 1.0);
        Vec3d u, v;
        across(d, u, v);
        std::vector<Vec3d> pts;
        std::uniform_real_distribution<double> ang(0.0, 2 * kPi);
        for (int i = 0; i < 300; ++i) {
            const double th = ang(rng), ph = ang(rng);
            const double rr = 7.0 + 2.0 * std::cos(ph);
            pts.push_back(c + rr * std::cos(th) * u + rr * std::sin(th) * v +
                          2.0 * std::sin(ph) * d);
        }
        cases.push_back({FitShape::kTorus,
                         pts,
                         9.0,
                         {"center", "direction", "r1", "r2"},
                         [c, d](const FitResult& r, double tol) {
                             EXPECT_VEC_NEAR(r.geometry.point, c, tol);
                             EXPECT_LT(lineAngle(r.geometry.direction, d), tol / 9.0);
                             EXPECT_NEAR(r.geometry.radius, 7.0, tol);
                             EXPECT_NEAR(r.geometry.radius2, 2.0, tol);
                         }});
    }
    return cases;
}

TEST(FitCommandRun, EveryShapeOnExactDataGivesItsParametersTextsAndZeroDeviations) {
    for (const ShapeCase& c : exactCases()) {
        SCOPED_TRACE(cmd::fitShapeName(c.shape));
        for (int method :
             {alg3D::approximate::kGaussNewton, alg3D::approximate::kLevenbergMarquardt}) {
            SCOPED_TRACE(method);
            FitOptions options;
            options.method = method;
            const FitResult r = fit(c.shape, c.points, options);
            EXPECT_EQ(r.shape, c.shape);
            EXPECT_EQ(r.method, method);
            EXPECT_EQ(r.points, c.points.size());
            EXPECT_FALSE(r.maxIterationsReached);
            EXPECT_EQ(keys(r), c.keys);
            const double tol = 1e-9 * c.size * 10;
            c.check(r, tol);
            EXPECT_LT(r.sigma, 1e-9 * c.size);
            EXPECT_LT(std::max(std::abs(r.mindev), std::abs(r.maxdev)), 1e-8 * c.size);
            expectConsistentTexts(r);
        }
    }
}

TEST(FitCommandRun, ParameterListCarriesTheGeometry) {
    const FitGeometry g = sampleGeometry();
    for (FitShape shape : cmd::kFitShapes) {
        for (const FitParameter& p : cmd::fitParameters(shape, g)) {
            if (p.key == "point" || p.key == "center") {
                EXPECT_TRUE(p.isVector);
                EXPECT_EQ(p.vector, g.point);
            } else if (p.key == "direction" || p.key == "normal") {
                EXPECT_TRUE(p.isVector);
                EXPECT_EQ(p.vector, g.direction);
            } else {
                EXPECT_FALSE(p.isVector);
                const double expected = p.key == "radius" || p.key == "a" || p.key == "r1"
                                            ? g.radius
                                        : p.key == "b" || p.key == "r2" ? g.radius2
                                        : p.key == "angle"              ? g.angle
                                        : p.key == "factor"             ? g.factor
                                        : p.key == "d"                  ? g.d
                                                                        : -1.0;
                EXPECT_EQ(p.scalar, expected) << p.key;
            }
        }
    }
}

// Deviation and statistics of noisy data against the test's own distance formulas.
TEST(FitCommandRun, DeviationsAreSignedForSphereAndCylinderAndStatisticsMatch) {
    const auto check = [](const FitResult& r, const std::function<double(const Vec3d&)>& dist,
                          const std::vector<Vec3d>& pts) {
        ASSERT_EQ(r.deviations.size(), pts.size());
        long double sum = 0.0L, sumSq = 0.0L;
        double lo = 1e300, hi = -1e300;
        for (std::size_t i = 0; i < pts.size(); ++i) {
            const double expected = dist(pts[i]);
            EXPECT_NEAR(r.deviations[i], expected, 1e-12) << i;
            lo = std::min(lo, expected);
            hi = std::max(hi, expected);
            sum += expected;
        }
        const long double mean = sum / pts.size();
        for (const Vec3d& p : pts)
            sumSq += (dist(p) - mean) * (dist(p) - mean);
        const double sigma = std::sqrt(static_cast<double>(sumSq / pts.size()));
        EXPECT_NEAR(r.mindev, lo, 1e-12);
        EXPECT_NEAR(r.maxdev, hi, 1e-12);
        EXPECT_NEAR(r.sigma, sigma, 1e-12);
        EXPECT_LT(r.mindev, 0.0);  // noise both ways: some points inside, some outside
        EXPECT_GT(r.maxdev, 0.0);
    };
    {
        const std::vector<Vec3d> pts = spherePoints({}, 2000, 0.01, 11);
        const FitResult r = fit(FitShape::kSphere, pts);
        const Vec3d c = r.geometry.point;
        const double radius = r.geometry.radius;
        check(
            r, [&](const Vec3d& p) { return (p - c).norm() - radius; }, pts);
        EXPECT_NEAR(r.sigma, 0.01, 0.001);
    }
    {
        const std::vector<Vec3d> pts = cylinderPoints({}, 2000, 0.01, 12);
        const FitResult r = fit(FitShape::kCylinder, pts);
        const Vec3d p0 = r.geometry.point, d = r.geometry.direction;
        const double radius = r.geometry.radius;
        check(
            r, [&](const Vec3d& p) { return distanceToLine(p, p0, d) - radius; }, pts);
        // The cylinder's console line shows the same sigma as the statistics.
        EXPECT_NE(r.console.find(cmd::formatText("stdDev: %lf\n", r.sigma)), std::string::npos);
    }
    {  // the cone's deviation is a distance
        const std::vector<Vec3d> pts = conePoints({}, 500, 13);
        std::vector<Vec3d> noisy = pts;
        std::mt19937_64 rng(14);
        std::normal_distribution<double> g(0.0, 0.01);
        for (Vec3d& p : noisy)
            p = p + Vec3d(g(rng), g(rng), g(rng));
        const FitResult r = fit(FitShape::kCone, noisy);
        EXPECT_GE(r.mindev, 0.0);
        for (double dev : r.deviations)
            EXPECT_GE(dev, 0.0);
    }
}

TEST(FitCommandRun, ConeAngleIsPositiveWhenTheRadiusGrowsAlongTheDirection) {
    const ConeTruth c;
    const std::vector<Vec3d> pts = conePoints(c, 400, 21);
    for (double sign : {1.0, -1.0}) {
        FitOptions options;
        options.direction.give(sign * c.direction);
        const FitResult r = fit(FitShape::kCone, pts, options);
        EXPECT_LT((r.geometry.direction - sign * c.direction).norm(), 1e-8);
        EXPECT_NEAR(r.geometry.angle, sign * c.angle, 1e-9);
        EXPECT_NEAR(parameter(r, "angle").scalar, sign * c.angle, 1e-9);
        // The radius belongs to the plane across the axis through the reported point.
        const double h = c.direction.dot(r.geometry.point - c.point);
        EXPECT_NEAR(parameter(r, "radius").scalar, c.radius + h * std::tan(c.angle), 1e-8);
        EXPECT_GT(parameter(r, "radius").scalar, 0.0);
        const double degreesShown = sign * c.angle * 180.0 / kPi;
        EXPECT_NE(r.console.find(cmd::formatText("angle: %lf\n", degreesShown)), std::string::npos)
            << r.console;
    }
}

TEST(FitCommandRun, FixedGroupsStayFixedAndGivenValuesAreStarts) {
    {  // cylinder: fixed radius and fixed (slightly wrong) direction
        const CylinderTruth c;
        const std::vector<Vec3d> pts = cylinderPoints(c, 300, 0.005, 31);
        FitOptions options;
        options.radius.fix(3.9);
        const Vec3d tilted = c.direction + Vec3d(0.01, 0.0, 0.0);
        options.direction.fix(tilted);
        const FitResult r = fit(FitShape::kCylinder, pts, options);
        EXPECT_EQ(r.geometry.radius, 3.9);
        EXPECT_VEC_NEAR(r.geometry.direction, tilted.normalized(), 1e-15);
    }
    {  // sphere: fixed centre, free radius
        const SphereTruth s;
        const std::vector<Vec3d> pts = spherePoints(s, 300, 0.01, 32);
        FitOptions options;
        const Vec3d off = s.center + Vec3d(0.05, 0.0, 0.0);
        options.point.fix(off);
        const FitResult r = fit(FitShape::kSphere, pts, options);
        EXPECT_EQ(r.geometry.point, off);
        EXPECT_NEAR(r.geometry.radius, s.radius, 0.01);
    }
    {  // torus: fixed r2
        const Vec3d c(0, 0, 0), d(0, 0, 1);
        std::vector<Vec3d> pts;
        for (int i = 0; i < 30; ++i)
            for (int j = 0; j < 10; ++j) {
                const double th = 2 * kPi * i / 30.0, ph = 2 * kPi * j / 10.0 + 0.1;
                const double rr = 5.0 + 1.0 * std::cos(ph);
                pts.push_back(Vec3d(rr * std::cos(th), rr * std::sin(th), std::sin(ph)));
            }
        FitOptions options;
        options.radius2.fix(1.2);
        const FitResult r = fit(FitShape::kTorus, pts, options);
        EXPECT_EQ(r.geometry.radius2, 1.2);
        EXPECT_NEAR(r.geometry.radius, 5.0, 0.05);
    }
    {  // superellipse: fixed factor
        std::vector<Vec3d> pts;
        for (int i = 0; i < 100; ++i) {
            const double t = 2 * kPi * i / 100.0 + 0.02;
            const double ct = std::cos(t), st = std::sin(t);
            pts.push_back(Vec3d(5.0 * std::copysign(std::pow(std::abs(ct), 0.8), ct),
                                2.0 * std::copysign(std::pow(std::abs(st), 0.8), st), 1.0));
        }
        FitOptions options;
        options.factor.fix(0.8);
        const FitResult r = fit(FitShape::kSuperEllipse, pts, options);
        EXPECT_EQ(r.geometry.factor, 0.8);
        EXPECT_NEAR(r.geometry.radius, 5.0, 1e-8);
        EXPECT_NEAR(r.geometry.radius2, 2.0, 1e-8);
    }
    {  // given start values reach the same cylinder as the estimate
        const CylinderTruth c;
        const std::vector<Vec3d> pts = cylinderPoints(c, 300, 0.005, 33);
        const FitResult fromEstimate = fit(FitShape::kCylinder, pts);
        FitOptions options;
        options.point.give(c.point + Vec3d(0.2, -0.1, 0.1));
        options.direction.give(c.direction + Vec3d(0.05, 0.02, 0.0));
        options.radius.give(4.3);
        const FitResult fromGiven = fit(FitShape::kCylinder, pts, options);
        EXPECT_NEAR(fromGiven.geometry.radius, fromEstimate.geometry.radius, 1e-9);
        EXPECT_LT(lineAngle(fromGiven.geometry.direction, fromEstimate.geometry.direction), 1e-9);
        EXPECT_LT(distanceToLine(fromGiven.geometry.point, fromEstimate.geometry.point,
                                 fromEstimate.geometry.direction),
                  1e-8);
    }
}

TEST(FitCommandRun, IterationCapOfZeroIsReportedAndKeepsTheEstimate) {
    const std::vector<Vec3d> pts = spherePoints({}, 500, 0.02, 41);
    FitOptions options;
    options.maxIterations = 0;
    const FitResult r = fit(FitShape::kSphere, pts, options);
    EXPECT_EQ(r.iterations, 0u);
    EXPECT_TRUE(r.maxIterationsReached);
    // The estimate: the centroid and the root mean square distance from it.
    Vec3d c;
    for (const Vec3d& p : pts)
        c = c + p;
    c = c / static_cast<double>(pts.size());
    double sq = 0.0;
    for (const Vec3d& p : pts)
        sq += (p - c).squaredNorm();
    EXPECT_VEC_NEAR(r.geometry.point, c, 1e-12);
    EXPECT_NEAR(r.geometry.radius, std::sqrt(sq / pts.size()), 1e-12);
    EXPECT_EQ(cmd::kMaxIterationsReached, std::string("Max. number of iterations reached"));
    EXPECT_NE(r.statistics.find("\niterations: 0"), std::string::npos);
}

TEST(FitCommandRun, LinePrintsItsIterationsUnlessTheCapWasReached) {
    std::vector<Vec3d> pts;
    std::mt19937_64 rng(51);
    std::normal_distribution<double> g(0.0, 0.01);
    for (int i = 0; i < 100; ++i)
        pts.push_back(Vec3d(i * 0.1 + g(rng), 2.0 * i * 0.1 + g(rng), 1.0 + g(rng)));
    const FitResult free = fit(FitShape::kLine, pts);
    EXPECT_FALSE(free.maxIterationsReached);
    EXPECT_EQ(
        free.console.rfind(
            cmd::formatText("iterations: %zu\npt: ", static_cast<std::size_t>(free.iterations)), 0),
        0u)
        << free.console;
    FitOptions capped;
    capped.maxIterations = 0;
    const FitResult r = fit(FitShape::kLine, pts, capped);
    EXPECT_TRUE(r.maxIterationsReached);
    EXPECT_EQ(r.console.rfind("pt: ", 0), 0u) << r.console;
    EXPECT_EQ(r.console.find("iterations"), std::string::npos);
}

TEST(FitCommandRun, WeightingRemovesPlantedOutliers) {
    const SphereTruth s;
    // Clean: uniform radial noise, whose largest distance stays below mean + 3σ of the
    // distances (Gaussian noise would have a tail above it).
    std::vector<Vec3d> clean = spherePoints(s, 1000, 0.0, 61);
    std::mt19937_64 rng(62);
    std::uniform_real_distribution<double> noise(-0.001, 0.001);
    for (Vec3d& p : clean)
        p = s.center + (s.radius + noise(rng)) * (p - s.center).normalized();
    std::vector<Vec3d> dirty = clean;
    for (std::size_t i = 0; i < dirty.size(); i += 50)
        dirty[i] = s.center + 1.5 * (dirty[i] - s.center);  // 20 points far outside
    FitOptions weighted;
    weighted.weighting = true;
    const FitResult reference = fit(FitShape::kSphere, clean);
    const FitResult unweighted = fit(FitShape::kSphere, dirty);
    const FitResult r = fit(FitShape::kSphere, dirty, weighted);
    EXPECT_GT(std::abs(unweighted.geometry.radius - s.radius), 0.01);
    EXPECT_NEAR(r.geometry.radius, s.radius, 2e-4);
    EXPECT_VEC_NEAR(r.geometry.point, s.center, 2e-4);
    // The deviations still cover every point, outliers included.
    EXPECT_NEAR(r.maxdev, 0.5 * s.radius, 0.01);
    // Clean data come out the same with and without weighting.
    const FitResult cleanWeighted = fit(FitShape::kSphere, clean, weighted);
    EXPECT_NEAR(cleanWeighted.geometry.radius, reference.geometry.radius, 1e-9);
    EXPECT_VEC_NEAR(cleanWeighted.geometry.point, reference.geometry.point, 1e-9);
}

TEST(FitCommandRun, GaussNewtonAndLevenbergMarquardtAgreeOnNoisyData) {
    const std::vector<Vec3d> pts = cylinderPoints({}, 1000, 0.01, 71);
    FitOptions gn, lm;
    gn.method = alg3D::approximate::kGaussNewton;
    const FitResult a = fit(FitShape::kCylinder, pts, gn);
    const FitResult b = fit(FitShape::kCylinder, pts, lm);
    EXPECT_NEAR(a.geometry.radius, b.geometry.radius, 1e-8);
    EXPECT_LT(lineAngle(a.geometry.direction, b.geometry.direction), 1e-8);
    EXPECT_NEAR(a.sigma, b.sigma, 1e-10);
}

TEST(FitCommandRun, OneThreadGivesTheSameFit) {
    const std::vector<Vec3d> pts = spherePoints({}, 5000, 0.01, 81);
    FitOptions one;
    one.threads = 1;
    const FitResult a = fit(FitShape::kSphere, pts, one);
    const FitResult b = fit(FitShape::kSphere, pts);
    EXPECT_NEAR(a.geometry.radius, b.geometry.radius, 1e-10);
    EXPECT_VEC_NEAR(a.geometry.point, b.geometry.point, 1e-10);
    EXPECT_EQ(a.deviations.size(), b.deviations.size());
}

// The poll callback sees the record's progress; asking for an abort once the iteration
// has begun stops the run, and the command hands back nothing.
TEST(FitCommandRun, AbortThroughTheRunnerDropsTheResult) {
    const std::vector<Vec3d> pts = cylinderPoints({}, 200000, 0.05, 91);
    FitOptions options;
    options.maxIterations = 1000000;
    bool aborted = false;
    for (int attempt = 0; attempt < 3 && !aborted; ++attempt) {
        FitResult result;
        result.points = 777;
        bool asked = false;
        const JobStatus status = cmd::runFitCommand(
            FitShape::kCylinder, pts, options, result,
            [&](float percent) {
                EXPECT_GE(percent, 0.0f);
                EXPECT_LE(percent, 100.0f);
                // Progress above 0 means the run has reset the record and iterates.
                if (percent > 0.0f) asked = true;
                return asked;
            },
            std::chrono::milliseconds(1));
        if (!asked) {
            // The whole fit ended before the first poll saw it iterate; try again.
            EXPECT_EQ(status, JobStatus::kCompleted);
            continue;
        }
        EXPECT_EQ(status, JobStatus::kAborted);
        EXPECT_EQ(result.points, 777u);
        EXPECT_TRUE(result.deviations.empty());
        aborted = true;
    }
    EXPECT_TRUE(aborted) << "no attempt was polled while the fit iterated";
}

}  // namespace
