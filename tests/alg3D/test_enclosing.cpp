// Minimum enclosing and maximum inscribing spheres and cylinders: the smallest ball
// against brute force over all spheres through 2, 3 and 4 points, and the elements of
// samplings whose answer is known by construction.
#include <gtest/gtest.h>

#include <Eigen/Dense>

#include <atomic>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "FitTestUtils.h"
#include "TestHelpers.h"
#include "alg3D/approximate/InscribedEnclosure.h"
#include "alg3D/approximate/MinimumEnclosingSphere.h"
#include "alg3D/approximate/SolidElements.h"
#include "alg3D/matrix/Alg3dException.h"

namespace {

using alg3D::Matrix3x3d;
using alg3D::Vec3d;
using namespace alg3D::approximate;

constexpr double kPi = 3.141592653589793;

struct Ball {
    Vec3d c;
    double r = std::numeric_limits<double>::max();
};

// The smallest of the spheres through 2, 3 or 4 of the points (diametral, circumcircle
// in the plane of three, circumsphere of four) that contain all points.
Ball bruteForceBall(const std::vector<Vec3d>& p) {
    Ball best;
    const auto consider = [&](const Vec3d& c, double r) {
        if (!(r < best.r)) return;
        for (const Vec3d& q : p)
            if ((q - c).norm() > r * (1.0 + 1e-12)) return;
        best = {c, r};
    };
    const std::size_t n = p.size();
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = i + 1; j < n; ++j) {
            consider(0.5 * (p[i] + p[j]), 0.5 * (p[j] - p[i]).norm());
            for (std::size_t k = j + 1; k < n; ++k) {
                const Vec3d u = p[j] - p[i], v = p[k] - p[i], w = u.cross(v);
                const double w2 = w.squaredNorm();
                if (w2 > 1e-20) {
                    const Vec3d off =
                        (u.squaredNorm() * v.cross(w) + v.squaredNorm() * w.cross(u)) *
                        (1.0 / (2.0 * w2));
                    consider(p[i] + off, off.norm());
                }
                for (std::size_t l = k + 1; l < n; ++l) {
                    Eigen::Matrix3d a;
                    Eigen::Vector3d b;
                    const Vec3d* q[3] = {&p[j], &p[k], &p[l]};
                    for (int row = 0; row < 3; ++row) {
                        const Vec3d d = *q[row] - p[i];
                        a.row(row) << 2 * d.x, 2 * d.y, 2 * d.z;
                        b[row] = d.squaredNorm();
                    }
                    if (std::abs(a.determinant()) < 1e-12) continue;
                    const Eigen::Vector3d x = a.partialPivLu().solve(b);
                    const Vec3d off(x[0], x[1], x[2]);
                    consider(p[i] + off, off.norm());
                }
            }
        }
    return best;
}

TEST(MinimumEnclosingBall, MatchesBruteForceOnSmallSets) {
    auto rng = testing_helpers::seededRng(31);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (int trial = 0; trial < 40; ++trial) {
        SCOPED_TRACE(trial);
        const std::size_t n = 2 + static_cast<std::size_t>(trial % 10);
        const double scale = trial % 2 ? 0.01 : 50.0;
        std::vector<Vec3d> points;
        for (std::size_t i = 0; i < n; ++i)
            points.push_back(scale * Vec3d(u(rng) + 3.0, u(rng), trial % 4 == 3 ? 0.0 : u(rng)));
        const EnclosingBall ball = minimumEnclosingBall(points.data(), points.data() + n);
        const Ball truth = bruteForceBall(points);
        EXPECT_NEAR(std::sqrt(ball.squaredRadius), truth.r, 1e-9 * scale);
        EXPECT_VEC_NEAR(ball.center, truth.c, 1e-9 * scale);
    }
}

TEST(MinimumEnclosingBall, PointsOnASphereAndDegenerateSets) {
    auto rng = testing_helpers::seededRng(32);
    std::normal_distribution<double> g(0.0, 1.0);
    std::vector<Vec3d> points;
    const Vec3d centre(4.0, -1.0, 2.0);
    for (int i = 0; i < 5000; ++i)
        points.push_back(centre + 2.5 * Vec3d(g(rng), g(rng), g(rng)).normalized());
    const EnclosingBall ball = minimumEnclosingBall(points.data(), points.data() + points.size());
    EXPECT_NEAR(std::sqrt(ball.squaredRadius), 2.5, 1e-3);  // a sampled sphere
    for (const Vec3d& p : points)
        EXPECT_LE((p - ball.center).norm(), std::sqrt(ball.squaredRadius) * (1.0 + 1e-12));
    const std::vector<Vec3d> same(20, Vec3d(1.0, 2.0, 3.0));
    const EnclosingBall one = minimumEnclosingBall(same.data(), same.data() + same.size());
    EXPECT_EQ(one.squaredRadius, 0.0);
    EXPECT_VEC_NEAR(one.center, same[0], 0.0);
    const EnclosingBall none = minimumEnclosingBall(nullptr, nullptr);
    EXPECT_EQ(none.squaredRadius, 0.0);
}

TEST(EnclosingSphere, FitObjectTakesCentreAndRadius) {
    std::vector<Vec3d> points;
    for (int a = 0; a < 3; ++a)
        for (const double s : {-1.0, 1.0}) {
            Vec3d d(1.0, 1.0, 1.0);
            d[static_cast<std::size_t>(a)] += 2.0 * s;
            points.push_back(d);
        }
    points.emplace_back(1.2, 0.9, 1.1);
    FitObjSphere sphere;
    std::atomic<bool> abort{false};
    std::atomic<float> progress{0.0f};
    minimumEnclosingSphere(points.data(), points.data() + points.size(), sphere, 100, abort,
                           progress);
    EXPECT_NEAR(sphere.radius, 2.0, 1e-12);
    EXPECT_VEC_NEAR(sphere.center, Vec3d(1.0, 1.0, 1.0), 1e-12);
    EXPECT_THROW(
        minimumEnclosingSphere(points.data(), points.data() + 3, sphere, 100, abort, progress),
        alg3D::Alg3dException);
}

TEST(InscribingSphere, CubeCornerAndFaceSamplingGivesTheInscribedBall) {
    // Corners, edges and faces of the cube [1, 3]³ on a 7 x 7 grid per face.
    std::vector<Vec3d> points;
    for (int i = 0; i <= 6; ++i)
        for (int j = 0; j <= 6; ++j)
            for (int k = 0; k <= 6; ++k)
                if (i == 0 || i == 6 || j == 0 || j == 6 || k == 0 || k == 6)
                    points.emplace_back(1.0 + i / 3.0, 1.0 + j / 3.0, 1.0 + k / 3.0);
    FitObjSphere sphere;
    std::atomic<bool> abort{false};
    std::atomic<float> progress{0.0f};
    maximumInscribingSphere(points.data(), points.data() + points.size(), sphere, 100, abort,
                            progress);
    EXPECT_VEC_NEAR(sphere.center, Vec3d(2.0, 2.0, 2.0), 1e-9);
    EXPECT_NEAR(sphere.radius, 1.0, 1e-9);
}

TEST(InscribingSphere, OffCentreStartMovesAwayFromTheNearestPoints) {
    // A sphere sampling plus a cluster that pulls the enclosing centre aside: the
    // inscribed ball is centred in the sphere again.
    auto rng = testing_helpers::seededRng(33);
    std::normal_distribution<double> g(0.0, 1.0);
    std::vector<Vec3d> points;
    for (int i = 0; i < 3000; ++i)
        points.push_back(Vec3d(g(rng), g(rng), g(rng)).normalized());
    for (int i = 0; i < 20; ++i)
        points.push_back(Vec3d(1.6, 0.0, 0.0) + 0.01 * Vec3d(g(rng), g(rng), g(rng)));
    FitObjSphere sphere;
    std::atomic<bool> abort{false};
    std::atomic<float> progress{0.0f};
    maximumInscribingSphere(points.data(), points.data() + points.size(), sphere, 100, abort,
                            progress);
    double nearest = std::numeric_limits<double>::max();
    for (const Vec3d& p : points)
        nearest = std::min(nearest, (p - sphere.center).norm());
    EXPECT_EQ(sphere.radius, nearest);  // touches the nearest point
    EXPECT_NEAR(sphere.center.norm(), 0.0, 0.02);
    EXPECT_GT(sphere.radius, 0.98);
}

std::vector<Vec3d> cylinderPoints(const Matrix3x3d& rot, const Vec3d& base, double r, double noise,
                                  std::size_t n, std::uint64_t seed) {
    auto rng = testing_helpers::seededRng(seed);
    std::uniform_real_distribution<double> t(0.0, 2.0 * kPi), h(-4.0, 4.0), e(-noise, noise);
    std::vector<Vec3d> points;
    for (std::size_t i = 0; i < n; ++i) {
        const double a = t(rng), radius = r + e(rng);
        points.push_back(base + (rot * Vec3d(radius * std::cos(a), radius * std::sin(a), h(rng))));
    }
    return points;
}

TEST(EnclosingCylinder, PointsOnACylinderGiveItsRadius) {
    auto rng = testing_helpers::seededRng(34);
    const Matrix3x3d rot = fit_test::randomRotation(rng);
    const Vec3d base(20.0, -3.0, 5.0);
    const std::vector<Vec3d> points = cylinderPoints(rot, base, 1.5, 0.0, 1500, 35);
    FitObjCylinder cylinder;
    std::atomic<bool> abort{false};
    std::atomic<float> progress{0.0f};
    minimumEnclosingCylinder(points.data(), points.data() + points.size(), cylinder, 100, abort,
                             progress);
    EXPECT_NEAR(cylinder.radius, 1.5, 1e-9);
    EXPECT_NEAR(std::abs(cylinder.direction.dot((rot * Vec3d(0, 0, 1)))), 1.0, 1e-12);
    for (const Vec3d& p : points)
        EXPECT_LE(fit_test::distanceToLine(p, cylinder.point, cylinder.direction),
                  cylinder.radius * (1.0 + 1e-12));
    // Collinear points have no hull: the enclosing cylinder fails.
    std::vector<Vec3d> line;
    for (int i = 0; i < 10; ++i)
        line.emplace_back(i, i, i);
    EXPECT_THROW(minimumEnclosingCylinder(line.data(), line.data() + line.size(), cylinder, 100,
                                          abort, progress),
                 alg3D::Alg3dException);
}

TEST(InscribingCylinder, NoisyCylinderTouchesTheNearestPoint) {
    auto rng = testing_helpers::seededRng(36);
    const Matrix3x3d rot = fit_test::randomRotation(rng);
    const Vec3d base(-5.0, 8.0, 1.0);
    const double r = 2.0, noise = 0.02;
    const std::vector<Vec3d> points = cylinderPoints(rot, base, r, noise, 3000, 37);
    FitObjCylinder cylinder;
    std::atomic<bool> abort{false};
    std::atomic<float> progress{0.0f};
    maximumInscribingCylinder(points.data(), points.data() + points.size(), cylinder, 100, abort,
                              progress);
    const auto nearestFor = [&](const Vec3d& p, const Vec3d& d) {
        double m = std::numeric_limits<double>::max();
        for (const Vec3d& q : points)
            m = std::min(m, fit_test::distanceToLine(q, p, d));
        return m;
    };
    EXPECT_NEAR(cylinder.radius, nearestFor(cylinder.point, cylinder.direction), 1e-12);
    EXPECT_GE(cylinder.radius, r - noise);
    EXPECT_LE(cylinder.radius, r);
    EXPECT_NEAR(std::abs(cylinder.direction.dot((rot * Vec3d(0, 0, 1)))), 1.0, 1e-4);
    // A local maximum: small moves of the axis do not widen the empty cylinder.
    const Vec3d u = (rot * Vec3d(1, 0, 0)), v = (rot * Vec3d(0, 1, 0));
    for (const Vec3d& move : {1e-4 * u, -1e-4 * u, 1e-4 * v, -1e-4 * v}) {
        EXPECT_LE(nearestFor(cylinder.point + move, cylinder.direction), cylinder.radius + 1e-9);
    }
}

TEST(SolidElementsAbort, AnAbortBeforeTheStartLeavesTheSphereUnchanged) {
    auto rng = testing_helpers::seededRng(38);
    std::normal_distribution<double> g(0.0, 1.0);
    std::vector<Vec3d> points;
    for (int i = 0; i < 500; ++i)
        points.push_back(Vec3d(1, 2, 3) + 4.0 * Vec3d(g(rng), g(rng), g(rng)).normalized());
    std::atomic<bool> abort{true};
    std::atomic<float> progress{0.0f};
    const EnclosingBall cut =
        minimumEnclosingBall(points.data(), points.data() + points.size(), 100, &abort);
    EXPECT_TRUE(cut.aborted);
    EXPECT_FALSE(minimumEnclosingBall(points.data(), points.data() + points.size()).aborted);

    FitObjSphere given;
    given.setCenter(Vec3d(-1.0, 0.5, 2.0), Given);
    given.setRadius(7.0, Given);
    FitObjSphere sphere = given;
    EXPECT_EQ(minimumEnclosingSphere(points.data(), points.data() + points.size(), sphere, 100,
                                     abort, progress),
              0u);
    EXPECT_EQ(sphere.center, given.center);
    EXPECT_EQ(sphere.radius, given.radius);
    EXPECT_EQ(progress.load(), 100.0f);
    progress = 0.0f;
    EXPECT_EQ(maximumInscribingSphere(points.data(), points.data() + points.size(), sphere, 100,
                                      abort, progress),
              0u);
    EXPECT_EQ(sphere.center, given.center);
    EXPECT_EQ(sphere.radius, given.radius);
    EXPECT_EQ(progress.load(), 100.0f);

    // Without the abort both report their end.
    abort = false;
    progress = 0.0f;
    minimumEnclosingSphere(points.data(), points.data() + points.size(), sphere, 100, abort,
                           progress);
    EXPECT_EQ(progress.load(), 100.0f);
    EXPECT_NEAR(sphere.radius, 4.0, 1e-2);
}

TEST(SolidElementsAbort, AnAbortedCylinderStillEnclosesOrInscribesThePoints) {
    auto rng = testing_helpers::seededRng(39);
    const Matrix3x3d rot = fit_test::randomRotation(rng);
    const std::vector<Vec3d> points = cylinderPoints(rot, Vec3d(2, 3, 4), 2.0, 0.01, 800, 40);
    const auto distances = [&](const FitObjCylinder& c, double& lo, double& hi) {
        lo = std::numeric_limits<double>::max();
        hi = 0.0;
        for (const Vec3d& p : points) {
            const double d = fit_test::distanceToLine(p, c.point, c.direction);
            lo = std::min(lo, d);
            hi = std::max(hi, d);
        }
    };
    std::atomic<bool> abort{true};
    std::atomic<float> progress{0.0f};
    FitObjCylinder enclosing;
    EXPECT_EQ(minimumEnclosingCylinder(points.data(), points.data() + points.size(), enclosing, 100,
                                       abort, progress),
              0u);
    EXPECT_EQ(progress.load(), 100.0f);
    double lo = 0.0, hi = 0.0;
    distances(enclosing, lo, hi);
    // The radius belongs to the axis it was cut short with.
    EXPECT_NEAR(enclosing.radius, hi, 1e-12 * hi);

    progress = 0.0f;
    FitObjCylinder inscribing;
    EXPECT_EQ(maximumInscribingCylinder(points.data(), points.data() + points.size(), inscribing,
                                        100, abort, progress),
              0u);
    EXPECT_EQ(progress.load(), 100.0f);
    distances(inscribing, lo, hi);
    EXPECT_NEAR(inscribing.radius, lo, 1e-12 * lo);
}

}  // namespace

// Open point sets: a cap of a sphere and a sector of a cylinder surround no element, so the
// inscribing runs fail instead of returning a radius; closed samplings keep their answer.
std::vector<Vec3d> sphereCap(double radius, double halfAngle, std::size_t n, std::uint64_t seed) {
    auto rng = testing_helpers::seededRng(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::vector<Vec3d> points;
    for (std::size_t i = 0; i < n; ++i) {
        // Uniform on the cap: cos(polar angle) uniform in [cos(halfAngle), 1].
        const double c = 1.0 - u(rng) * (1.0 - std::cos(halfAngle)), s = std::sqrt(1.0 - c * c);
        const double a = 2.0 * kPi * u(rng);
        points.push_back(Vec3d(3.0, -1.0, 2.0) +
                         radius * Vec3d(s * std::cos(a), s * std::sin(a), c));
    }
    return points;
}

TEST(InscribingElementsOnOpenSets, ACapOrASectorFailsWithTheEnclosureText) {
    std::atomic<bool> abort{false};
    std::atomic<float> progress{0.0f};
    const std::vector<Vec3d> cap = sphereCap(10.0, kPi / 3.0, 400, 41);
    FitObjSphere sphere;
    sphere.radius = -7.0;
    try {
        maximumInscribingSphere(cap.data(), cap.data() + cap.size(), sphere, 100, abort, progress);
        ADD_FAILURE() << "radius " << sphere.radius;
    } catch (const alg3D::Alg3dException& e) {
        EXPECT_STREQ(e.what(), "ALG3D::The points do not enclose an inscribed element.\n");
    }
    EXPECT_EQ(sphere.radius, -7.0);  // left as it was

    auto rng = testing_helpers::seededRng(42);
    const Matrix3x3d rot = fit_test::randomRotation(rng);
    std::vector<Vec3d> sector;
    for (const Vec3d& p : cylinderPoints(Matrix3x3d::identity(), Vec3d(), 3.0, 0.0, 2000, 43))
        if (std::atan2(p.y, p.x) > 0.0 && std::atan2(p.y, p.x) < 0.6 * kPi)  // 108 degrees
            sector.push_back(Vec3d(1.0, 2.0, 3.0) + rot * p);
    FitObjCylinder cylinder;
    EXPECT_THROW(maximumInscribingCylinder(sector.data(), sector.data() + sector.size(), cylinder,
                                           100, abort, progress),
                 alg3D::Alg3dException);
}

TEST(InscribingElementsOnOpenSets, FullSphereAndCylinderKeepTheirRadius) {
    std::atomic<bool> abort{false};
    std::atomic<float> progress{0.0f};
    const std::vector<Vec3d> shell = sphereCap(10.0, kPi, 2000, 44);
    FitObjSphere sphere;
    maximumInscribingSphere(shell.data(), shell.data() + shell.size(), sphere, 100, abort,
                            progress);
    EXPECT_NEAR(sphere.radius, 10.0, 1e-9);
    EXPECT_VEC_NEAR(sphere.center, Vec3d(3.0, -1.0, 2.0), 1e-9);

    auto rng = testing_helpers::seededRng(45);
    const Matrix3x3d rot = fit_test::randomRotation(rng);
    const std::vector<Vec3d> tube = cylinderPoints(rot, Vec3d(4.0, 5.0, -6.0), 2.5, 0.0, 2000, 46);
    FitObjCylinder cylinder;
    maximumInscribingCylinder(tube.data(), tube.data() + tube.size(), cylinder, 100, abort,
                              progress);
    EXPECT_NEAR(cylinder.radius, 2.5, 1e-9);
    EXPECT_NEAR(fit_test::distanceToLine(Vec3d(4.0, 5.0, -6.0), cylinder.point, cylinder.direction),
                0.0, 1e-9);
}

// The enclosure tests against their definition on small sets.
TEST(InscribedEnclosure, CentreAndAxisInsideOrOutside) {
    const std::vector<Vec3d> tetra = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    const auto inside = [&](const Vec3d& c) {
        return enclosesCentre(tetra.data(), tetra.data() + tetra.size(), c);
    };
    EXPECT_TRUE(inside(Vec3d(0.2, 0.2, 0.2)));
    EXPECT_FALSE(inside(Vec3d(0.5, 0.5, 0.5)));  // beyond the slanted face
    EXPECT_FALSE(inside(Vec3d(0.2, 0.2, 0.0)));  // on a face
    const std::vector<Vec3d> flat = {{0, 0, 0}, {2, 0, 0}, {0, 2, 0}, {2, 2, 0}};
    EXPECT_FALSE(enclosesCentre(flat.data(), flat.data() + flat.size(), Vec3d(1, 1, 0)));

    // Three points around the z axis at 0, 120 and 240 degrees, then at 0, 90, 180.
    const auto around = [](std::initializer_list<double> degrees) {
        std::vector<Vec3d> p;
        for (double d : degrees)
            p.emplace_back(std::cos(d * kPi / 180.0), std::sin(d * kPi / 180.0), d / 100.0);
        return p;
    };
    const Vec3d z(0.0, 0.0, 2.0);
    const auto triangle = around({0.0, 120.0, 240.0}), half = around({0.0, 90.0, 180.0});
    EXPECT_TRUE(enclosesAxis(triangle.data(), triangle.data() + 3, Vec3d(), z));
    EXPECT_FALSE(enclosesAxis(triangle.data(), triangle.data() + 3, Vec3d(1.2, 0.0, 0.0), z));
    EXPECT_FALSE(enclosesAxis(half.data(), half.data() + 3, Vec3d(), z));
    EXPECT_TRUE(enclosesAxis(half.data(), half.data() + 3, Vec3d(0.0, 0.1, 0.0), z));
}
