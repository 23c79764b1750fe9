// ICP registration against known transforms: point and mesh references, freedom masks,
// the Chebyshev refinement, the edge cases and result codes, the texts.
#include <gtest/gtest.h>

#include <Eigen/Dense>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <thread>
#include <utility>
#include <vector>

#include "RegistrationTestUtils.h"
#include "TestHelpers.h"
#include "alg3D/algorithm/Distances.h"
#include "alg3D/algorithm/IcpRegistration.h"
#include "alg3D/algorithm/KdTree.h"
#include "alg3D/matrix/Alg3dException.h"
#include "alg3D/matrix/PointStatistics.h"

using namespace alg3D;
using namespace alg3D::algorithm;

namespace {

constexpr double kSize = 10.0;  // extent of the test clouds

using registration_test::axisAngle;
using registration_test::rotationDifference;

// Anisotropic clusters around irregular centres about 10 apart: every rigid motion
// shows, and nearest points find their own cluster from 30 degrees away.
std::vector<Vec3d> blob(std::size_t n, std::uint64_t seed) {
    auto rng = testing_helpers::seededRng(seed);
    std::normal_distribution<double> g(0.0, 1.0);
    const Vec3d centres[] = {{0, 0, 0}, {9, 1, 0}, {2, 8, 1}, {1, 2, 7}, {8, 7, 5}, {-6, 3, -2}};
    std::vector<Vec3d> p(n);
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t c = i % 6;
        const double x = (0.4 + 0.1 * c) * g(rng), y = 0.3 * g(rng), z = 0.15 * g(rng);
        p[i] = centres[c] + Vec3d(x + 0.2 * y * y, y + 0.1 * x * z, z + 0.05 * x * x) -
               Vec3d(2.0, 3.0, 1.5);
    }
    return p;
}

// Data whose registration onto ref is T: data = T⁻¹(ref).
std::vector<Vec3d> moved(const std::vector<Vec3d>& ref, const IcpTransform& T) {
    std::vector<Vec3d> d;
    for (const Vec3d& r : ref)
        d.push_back(T.rotation.transposed() * (r - T.translation) / T.scale);
    return d;
}

struct IcpRun {
    int code;
    IcpTransform t;
    IcpStatistics stats;
    std::uint64_t iterations;
};

IcpRun gauss(const std::vector<Vec3d>& data, const std::vector<Vec3d>& ref, unsigned freedom,
             int samples = 0, double radius = 0.0, std::uint64_t maxIt = 200, double tol = 0.0) {
    KdTree<Vec3d> tree;
    tree.build(ref.data(), ref.data() + ref.size());
    IcpState state;
    state.freedom = freedom;
    const int code = registerGauss(state, data.data(), data.data() + data.size(), samples, radius,
                                   maxIt, tol, icpNearestPoint(tree));
    return {code, state.transform(), state.stats, state.iterations};
}

void expectTransform(const IcpTransform& got, const IcpTransform& truth) {
    EXPECT_LT(rotationDifference(got.rotation, truth.rotation), 1e-6);
    EXPECT_VEC_NEAR(got.translation, truth.translation, 1e-6 * kSize);
    EXPECT_NEAR(got.scale, truth.scale, 1e-6);
}

TEST(IcpGauss, RecoversRandomRigidTransforms) {
    const std::vector<Vec3d> ref = blob(2000, 1);
    auto rng = testing_helpers::seededRng(2);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (int trial = 0; trial < 4; ++trial) {
        IcpTransform truth;
        const double angle = (5.0 + 25.0 * std::abs(u(rng))) * 3.14159265358979 / 180.0;
        truth.rotation = axisAngle(Vec3d(u(rng), u(rng), u(rng)), angle);
        truth.translation = Vec3d(u(rng), u(rng), u(rng)) * (0.2 * kSize / std::sqrt(3.0));
        const IcpRun r = gauss(moved(ref, truth), ref, kIcpRigid);
        SCOPED_TRACE(trial);
        EXPECT_LE(r.code, kIcpBelowTolerance);
        expectTransform(r.t, truth);
        EXPECT_EQ(r.t.scale, 1.0);
        EXPECT_LT(r.stats.maxDev, 1e-9);
    }
}

TEST(IcpGauss, FreedomMasksKeepMaskedComponents) {
    const std::vector<Vec3d> ref = blob(1500, 3);
    struct Case {
        unsigned freedom;
        Matrix3x3d R;
        Vec3d t;
        double s;
    };
    const double deg = 3.14159265358979 / 180.0;
    const Case cases[] = {
        {kIcpRotations, axisAngle(Vec3d(1, 2, 3), 20 * deg), Vec3d(), 1.0},
        {kIcpTranslations, Matrix3x3d(), Vec3d(1.5, -0.7, 0.4), 1.0},
        {kIcpRz, axisAngle(Vec3d(0, 0, 1), 25 * deg), Vec3d(), 1.0},
        {kIcpRx, axisAngle(Vec3d(1, 0, 0), -15 * deg), Vec3d(), 1.0},
        {kIcpRy, axisAngle(Vec3d(0, 1, 0), 18 * deg), Vec3d(), 1.0},
        {kIcpTx, Matrix3x3d(), Vec3d(-0.9, 0, 0), 1.0},
        {kIcpTy, Matrix3x3d(), Vec3d(0, 1.2, 0), 1.0},
        {kIcpTz, Matrix3x3d(), Vec3d(0, 0, 0.7), 1.0},
        {kIcpRz | kIcpTx | kIcpTy, axisAngle(Vec3d(0, 0, 1), -22 * deg), Vec3d(0.6, -0.8, 0), 1.0},
        {kIcpRigid | kIcpScale, axisAngle(Vec3d(-1, 1, 2), 12 * deg), Vec3d(0.5, 0.3, -1), 1.08},
        {kIcpTranslations | kIcpScale, Matrix3x3d(), Vec3d(0.2, 0.1, 0.3), 0.95},
        {kIcpScale, Matrix3x3d(), Vec3d(), 1.04},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.freedom);
        IcpTransform truth;
        truth.rotation = c.R;
        truth.translation = c.t;
        truth.scale = c.s;
        const IcpRun r = gauss(moved(ref, truth), ref, c.freedom);
        EXPECT_LE(r.code, kIcpBelowTolerance);
        expectTransform(r.t, truth);
        if (!(c.freedom & kIcpRotations)) {
            EXPECT_EQ(r.t.rotation, Matrix3x3d());
        }
        if (!(c.freedom & kIcpTx)) {
            EXPECT_EQ(r.t.translation.x, 0.0);
        }
        if (!(c.freedom & kIcpTy)) {
            EXPECT_EQ(r.t.translation.y, 0.0);
        }
        if (!(c.freedom & kIcpTz)) {
            EXPECT_EQ(r.t.translation.z, 0.0);
        }
        if (!(c.freedom & kIcpScale)) {
            EXPECT_EQ(r.t.scale, 1.0);
        }
        // A single rotation axis: the rotation leaves that axis exactly where it was.
        for (std::size_t axis = 0; axis < 3; ++axis) {
            if ((c.freedom & kIcpRotations) != (1u << axis)) continue;
            for (std::size_t k = 0; k < 3; ++k) {
                if (k == axis) continue;
                EXPECT_EQ(r.t.rotation(axis, k), 0.0) << axis << k;
                EXPECT_EQ(r.t.rotation(k, axis), 0.0) << k << axis;
            }
            EXPECT_NEAR(r.t.rotation(axis, axis), 1.0, 1e-13);  // rounding of the products
        }
    }
}

TEST(IcpGauss, NoiseSamplingAndPartialOverlap) {
    const std::vector<Vec3d> ref = blob(4000, 4);
    IcpTransform truth;
    truth.rotation = axisAngle(Vec3d(0.3, -1, 0.5), 0.35);
    truth.translation = Vec3d(0.8, -0.4, 0.6);
    // Noise: the result is close to the truth, not exact.
    std::vector<Vec3d> noisy = moved(ref, truth);
    auto rng = testing_helpers::seededRng(5);
    std::normal_distribution<double> g(0.0, 0.005);
    for (Vec3d& p : noisy)
        p += Vec3d(g(rng), g(rng), g(rng));
    IcpRun r = gauss(noisy, ref, kIcpRigid, 0);
    EXPECT_LT(rotationDifference(r.t.rotation, truth.rotation), 2e-3);
    EXPECT_VEC_NEAR(r.t.translation, truth.translation, 5e-3);
    // Sampled (500 of 4000) on exact data.
    r = gauss(moved(ref, truth), ref, kIcpRigid, 500);
    EXPECT_EQ(r.stats.pairs, 500u);
    expectTransform(r.t, truth);
    // Partial overlap: the data cover part of the reference only.
    std::vector<Vec3d> part;
    for (const Vec3d& p : ref)
        if (p.x < 1.5) part.push_back(p);
    ASSERT_LT(part.size(), ref.size() * 8 / 10);
    r = gauss(moved(part, truth), ref, kIcpRigid);
    expectTransform(r.t, truth);
}

TEST(IcpGauss, EdgeCasesAndCodes) {
    const std::vector<Vec3d> ref = blob(600, 6);
    // Identical data: first statistics 0, converged in the first iteration.
    IcpRun r = gauss(ref, ref, kIcpRigid, 0, 0.0, 1);
    EXPECT_EQ(r.stats.maxDev, 0.0);
    r = gauss(ref, ref, kIcpRigid);
    EXPECT_EQ(r.code, kIcpConverged);
    EXPECT_EQ(r.iterations, 2u);
    IcpTransform truth;
    truth.translation = Vec3d(0.3, 0.2, 0.1);
    const std::vector<Vec3d> data = moved(ref, truth);
    // Empty freedom: at once, nothing moves.
    r = gauss(data, ref, 0);
    EXPECT_EQ(r.code, kIcpConverged);
    EXPECT_EQ(r.t.translation, Vec3d());
    // Too few points.
    EXPECT_EQ(gauss(std::vector<Vec3d>(data.begin(), data.begin() + 2), ref, kIcpRigid).code,
              kIcpTooFewPoints);
    // Samples beyond the cloud = all points; 1 or 2 = 3.
    r = gauss(data, ref, kIcpRigid, 100000);
    expectTransform(r.t, truth);
    for (int s : {1, 2}) {
        KdTree<Vec3d> tree;
        tree.build(ref.data(), ref.data() + ref.size());
        IcpState state;
        registerGauss(state, data.data(), data.data() + data.size(), s, 0.0, 1, 0.0,
                      icpNearestPoint(tree));
        EXPECT_GE(state.stats.pairs, 3u);
        EXPECT_LT(state.stats.pairs, 10u);
    }
    // A radius too small for the wanted pairs: code 3 before any iteration, transform kept.
    r = gauss(data, ref, kIcpRigid, 0, 1e-3);
    EXPECT_EQ(r.code, kIcpTooFewPoints);
    EXPECT_EQ(r.t.translation, Vec3d());
    // The mean falls below a coarse tolerance (twice the first mean) while it still
    // changes by more than a tenth of it: code 1 after the first iteration.
    IcpTransform small;
    small.translation = Vec3d(0.004, -0.003, 0.005);
    const std::vector<Vec3d> near = moved(ref, small);
    const double firstMean = gauss(near, ref, kIcpRigid, 0, 0.0, 1).stats.meanDev;
    EXPECT_NEAR(firstMean, small.translation.norm(), 1e-12);  // every partner the true one
    r = gauss(near, ref, kIcpRigid, 0, 0.0, 100, 2.0 * firstMean);
    EXPECT_EQ(r.code, kIcpBelowTolerance);
    EXPECT_EQ(r.iterations, 2u);
    expectTransform(r.t, small);
    // Iteration limit.
    IcpTransform far;
    far.rotation = axisAngle(Vec3d(1, 1, 0), 0.4);
    r = gauss(moved(ref, far), ref, kIcpRigid, 0, 0.0, 3);
    EXPECT_EQ(r.code, kIcpIterationLimit);
    EXPECT_EQ(r.iterations, 3u);
}

TEST(IcpGauss, CentreAlignmentIsTheStart) {
    const std::vector<Vec3d> ref = blob(800, 7);
    IcpTransform truth;
    truth.rotation = axisAngle(Vec3d(0, 0, 1), 0.2);
    truth.translation = Vec3d(30.0, -20.0, 5.0);  // far away: found through the alignment
    const std::vector<Vec3d> data = moved(ref, truth);
    KdTree<Vec3d> tree;
    tree.build(ref.data(), ref.data() + ref.size());
    IcpState state;
    alignCenters(state, data.data(), data.data() + data.size(),
                 centroid(ref.data(), ref.data() + ref.size()));
    const Vec3d aligned = centroid(ref.data(), ref.data() + ref.size()) -
                          centroid(data.data(), data.data() + data.size());
    EXPECT_VEC_NEAR(state.transform().translation, aligned, 1e-12);
    EXPECT_TRUE(state.hasInitialTransform);
    // A radius too small for the turned data: code 3, the alignment stays.
    EXPECT_EQ(registerGauss(state, data.data(), data.data() + data.size(), 0, 1e-3, 100, 0.0,
                            icpNearestPoint(tree)),
              kIcpTooFewPoints);
    EXPECT_VEC_NEAR(state.transform().translation, aligned, 1e-12);
    EXPECT_LE(registerGauss(state, data.data(), data.data() + data.size(), 0, 0.0, 100, 0.0,
                            icpNearestPoint(tree)),
              kIcpBelowTolerance);
    expectTransform(state.transform(), truth);
}

// Height field z = f(x, y) over [-5, 5]², triangulated.
std::vector<Vec3d> surfaceMesh(int cells) {
    auto f = [](double x, double y) {
        return 0.8 * std::sin(0.6 * x) + 0.5 * std::cos(0.9 * y + 0.3 * x) + 0.04 * x * y;
    };
    std::vector<Vec3d> tris;
    const double h = 10.0 / cells;
    for (int i = 0; i < cells; ++i) {
        for (int j = 0; j < cells; ++j) {
            const double x0 = -5 + i * h, y0 = -5 + j * h, x1 = x0 + h, y1 = y0 + h;
            const Vec3d a(x0, y0, f(x0, y0)), b(x1, y0, f(x1, y0)), c(x1, y1, f(x1, y1)),
                d(x0, y1, f(x0, y1));
            for (const Vec3d& p : {a, b, c, a, c, d})
                tris.push_back(p);
        }
    }
    return tris;
}

std::vector<Vec3d> sampleMesh(const std::vector<Vec3d>& tris, std::size_t n, std::uint64_t seed) {
    auto rng = testing_helpers::seededRng(seed);
    std::uniform_int_distribution<std::size_t> pick(0, tris.size() / 3 - 1);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::vector<Vec3d> p;
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t t = 3 * pick(rng);
        double a = u(rng), b = u(rng);
        if (a + b > 1) a = 1 - a, b = 1 - b;
        p.push_back(tris[t] + (tris[t + 1] - tris[t]) * a + (tris[t + 2] - tris[t]) * b);
    }
    return p;
}

// A triangle tree over a mesh that owns its corners and proxies.
struct MeshTree {
    std::vector<Vec3d> corners;
    std::vector<KdTriangleProxy<Vec3d>> proxies;
    KdTree<KdTriangleProxy<Vec3d>> tree;
    explicit MeshTree(std::vector<Vec3d> c) : corners(std::move(c)) {
        proxies = makeTriangleProxies(corners);
        tree.build(proxies.data(), proxies.data() + proxies.size());
    }
};

TEST(IcpGaussMesh, SurfaceSamplesReachTheMesh) {
    // 512 triangles and about 300 points: small enough for the sanitizer build.
    const std::vector<Vec3d> mesh = surfaceMesh(16);
    const std::vector<KdTriangleProxy<Vec3d>> proxies = makeTriangleProxies(mesh);
    KdTree<KdTriangleProxy<Vec3d>> tree;
    tree.build(proxies.data(), proxies.data() + proxies.size());
    std::vector<Vec3d> onSurface = sampleMesh(mesh, 600, 8);
    std::vector<Vec3d> inner;  // away from the border, so that every point has its place
    for (const Vec3d& p : onSurface)
        if (std::abs(p.x) < 3.5 && std::abs(p.y) < 3.5) inner.push_back(p);
    IcpTransform truth;
    truth.rotation = axisAngle(Vec3d(0.2, 0.4, 1.0), 0.12);
    truth.translation = Vec3d(0.3, -0.2, 0.15);
    const std::vector<Vec3d> data = moved(inner, truth);
    IcpState state;
    const int code = registerGaussMesh(state, data.data(), data.data() + data.size(), 0, 0.0, 200,
                                       0.0, icpNearestOnMesh(tree));
    EXPECT_LE(code, kIcpBelowTolerance);
    // RMSE over all points under the final transform.
    const IcpTransform t = state.transform();
    double sum = 0.0;
    for (const Vec3d& p : data) {
        Vec3d c;
        bool front;
        ASSERT_TRUE(tree.findClosestOnMesh(t.apply(p), 0.0, c, front));
        sum += (t.apply(p) - c).squaredNorm();
    }
    EXPECT_LT(std::sqrt(sum / static_cast<double>(data.size())), 1e-6 * kSize);
}

TEST(IcpGaussMesh, EdgeCasesAndCodes) {
    const MeshTree m(surfaceMesh(8));
    // The corners themselves lie on the mesh: converged at the start.
    std::vector<Vec3d> corners;
    for (std::size_t i = 0; i < m.corners.size(); i += 7)
        corners.push_back(m.corners[i]);
    IcpState state;
    EXPECT_EQ(registerGaussMesh(state, corners.data(), corners.data() + corners.size(), 0, 0.0, 100,
                                0.0, icpNearestOnMesh(m.tree)),
              kIcpConverged);
    EXPECT_EQ(state.stats.maxDev, 0.0);
    EXPECT_EQ(state.iterations, 1u);
    EXPECT_EQ(state.progress.load(), 100.0f);
    // Lifted off the mesh: an empty freedom moves nothing, a small radius finds too few.
    std::vector<Vec3d> lifted = corners;
    for (Vec3d& p : lifted)
        p.z += 0.5;
    state.freedom = 0;
    EXPECT_EQ(registerGaussMesh(state, lifted.data(), lifted.data() + lifted.size(), 0, 0.0, 100,
                                0.0, icpNearestOnMesh(m.tree)),
              kIcpConverged);
    EXPECT_EQ(state.transform().translation, Vec3d());
    state.freedom = kIcpRigid;
    EXPECT_EQ(registerGaussMesh(state, lifted.data(), lifted.data() + lifted.size(), 0, 0.1, 100,
                                0.0, icpNearestOnMesh(m.tree)),
              kIcpTooFewPoints);
    EXPECT_EQ(state.transform().translation, Vec3d());
    EXPECT_EQ(registerGaussMesh(state, lifted.data(), lifted.data() + 2, 0, 0.0, 100, 0.0,
                                icpNearestOnMesh(m.tree)),
              kIcpTooFewPoints);
    // Only tz free: the lift is taken back along z alone.
    state.freedom = kIcpTz;
    EXPECT_LE(registerGaussMesh(state, lifted.data(), lifted.data() + lifted.size(), 0, 0.0, 100,
                                0.0, icpNearestOnMesh(m.tree)),
              kIcpBelowTolerance);
    const IcpTransform t = state.transform();
    EXPECT_EQ(t.rotation, Matrix3x3d());
    EXPECT_EQ(t.translation.x, 0.0);
    EXPECT_EQ(t.translation.y, 0.0);
    EXPECT_NEAR(t.translation.z, -0.5, 1e-6 * kSize);
}

// "Is origin": the linearised steps turn about the origin; far from it the steps still
// have to bring the data home.
TEST(IcpGaussMesh, RotationAboutTheOrigin) {
    const MeshTree m(surfaceMesh(12));
    std::vector<Vec3d> inner;
    for (const Vec3d& p : sampleMesh(m.corners, 500, 13))
        if (std::abs(p.x) < 3.5 && std::abs(p.y) < 3.5) inner.push_back(p);
    IcpTransform truth;
    truth.rotation = axisAngle(Vec3d(0.1, -0.3, 1.0), 0.08);
    truth.translation = Vec3d(-0.2, 0.25, 0.1);
    const std::vector<Vec3d> data = moved(inner, truth);
    IcpState state;
    state.rotationCentreIsOrigin = true;
    EXPECT_LE(registerGaussMesh(state, data.data(), data.data() + data.size(), 0, 0.0, 300, 0.0,
                                icpNearestOnMesh(m.tree)),
              kIcpBelowTolerance);
    EXPECT_LT(state.stats.rmse, 1e-6 * kSize);
}

TEST(IcpChebyshev, AfterGaussMaximumDoesNotGrow) {
    const std::vector<Vec3d> ref = blob(1500, 9);
    IcpTransform truth;
    truth.rotation = axisAngle(Vec3d(1, 0.5, -0.2), 0.2);
    truth.translation = Vec3d(0.4, 0.1, -0.3);
    std::vector<Vec3d> data = moved(ref, truth);
    auto rng = testing_helpers::seededRng(10);
    std::uniform_real_distribution<double> noise(-0.02, 0.02);
    for (Vec3d& p : data)
        p += Vec3d(noise(rng), noise(rng), noise(rng));
    KdTree<Vec3d> tree;
    tree.build(ref.data(), ref.data() + ref.size());
    IcpState state;
    registerGauss(state, data.data(), data.data() + data.size(), 0, 0.0, 200, 0.0,
                  icpNearestPoint(tree));
    state.hasInitialTransform = true;
    // maxIterations 1: only the first pairing, the maximum at the Gauss result.
    registerChebyshev(state, data.data(), data.data() + data.size(), 0.0, 1, 0.0,
                      icpNearestPoint(tree));
    const double start = state.stats.maxDev;
    const int code = registerChebyshev(state, data.data(), data.data() + data.size(), 0.0, 100, 0.0,
                                       icpNearestPoint(tree));
    EXPECT_GE(code, kIcpConverged);
    EXPECT_LE(code, kIcpNoImprovement);
    EXPECT_LE(state.stats.maxDev, start);
    // The least-squares result is no minimax optimum: the maximum comes down.
    EXPECT_LT(state.stats.maxDev, 0.99 * start);
    EXPECT_EQ(state.stats.pairs, data.size());
    // The statistics are those of the published transform.
    double maxDev = 0.0;
    const IcpTransform t = state.transform();
    for (const Vec3d& p : data)
        maxDev = std::max(maxDev, (coords(*tree.findNearest(t.apply(p))) - t.apply(p)).norm());
    EXPECT_NEAR(maxDev, state.stats.maxDev, 1e-12);
}

TEST(IcpChebyshev, IdenticalDataAndEmptyFreedom) {
    const std::vector<Vec3d> ref = blob(300, 11);
    KdTree<Vec3d> tree;
    tree.build(ref.data(), ref.data() + ref.size());
    IcpState state;
    EXPECT_EQ(registerChebyshev(state, ref.data(), ref.data() + ref.size(), 0.0, 100, 0.0,
                                icpNearestPoint(tree)),
              kIcpConverged);
    EXPECT_EQ(state.stats.maxDev, 0.0);
    state.freedom = 0;
    EXPECT_EQ(registerChebyshev(state, ref.data(), ref.data() + ref.size(), 0.0, 100, 0.0,
                                icpNearestPoint(tree)),
              kIcpConverged);
    EXPECT_EQ(
        registerChebyshev(state, ref.data(), ref.data() + 2, 0.0, 100, 0.0, icpNearestPoint(tree)),
        kIcpTooFewPoints);
}

// Exact data and a mesh reference: the minimax steps alone find the transform, about
// the data centre and about the origin, and keep masked components untouched.
TEST(IcpChebyshev, ExactDataPointsAndMesh) {
    const std::vector<Vec3d> ref = blob(400, 14);
    KdTree<Vec3d> tree;
    tree.build(ref.data(), ref.data() + ref.size());
    IcpTransform truth;
    truth.rotation = axisAngle(Vec3d(0.4, 1, -0.3), 0.002);
    truth.translation = Vec3d(0.004, -0.006, 0.002);
    const std::vector<Vec3d> data = moved(ref, truth);
    for (bool origin : {false, true}) {
        SCOPED_TRACE(origin);
        IcpState state;
        state.rotationCentreIsOrigin = origin;
        const int code = registerChebyshev(state, data.data(), data.data() + data.size(), 0.0, 200,
                                           0.0, icpNearestPoint(tree));
        EXPECT_GE(code, kIcpConverged);
        EXPECT_LE(code, kIcpNoImprovement);
        EXPECT_LT(state.stats.maxDev, 1e-9);
        EXPECT_EQ(state.stats.pairs, data.size());
        expectTransform(state.transform(), truth);
    }
    // Translations only, data also turned: the rotation stays untouched, the maximum
    // does not grow.
    IcpTransform turned = truth;
    turned.translation = Vec3d(0.004, -0.003, 0.005);
    const std::vector<Vec3d> shifted = moved(ref, turned);
    IcpState state;
    state.freedom = kIcpTranslations;
    registerChebyshev(state, shifted.data(), shifted.data() + shifted.size(), 0.0, 1, 0.0,
                      icpNearestPoint(tree));
    const double start = state.stats.maxDev;
    registerChebyshev(state, shifted.data(), shifted.data() + shifted.size(), 0.0, 200, 0.0,
                      icpNearestPoint(tree));
    EXPECT_EQ(state.transform().rotation, Matrix3x3d());
    EXPECT_EQ(state.transform().scale, 1.0);
    EXPECT_LE(state.stats.maxDev, start);
    EXPECT_GT(state.transform().translation.norm(), 0.0);

    // A mesh reference: surface points lifted and shifted come back onto it.
    const MeshTree m(surfaceMesh(10));
    std::vector<Vec3d> inner;
    for (const Vec3d& p : sampleMesh(m.corners, 300, 15))
        if (std::abs(p.x) < 3.5 && std::abs(p.y) < 3.5) inner.push_back(p);
    IcpTransform lift;
    lift.translation = Vec3d(0.05, -0.04, 0.2);
    const std::vector<Vec3d> above = moved(inner, lift);
    IcpState onMesh;
    onMesh.freedom = kIcpTranslations;
    const double before = [&] {
        double worst = 0.0;
        for (const Vec3d& p : above) {
            Vec3d c;
            bool front;
            m.tree.findClosestOnMesh(p, 0.0, c, front);
            worst = std::max(worst, (c - p).norm());
        }
        return worst;
    }();
    registerChebyshev(onMesh, above.data(), above.data() + above.size(), 0.0, 200, 0.0,
                      icpNearestOnMesh(m.tree));
    EXPECT_LE(onMesh.stats.maxDev, before);
    EXPECT_LT(onMesh.stats.maxDev, 1e-3 * kSize);
}

// The icosahedron's corners grown by a tenth about its centre: by symmetry no rigid
// step lowers the maximum, so the first minimax step promises nothing (code 4) and
// nothing moves.
TEST(IcpChebyshev, NoGainLeftIsCodeFour) {
    const double g = (1.0 + std::sqrt(5.0)) / 2.0;
    std::vector<Vec3d> ref;
    for (double a : {-1.0, 1.0})
        for (double b : {-g, g}) {
            ref.push_back(Vec3d(0, a, b));
            ref.push_back(Vec3d(a, b, 0));
            ref.push_back(Vec3d(b, 0, a));
        }
    const Vec3d centre(1.0, -2.0, 0.5);
    std::vector<Vec3d> data;
    for (Vec3d& p : ref) {
        p += centre;
        data.push_back(centre + (p - centre) * 1.1);
    }
    KdTree<Vec3d> tree;
    tree.build(ref.data(), ref.data() + ref.size());
    IcpState state;
    EXPECT_EQ(registerChebyshev(state, data.data(), data.data() + data.size(), 0.0, 100, 0.0,
                                icpNearestPoint(tree)),
              kIcpNoImprovement);
    EXPECT_NEAR(state.stats.maxDev, 0.1 * std::sqrt(1.0 + g * g), 1e-12);
    EXPECT_EQ(state.transform().translation, Vec3d());
    EXPECT_EQ(state.transform().rotation, Matrix3x3d());
}

// An abort that comes before the worker starts is not lost: the run stops at once
// with the transform it had (identity or the pre-set one).
TEST(IcpState, CancelBeforeTheStartIsHonoured) {
    const std::vector<Vec3d> ref = blob(600, 16);
    KdTree<Vec3d> tree;
    tree.build(ref.data(), ref.data() + ref.size());
    IcpTransform truth;
    truth.translation = Vec3d(0.3, -0.2, 0.1);
    const std::vector<Vec3d> data = moved(ref, truth);
    const MeshTree m(surfaceMesh(6));
    for (int variant = 0; variant < 3; ++variant) {
        SCOPED_TRACE(variant);
        IcpState state;
        IcpTransform start;
        start.translation = Vec3d(0.01, 0.02, 0.03);
        state.setTransform(start);
        state.hasInitialTransform = true;
        state.cancel = true;
        const Vec3d* b = data.data();
        const Vec3d* e = data.data() + data.size();
        int code;
        if (variant == 0)
            code = registerGauss(state, b, e, 0, 0.0, 100, 0.0, icpNearestPoint(tree));
        else if (variant == 1)
            code = registerGaussMesh(state, b, e, 0, 0.0, 100, 0.0, icpNearestOnMesh(m.tree));
        else
            code = registerChebyshev(state, b, e, 0.0, 100, 0.0, icpNearestPoint(tree));
        EXPECT_EQ(code, kIcpIterationLimit);
        EXPECT_TRUE(state.cancel.load());
        EXPECT_EQ(state.transform().translation, start.translation);
        EXPECT_EQ(state.progress.load(), 100.0f);
    }
}

// The pairing gives the same pairs, in the same order, on one thread and on several
// (and below the size where it runs in parallel at all).
TEST(IcpState, PairingDoesNotDependOnTheThreads) {
    for (std::size_t n : {std::size_t{500}, std::size_t{9000}}) {
        SCOPED_TRACE(n);
        const std::vector<Vec3d> ref = blob(n, 17);
        KdTree<Vec3d> tree;
        tree.build(ref.data(), ref.data() + ref.size());
        IcpTransform truth;
        truth.rotation = axisAngle(Vec3d(1, 1, 1), 0.1);
        const std::vector<Vec3d> data = moved(ref, truth);
        std::vector<std::vector<IcpPair>> pairs;
        for (unsigned threads : {1u, 2u, 3u}) {
            IcpState state;
            state.threads = threads;
            // One iteration: the first pairing only.
            registerGauss(state, data.data(), data.data() + data.size(), 0, 0.0, 1, 0.0,
                          icpNearestPoint(tree));
            pairs.push_back(state.pairs);
        }
        ASSERT_EQ(pairs[0].size(), n);
        for (std::size_t t = 1; t < pairs.size(); ++t) {
            ASSERT_EQ(pairs[t].size(), pairs[0].size());
            for (std::size_t i = 0; i < n; ++i) {
                ASSERT_EQ(pairs[t][i].data, pairs[0][i].data) << i;
                ASSERT_EQ(pairs[t][i].reference, pairs[0][i].reference) << i;
                ASSERT_EQ(pairs[t][i].distance, pairs[0][i].distance) << i;
            }
        }
    }
}

TEST(IcpState, TransformIsPublishedWhole) {
    const std::vector<Vec3d> ref = blob(3000, 12);
    IcpTransform truth;
    truth.rotation = axisAngle(Vec3d(1, 2, 0.5), 0.4);
    truth.translation = Vec3d(1, -1, 0.5);
    const std::vector<Vec3d> data = moved(ref, truth);
    KdTree<Vec3d> tree;
    tree.build(ref.data(), ref.data() + ref.size());
    ParamICPalgorithm<Vec3d, Vec3d> param;
    param.nearest = icpNearestPoint(tree);
    param.dataBegin = data.data();
    param.dataEnd = data.data() + data.size();
    param.samples = 0;
    param.report = false;
    std::atomic<bool> done{false};
    std::atomic<int> bad{0};
    std::thread reader([&] {
        while (!done.load()) {
            const IcpTransform t = param.state.transform();
            const Matrix3x3d I = t.rotation * t.rotation.transposed();
            for (std::size_t k = 0; k < 9; ++k)
                if (std::abs(I[k] - Matrix3x3d()[k]) > 1e-9) ++bad;
        }
    });
    icpRegistration(param);
    done = true;
    reader.join();
    EXPECT_EQ(bad.load(), 0);
    EXPECT_LE(param.result, kIcpBelowTolerance);
    EXPECT_EQ(param.state.progress.load(), 100.0f);
    expectTransform(param.state.transform(), truth);
}

TEST(IcpTexts, StatisticsAndTransform) {
    IcpState state;
    state.iterations = 7;
    state.stats.pairs = 12;
    state.stats.meanDev = 0.5;
    state.stats.minDev = 0.25;
    state.stats.maxDev = 1.0;
    state.stats.rmse = 0.6;
    state.stats.stdDev = 0.125;
    EXPECT_EQ(icpStatisticsText(state, "3ms"),
              "iterations: 7\npairs: 12\nmeanDev.: 0.50000000\nminDev.: 0.25000000\n"
              "maxDev.: 1.00000000\nRMSE: 0.60000000\nstdDev.: 0.12500000\nduration: 3ms");
    IcpTransform t;
    t.translation = Vec3d(1.5, -2.0, 0.0);
    t.scale = 2.0;
    EXPECT_EQ(icpTransformText(t),
              "** R **\n+1.000000 +0.000000 +0.000000 \n+0.000000 +1.000000 +0.000000 \n"
              "+0.000000 +0.000000 +1.000000 \n** T **\n+1.500000 \n-2.000000 \n+0.000000 \n"
              "** S **\n+2.000000");
    const Matrix4x4d m = t.matrix();
    EXPECT_EQ(m(0, 0), 2.0);
    EXPECT_EQ(m(1, 3), -2.0);
    EXPECT_EQ(m(3, 3), 1.0);
}

}  // namespace

namespace {

// A flat grid of points 1e-4 above the plane z = 0 (about 10 across).
std::vector<Vec3d> liftedGrid() {
    std::vector<Vec3d> p;
    for (int i = 0; i < 10; ++i)
        for (int j = 0; j < 10; ++j)
            p.emplace_back(i - 4.5 + 0.1 * j, j - 4.5, 1e-4);
    return p;
}

// The plane z = 0 for the first pairing; after that every partner lies 1 below the query,
// so every trial step makes things worse and is rejected.
IcpNearest worseningPlane(std::size_t firstPairing) {
    auto calls = std::make_shared<std::size_t>(0);
    return [calls, firstPairing](const Vec3d& q, double, Vec3d& found) {
        found = (*calls)++ < firstPairing ? Vec3d(q.x, q.y, 0.0) : Vec3d(q.x, q.y, q.z - 1.0);
        return true;
    };
}

}  // namespace

// Every step rejected: nothing was accepted, so the mesh variant may not call the start
// converged on the strength of a rejected step's length (code 2, transform unchanged).
TEST(IcpGaussMesh, ConvergedOnlyAfterAnAcceptedStep) {
    const std::vector<Vec3d> data = liftedGrid();
    IcpState state;
    state.threads = 1;
    const int code = registerGaussMesh(state, data.data(), data.data() + data.size(), 0, 0.0, 12,
                                       0.0, worseningPlane(data.size()));
    EXPECT_EQ(code, kIcpIterationLimit);
    EXPECT_EQ(state.transform().translation, Vec3d());
    EXPECT_EQ(state.transform().rotation, Matrix3x3d());
}

// Smallest ball enclosing the points, by trying every ball through two, three or four
// of them (independent of the registration).
namespace {

struct Ball {
    Vec3d centre;
    double radius = std::numeric_limits<double>::infinity();
};

Ball smallestEnclosingBall(const std::vector<Vec3d>& v) {
    Ball best;
    const auto consider = [&](const Vec3d& c) {
        double r = 0.0;
        for (const Vec3d& p : v)
            r = std::max(r, (p - c).norm());
        if (r < best.radius) best = {c, r};
    };
    const std::size_t n = v.size();
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = i + 1; j < n; ++j) {
            consider((v[i] + v[j]) / 2.0);
            for (std::size_t k = j + 1; k < n; ++k) {
                const Vec3d ab = v[j] - v[i], ac = v[k] - v[i], nrm = ab.cross(ac);
                if (nrm.squaredNorm() > 0.0)
                    consider(v[i] +
                             (nrm.cross(ab) * ac.squaredNorm() + ac.cross(nrm) * ab.squaredNorm()) /
                                 (2.0 * nrm.squaredNorm()));
                for (std::size_t l = k + 1; l < n; ++l) {
                    Eigen::Matrix3d M;
                    Eigen::Vector3d r;
                    const std::size_t q[3] = {j, k, l};
                    for (int row = 0; row < 3; ++row) {
                        const Vec3d d = v[q[row]] - v[i];
                        M.row(row) << 2 * d.x, 2 * d.y, 2 * d.z;
                        r(row) = v[q[row]].squaredNorm() - v[i].squaredNorm();
                    }
                    Eigen::FullPivLU<Eigen::Matrix3d> lu(M);
                    if (lu.rank() < 3) continue;
                    const Eigen::Vector3d c = lu.solve(r);
                    consider(Vec3d(c(0), c(1), c(2)));
                }
            }
        }
    return best;
}

}  // namespace

// With translations only and partners that stay put, the minimax registration is the
// smallest ball around the differences reference - data: the translation is its centre
// and the largest deviation its radius. Its support has fewer than four points in most
// draws (no vertex of the linearised problem), where linear steps only creep.
TEST(IcpChebyshev, TranslationsOnlyGiveTheSmallestEnclosingBall) {
    std::vector<Vec3d> ref;
    for (int x = 0; x < 3; ++x)
        for (int y = 0; y < 3; ++y)
            for (int z = 0; z < 3; ++z)
                ref.push_back(Vec3d(2.0 * x, 2.0 * y, 2.0 * z));
    KdTree<Vec3d> tree;
    tree.build(ref.data(), ref.data() + ref.size());
    for (std::uint64_t seed : {11u, 12u, 13u, 14u, 15u, 16u}) {
        SCOPED_TRACE(seed);
        auto rng = testing_helpers::seededRng(seed);
        std::uniform_real_distribution<double> noise(-0.05, 0.05);
        std::vector<Vec3d> data, differences;
        for (const Vec3d& r : ref) {
            data.push_back(r - Vec3d(0.3, -0.2, 0.1) + Vec3d(noise(rng), noise(rng), noise(rng)));
            differences.push_back(r - data.back());
        }
        const Ball ball = smallestEnclosingBall(differences);
        IcpState state;
        state.freedom = kIcpTranslations;
        const int code = registerChebyshev(state, data.data(), data.data() + data.size(), 0.0, 200,
                                           0.0, icpNearestPoint(tree));
        EXPECT_TRUE(code == kIcpConverged || code == kIcpNoImprovement) << code;
        EXPECT_VEC_NEAR(state.transform().translation, ball.centre, 1e-12);
        EXPECT_NEAR(state.stats.maxDev, ball.radius, 1e-12);
    }
}

// A simplex that cannot solve the minimax step (here: a partner at infinity) is an error
// like the fits', not "no improvement".
TEST(IcpChebyshev, FailedSimplexIsAnError) {
    std::vector<Vec3d> data = liftedGrid();
    const IcpNearest broken = [](const Vec3d& q, double, Vec3d& found) {
        found = Vec3d(q.x, q.y, q.x > 4.0 ? std::numeric_limits<double>::infinity() : 0.0);
        return true;
    };
    IcpState state;
    state.threads = 1;
    try {
        const int code =
            registerChebyshev(state, data.data(), data.data() + data.size(), 0.0, 100, 0.0, broken);
        ADD_FAILURE() << "code " << code;
    } catch (const Alg3dException& e) {
        EXPECT_STREQ(e.what(), "ALG3D::geometry approximation failed.\n");
    }
    EXPECT_EQ(state.transform().translation, Vec3d());
}

// The same registration in millimetres, metres (x1e-3) and micrometres (x1e3): the
// transforms agree relative to the size (rotation to 1e-9 rad, translation to 1e-9 of
// the size, scale to 1e-9), Gauss and Chebyshev, each onto points and onto a mesh;
// Chebyshev onto points also turning about z only, and about the origin.
namespace {

enum class Variant { kPoints, kMesh, kChebyshevPoints, kChebyshevMesh };

IcpTransform registeredIn(double unit, Variant variant, const std::vector<Vec3d>& refMm,
                          const std::vector<Vec3d>& dataMm, const IcpTransform& start,
                          unsigned freedom = kIcpRigid, bool aboutOrigin = false) {
    std::vector<Vec3d> ref = refMm, data = dataMm;
    for (Vec3d& p : ref)
        p *= unit;
    for (Vec3d& p : data)
        p *= unit;
    IcpState state;
    state.threads = 1;
    state.freedom = freedom;
    state.rotationCentreIsOrigin = aboutOrigin;
    const bool chebyshev =
        variant == Variant::kChebyshevPoints || variant == Variant::kChebyshevMesh;
    if (chebyshev) {  // from a given start near the minimax optimum
        IcpTransform t = start;
        t.translation *= unit;
        state.setTransform(t);
        state.hasInitialTransform = true;
    }
    int code;
    if (variant == Variant::kMesh || variant == Variant::kChebyshevMesh) {
        const MeshTree m(ref);
        code = chebyshev ? registerChebyshev(state, data.data(), data.data() + data.size(), 0.0,
                                             500, 0.0, icpNearestOnMesh(m.tree))
                         : registerGaussMesh(state, data.data(), data.data() + data.size(), 0, 0.0,
                                             500, 0.0, icpNearestOnMesh(m.tree));
    } else {
        KdTree<Vec3d> tree;
        tree.build(ref.data(), ref.data() + ref.size());
        code = chebyshev ? registerChebyshev(state, data.data(), data.data() + data.size(), 0.0,
                                             500, 0.0, icpNearestPoint(tree))
                         : registerGauss(state, data.data(), data.data() + data.size(), 0, 0.0, 500,
                                         0.0, icpNearestPoint(tree));
    }
    EXPECT_NE(code, kIcpTooFewPoints);
    IcpTransform t = state.transform();
    t.translation /= unit;
    return t;
}

}  // namespace

TEST(IcpUnits, MillimetresMetresAndMicrometresGiveTheSameTransform) {
    IcpTransform truth;
    truth.rotation = axisAngle(Vec3d(0.3, -0.5, 1.0), 0.05);
    truth.translation = Vec3d(0.15, -0.1, 0.08);
    auto rng = testing_helpers::seededRng(77);
    std::uniform_real_distribution<double> noise(-0.01, 0.01);
    const auto noisy = [&](std::vector<Vec3d> p) {
        for (Vec3d& q : p)
            q += Vec3d(noise(rng), noise(rng), noise(rng));
        return p;
    };
    const std::vector<Vec3d> cloud = blob(600, 78);
    const std::vector<Vec3d> mesh = surfaceMesh(12);
    std::vector<Vec3d> onMesh;
    for (const Vec3d& p : sampleMesh(mesh, 500, 79))
        if (std::abs(p.x) < 3.5 && std::abs(p.y) < 3.5) onMesh.push_back(p);
    const std::vector<Vec3d> cloudData = noisy(moved(cloud, truth));
    const std::vector<Vec3d> meshData = noisy(moved(onMesh, truth));

    struct Case {
        Variant variant;
        const std::vector<Vec3d>* ref;
        const std::vector<Vec3d>* data;
        unsigned freedom;
        bool aboutOrigin;
    };
    constexpr unsigned kRzMoves = kIcpRz | kIcpTranslations;
    for (const Case& c : {Case{Variant::kPoints, &cloud, &cloudData, kIcpRigid, false},
                          Case{Variant::kMesh, &mesh, &meshData, kIcpRigid, false},
                          Case{Variant::kChebyshevPoints, &cloud, &cloudData, kIcpRigid, false},
                          Case{Variant::kChebyshevPoints, &cloud, &cloudData, kRzMoves, false},
                          Case{Variant::kChebyshevPoints, &cloud, &cloudData, kIcpRigid, true},
                          Case{Variant::kChebyshevMesh, &mesh, &meshData, kIcpRigid, false}}) {
        SCOPED_TRACE(testing::Message() << static_cast<int>(c.variant) << " freedom " << c.freedom
                                        << (c.aboutOrigin ? " about the origin" : ""));
        const double size = pointSpread(c.data->data(), c.data->data() + c.data->size());
        const IcpTransform mm =
            registeredIn(1.0, c.variant, *c.ref, *c.data, truth, c.freedom, c.aboutOrigin);
        for (double unit : {1e-3, 1e3}) {
            SCOPED_TRACE(unit);
            const IcpTransform other =
                registeredIn(unit, c.variant, *c.ref, *c.data, truth, c.freedom, c.aboutOrigin);
            EXPECT_LT(rotationDifference(other.rotation, mm.rotation), 1e-9);
            EXPECT_LT((other.translation - mm.translation).norm(), 1e-9 * size);
            EXPECT_NEAR(other.scale, mm.scale, 1e-9);
        }
    }
}
