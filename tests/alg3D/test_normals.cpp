// Normal estimation (radius, k-nearest, auto) against a brute-force reference that
// builds the same neighbourhoods by a linear scan and takes the smallest principal
// axis from Eigen; analytic surfaces; the degenerate clouds; the auto mode's block
// path above 2,097,151 points; abort.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <vector>

#include "PointCloudTestUtils.h"
#include "alg3D/algorithm/KdTree.h"
#include "alg3D/algorithm/Normals.h"

using namespace alg3D;
using namespace alg3D::algorithm;
using namespace pointcloud_test;

namespace {

template <typename P>
std::vector<Vec3f> runNormals(const std::vector<P>& pts, int mode, double radius, std::size_t k,
                              int threads = 0, std::atomic<bool>* abort = nullptr) {
    std::atomic<float> progress{0.0f};
    ParamNormals<P> param;
    param.control.abort = abort;
    param.control.progress = &progress;
    param.control.threads = threads;
    std::vector<Vec3f> out(pts.size(), Vec3f(0.0f, 0.0f, 0.0f));
    param.begin = pts.data();
    param.end = pts.data() + pts.size();
    param.out = out.data();
    param.radius = radius;
    param.pointNumber = k;
    param.mode = mode;
    calcNormals(param);
    if (!abort || !*abort) {
        EXPECT_FLOAT_EQ(progress.load(), 100.0f);
    }
    return out;
}

// The adaptive k-nearest rule with the neighbourhoods of `nearest` (q, k, out: the
// distance of the k-th) or, by default, of a linear scan. `conditioned` tells whether
// the accepted neighbourhood separates its smallest axis clearly.
template <typename Nearest>
Vec3d referenceKNearest(const std::vector<Vec3d>& pts, const Vec3d& q, std::size_t k,
                        bool& conditioned, Nearest nearest) {
    conditioned = false;
    Vec3d normal(0, 0, 0);
    k = std::min(k, pts.size());
    for (int attempt = 0; attempt < 3; ++attempt, k *= 2) {
        double g = 0;
        const auto idx = nearest(q, k, g);
        if (g < 1e-7 && idx.size() >= k) return Vec3d(0, 0, 0);
        if (idx.size() >= 3 && g > 1e-8) {
            const EigenAxes a = eigenAxes(pts, idx);
            normal = a.normal;
            conditioned = (a.w1 - a.w2) > 1e-3 * a.w0;
            if (a.w0 > 1e-8 && a.w1 > 0.25 * a.w0) return normal;
        } else {
            normal = Vec3d(0, 0, 0);
        }
    }
    conditioned = false;  // the last attempt's axis is not unique in general
    return normal;
}

Vec3d referenceKNearest(const std::vector<Vec3d>& pts, const Vec3d& q, std::size_t k,
                        bool& conditioned) {
    return referenceKNearest(
        pts, q, k, conditioned,
        [&](const Vec3d& p, std::size_t kk, double& g) { return bruteKNearest(pts, p, kk, &g); });
}

template <typename P>
class NormalsTyped : public ::testing::Test {};
using PointTypes = ::testing::Types<Vec3d, GLPoint>;
TYPED_TEST_SUITE(NormalsTyped, PointTypes);

TYPED_TEST(NormalsTyped, RadiusModeMatchesBruteForce) {
    const std::vector<Vec3d> pts = wavySurface(3000, 0.005, 11);
    const auto cloud = convert<TypeParam>(pts);
    const double radius = 0.12;
    const auto normals = runNormals(cloud, kNormalsRadius, radius, 0);
    std::size_t compared = 0;
    for (std::size_t i = 0; i < pts.size(); ++i) {
        const auto idx = bruteWithin(pts, pts[i], radius + 1e-6);
        if (idx.size() < 3) {
            EXPECT_EQ(toD(normals[i]), Vec3d(0, 0, 0)) << i;
            continue;
        }
        const EigenAxes a = eigenAxes(pts, idx);
        if ((a.w1 - a.w2) <= 1e-3 * a.w0) continue;
        ASSERT_LT(angleUpToSign(toD(normals[i]), a.normal), 1e-6) << "point " << i;
        ++compared;
    }
    EXPECT_GT(compared, pts.size() * 9 / 10);
}

TYPED_TEST(NormalsTyped, KNearestModeMatchesBruteForce) {
    const std::vector<Vec3d> pts = wavySurface(2000, 0.005, 12);
    const auto cloud = convert<TypeParam>(pts);
    for (std::size_t k : {3u, 10u, 30u}) {
        const auto normals = runNormals(cloud, kNormalsPointNumber, 0.0, k);
        std::size_t compared = 0;
        for (std::size_t i = 0; i < pts.size(); ++i) {
            bool conditioned = false;
            const Vec3d ref = referenceKNearest(pts, pts[i], k, conditioned);
            if (!conditioned) continue;
            ASSERT_LT(angleUpToSign(toD(normals[i]), ref), 1e-6) << "k " << k << " point " << i;
            ++compared;
        }
        EXPECT_GT(compared, pts.size() * 8 / 10) << "k " << k;
    }
}

TEST(Normals, AutoModeOnSmallCloudsIsKNearestWith30) {
    const std::vector<Vec3d> pts = wavySurface(1500, 0.005, 13);
    const auto automatic = runNormals(pts, kNormalsAuto, 0.0, 0);
    const auto k30 = runNormals(pts, kNormalsPointNumber, 0.0, 30);
    for (std::size_t i = 0; i < pts.size(); ++i)
        EXPECT_LT(angleUpToSign(toD(automatic[i]), toD(k30[i])), 1e-6) << i;
}

TEST(Normals, AnalyticSurfaces) {
    // Tilted plane: exact up to rounding.
    const Vec3d n0 = Vec3d(0.3, -0.5, 0.8).normalized();
    const Vec3d e1 = n0.cross(Vec3d(1, 0, 0)).normalized();
    const Vec3d e2 = n0.cross(e1);
    auto rng = testing_helpers::seededRng(14);
    std::uniform_real_distribution<double> u(-5.0, 5.0);
    std::vector<Vec3d> plane;
    for (int i = 0; i < 4000; ++i)
        plane.push_back(Vec3d(100, -20, 7) + u(rng) * e1 + u(rng) * e2);
    for (int mode : {kNormalsAuto, kNormalsRadius, kNormalsPointNumber}) {
        const auto normals = runNormals(plane, mode, 0.6, 20);
        for (std::size_t i = 0; i < plane.size(); ++i)
            ASSERT_LT(angleUpToSign(toD(normals[i]), n0), 1e-5) << mode << " " << i;
    }
    // Sphere of radius 2 (about 0.13 mean spacing): the neighbourhood's axis is the
    // radial direction up to the sampling's asymmetry.
    const Vec3d c(1, 2, 3);
    const std::vector<Vec3d> sphere = spherePoints(20000, c, 2.0, 15);
    for (int mode : {kNormalsAuto, kNormalsRadius}) {
        const auto normals = runNormals(sphere, mode, 0.3, 0);
        for (std::size_t i = 0; i < sphere.size(); ++i)
            ASSERT_LT(angleUpToSign(toD(normals[i]), sphere[i] - c), 0.05) << mode << " " << i;
    }
    // Cylinder of radius 1 along (1, 1, 0), sampled on a regular grid: a radius
    // neighbourhood away from the ends is mirror-symmetric about the point's axial
    // and circumferential lines, so its smallest axis is exactly radial.
    const Vec3d axis = Vec3d(1, 1, 0).normalized();
    const Vec3d a1 = Vec3d(0, 0, 1), a2 = axis.cross(a1);
    std::vector<Vec3d> cyl;
    std::vector<Vec3d> radial;
    std::vector<bool> inner;
    for (int i = 0; i < 200; ++i) {
        for (int j = -100; j <= 100; ++j) {
            const double phi = 2 * M_PI * i / 200.0;
            const Vec3d rdir = std::cos(phi) * a1 + std::sin(phi) * a2;
            cyl.push_back((0.03 * j) * axis + rdir);
            radial.push_back(rdir);
            inner.push_back(std::abs(j) < 90);
        }
    }
    const auto normals = runNormals(cyl, kNormalsRadius, 0.1, 0);
    for (std::size_t i = 0; i < cyl.size(); ++i)
        if (inner[i]) {
            ASSERT_LT(angleUpToSign(toD(normals[i]), radial[i]), 1e-6) << i;
        }
}

TEST(Normals, DegenerateClouds) {
    // Two points: no normal in any mode.
    const std::vector<Vec3d> two = {Vec3d(0, 0, 0), Vec3d(1, 0, 0)};
    for (int mode : {kNormalsAuto, kNormalsRadius, kNormalsPointNumber})
        for (const Vec3f& n : runNormals(two, mode, 5.0, 30))
            EXPECT_EQ(toD(n), Vec3d(0, 0, 0));

    // A straight line: every attempt is line-like; the last attempt's axis is kept,
    // a unit vector across the line.
    std::vector<Vec3d> line;
    const Vec3d dir = Vec3d(1, 2, 2) / 3.0;
    for (int i = 0; i < 200; ++i)
        line.push_back(Vec3d(1, 1, 1) + (0.01 * i) * dir);
    for (const Vec3f& n : runNormals(line, kNormalsPointNumber, 0.0, 10)) {
        EXPECT_NEAR(toD(n).norm(), 1.0, 1e-6);
        EXPECT_NEAR(toD(n).dot(dir), 0.0, 1e-6);
    }

    // Duplicates filling the whole neighbourhood.
    std::vector<Vec3d> dup(100, Vec3d(3, 4, 5));
    for (int mode : {kNormalsAuto, kNormalsPointNumber})
        for (const Vec3f& n : runNormals(dup, mode, 0.0, 30))
            EXPECT_EQ(toD(n), Vec3d(0, 0, 0));

    // A radius below the spacing of a grid.
    std::vector<Vec3d> grid;
    for (int i = 0; i < 20; ++i)
        for (int j = 0; j < 20; ++j)
            grid.push_back(Vec3d(i, j, 0));
    for (const Vec3f& n : runNormals(grid, kNormalsRadius, 0.5, 0))
        EXPECT_EQ(toD(n), Vec3d(0, 0, 0));
}

TEST(Normals, AbortLeavesUnprocessedPointsZero) {
    const std::vector<Vec3d> pts = wavySurface(5000, 0.0, 16);
    std::atomic<bool> abort{true};
    for (int mode : {kNormalsAuto, kNormalsRadius, kNormalsPointNumber})
        for (const Vec3f& n : runNormals(pts, mode, 0.1, 30, 0, &abort))
            ASSERT_EQ(toD(n), Vec3d(0, 0, 0));
}

// An abort while the loop runs stops every thread within one point's work: most
// normals stay (0, 0, 0) and the progress stays low.
TEST(Normals, AbortDuringTheLoopStopsEveryThread) {
    const std::vector<Vec3d> pts = wavySurface(200000, 0.001, 18);
    for (int mode : {kNormalsRadius, kNormalsPointNumber}) {
        std::atomic<bool> abort{false};
        std::atomic<float> progress{0.0f};
        ParamNormals<Vec3d> param;
        param.control.abort = &abort;
        param.control.progress = &progress;
        param.control.threads = 2;
        std::vector<Vec3f> out(pts.size(), Vec3f(0.0f, 0.0f, 0.0f));
        param.begin = pts.data();
        param.end = pts.data() + pts.size();
        param.out = out.data();
        param.radius = 0.02;  // about 60 neighbours
        param.pointNumber = 30;
        param.mode = mode;
        abortOnceStarted(abort, progress, [&] { calcNormals(param); });
        std::size_t untouched = 0;
        for (const Vec3f& n : out)
            untouched += toD(n) == Vec3d(0, 0, 0) ? 1 : 0;
        EXPECT_GT(untouched, pts.size() / 2) << mode;
        EXPECT_LT(progress.load(), 50.0f) << mode;
    }
}

// Above 2,097,151 points the auto mode computes one normal per block of the k-d tree
// at depth 21, at the block's splitting point, and writes it to every point of the
// block. The cloud is as small as that path allows: 2,100,000 points, so that the
// blocks are single points with a few thousand pairs among them (the cost is that of
// about two million k-nearest normals, whatever the cloud). The points lie on a
// paraboloid in random order, so a normal written to the wrong point (tree order taken
// for input order) or to none is far off the surface normal.
TEST(NormalsSlow, AutoModeBlockPathOnLargeCloud) {
    const std::size_t n = 2100000;
    ASSERT_GT(n, kNormalsAutoMaxPointwise);
    auto rng = testing_helpers::seededRng(17);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<Vec3d> pts(n);
    for (Vec3d& p : pts) {
        const double x = u(rng), y = u(rng);
        p = Vec3d(x, y, 0.5 * (x * x + y * y));
    }
    const auto normals = runNormals(pts, kNormalsAuto, 0.0, 0);

    // Every point near the surface normal: the neighbourhood of 30 points spans about
    // 0.005, over which the normal turns by as much.
    for (std::size_t i = 0; i < n; ++i) {
        const Vec3d surface(-pts[i].x, -pts[i].y, 1.0);
        ASSERT_LT(angleUpToSign(toD(normals[i]), surface), 0.02) << i;
    }

    // The blocks, from a tree built the same way: every point of a block has exactly
    // the normal of the block's splitting point; a sample of those against the adaptive
    // rule on the tree's k nearest points with Eigen's axes.
    KdTree<Vec3d> tree;
    tree.build(pts.data(), pts.data() + n);
    ASSERT_TRUE(tree.built());
    std::vector<KdTree<Vec3d>::Subtree> blocks;
    tree.collectSubtrees(kNormalsAutoDepth, blocks);
    std::size_t shared = 0, compared = 0;
    std::vector<const KdEntry<Vec3d>*> list;
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        const auto& block = blocks[b];
        const std::size_t split = static_cast<std::size_t>(block.split - pts.data());
        for (std::size_t pos = block.begin; pos < block.end; ++pos)
            ASSERT_EQ(normals[tree.elementIndex(pos)], normals[split]) << "block " << b;
        if (block.end - block.begin > 1) ++shared;
        if (b % 1009 != 0) continue;
        bool conditioned = false;
        const Vec3d ref = referenceKNearest(
            pts, *block.split, kNormalsAutoK, conditioned,
            [&](const Vec3d& q, std::size_t k, double& g) {
                g = tree.findKNearest(q, k, 0.0, list);
                std::vector<std::size_t> idx;
                for (const KdEntry<Vec3d>* e : list)
                    idx.push_back(static_cast<std::size_t>(e->element - pts.data()));
                return idx;
            });
        if (!conditioned) continue;
        ASSERT_LT(angleUpToSign(toD(normals[split]), ref), 1e-6) << "block " << b;
        ++compared;
    }
    EXPECT_GT(shared, 1000u);
    EXPECT_GT(compared, blocks.size() / 1009 * 9 / 10);
}

}  // namespace
