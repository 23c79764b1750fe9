// Smoothing: one pass against a brute-force pass over the unsmoothed coordinates;
// noise on a plane shrinks for every function; an exact plane stays put; the feature
// preserving function moves a cube's corners by at most 2.5 % of the way; radius 0
// and a single point change nothing; abort.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <vector>

#include "PointCloudTestUtils.h"
#include "alg3D/algorithm/Smoothing.h"

using namespace alg3D;
using namespace alg3D::algorithm;
using namespace pointcloud_test;

namespace {

template <typename P>
std::vector<Vec3d> runSmoothing(const std::vector<P>& pts, int function, double radius,
                                std::atomic<bool>* abort = nullptr) {
    std::atomic<float> progress{0.0f};
    ParamSmoothing<P> param;
    param.control.abort = abort;
    param.control.progress = &progress;
    std::vector<Vec3d> out(pts.size(), Vec3d(-7, -7, -7));
    param.begin = pts.data();
    param.end = pts.data() + pts.size();
    param.out = out.data();
    param.radius = radius;
    param.function = function;
    calcSmoothing(param);
    return out;
}

Vec3d (*const kFunctions[])(const std::vector<Vec3d>&, const Vec3d&, double) = {
    smoothGauss, smoothShapePreserving, smoothFeaturePreserving};
constexpr int kFunctionIds[] = {kSmoothGauss, kSmoothShapePreserving, kSmoothFeaturePreserving};

TEST(Smoothing, OnePassFromTheUnsmoothedCoordinates) {
    const std::vector<Vec3d> pts = wavySurface(1500, 0.01, 31);
    const auto cloud = convert<GLPoint>(pts);
    const double r = 0.12;
    for (int f = 0; f < 3; ++f) {
        const auto out = runSmoothing(cloud, kFunctionIds[f], r);
        for (std::size_t i = 0; i < pts.size(); ++i) {
            std::vector<Vec3d> nb;
            for (std::size_t j : bruteWithin(pts, pts[i], r + 1e-6))
                nb.push_back(pts[j]);
            ASSERT_VEC_NEAR(out[i], kFunctions[f](nb, pts[i], r), 1e-12);
        }
    }
}

TEST(Smoothing, NoiseOnAPlaneShrinks) {
    auto rng = testing_helpers::seededRng(32);
    std::normal_distribution<double> g(0.0, 0.01);
    std::vector<Vec3d> pts;
    for (int i = 0; i < 60; ++i)
        for (int j = 0; j < 60; ++j)
            pts.push_back(Vec3d(0.05 * i, 0.05 * j, g(rng)));
    auto rms = [](const std::vector<Vec3d>& v) {
        double s = 0;
        for (const Vec3d& p : v)
            s += p.z * p.z;
        return std::sqrt(s / v.size());
    };
    const double before = rms(pts);
    for (int f : kFunctionIds) {
        const double after = rms(runSmoothing(pts, f, 0.15));
        EXPECT_LT(after, 0.6 * before) << f;
    }
}

TEST(Smoothing, ExactPlaneStaysOnThePlane) {
    const Vec3d n0 = Vec3d(0.5, 0.1, -0.7).normalized();
    const Vec3d e1 = n0.cross(Vec3d(0, 1, 0)).normalized(), e2 = n0.cross(e1);
    const Vec3d origin(3, -1, 2);
    auto rng = testing_helpers::seededRng(33);
    std::uniform_real_distribution<double> u(-2, 2);
    std::vector<Vec3d> pts;
    for (int i = 0; i < 3000; ++i)
        pts.push_back(origin + u(rng) * e1 + u(rng) * e2);
    for (int f : kFunctionIds) {
        const auto out = runSmoothing(pts, f, 0.2);
        for (std::size_t i = 0; i < pts.size(); ++i) {
            ASSERT_NEAR((out[i] - origin).dot(n0), 0.0, 1e-12) << f << " " << i;
            // The plane-preserving functions do not move the points at all.
            if (f != kSmoothGauss) {
                ASSERT_VEC_NEAR(out[i], pts[i], 1e-12);
            }
        }
    }
}

TEST(Smoothing, FeaturePreservingKeepsCubeCorners) {
    std::vector<Vec3d> cube;
    const int m = 20;
    for (int i = 0; i <= m; ++i)
        for (int j = 0; j <= m; ++j)
            for (int k = 0; k <= m; ++k)
                if (i == 0 || i == m || j == 0 || j == m || k == 0 || k == m)
                    cube.push_back(Vec3d(double(i) / m, double(j) / m, double(k) / m));
    const double r = 0.16;
    const auto feature = runSmoothing(cube, kSmoothFeaturePreserving, r);
    const auto gauss = runSmoothing(cube, kSmoothGauss, r);
    int corners = 0;
    for (std::size_t i = 0; i < cube.size(); ++i) {
        bool corner = true;
        for (int a = 0; a < 3; ++a)
            corner = corner && (cube[i][a] == 0.0 || cube[i][a] == 1.0);
        if (!corner) continue;
        ++corners;
        // The projection moves a point by at most its distance from the Gauss mean,
        // which lies within the neighbourhood's radius.
        EXPECT_LE((feature[i] - cube[i]).norm(), 0.025 * (r + 1e-6)) << i;
        EXPECT_GT((gauss[i] - cube[i]).norm(), 0.025 * r) << i;
    }
    EXPECT_EQ(corners, 8);
}

TEST(Smoothing, NothingChangesWithoutANeighbourhood) {
    const std::vector<Vec3d> pts = wavySurface(500, 0.01, 34);
    for (int f : kFunctionIds) {
        EXPECT_EQ(runSmoothing(pts, f, 0.0), pts) << f;
        EXPECT_EQ(runSmoothing(pts, f, 1e-9), pts) << f;
        const std::vector<Vec3d> one = {Vec3d(1, 2, 3)};
        EXPECT_EQ(runSmoothing(one, f, 1.0), one);
    }
    // A radius below the spacing: every neighbourhood is the point alone.
    std::vector<Vec3d> grid;
    for (int i = 0; i < 10; ++i)
        for (int j = 0; j < 10; ++j)
            grid.push_back(Vec3d(i, j, 0.1 * ((i * j) % 3)));
    for (int f : kFunctionIds)
        EXPECT_EQ(runSmoothing(grid, f, 0.5), grid) << f;
}

// An abort while the loop runs stops every thread within one point's work: most points
// keep their copied coordinates.
TEST(Smoothing, AbortDuringTheLoopStopsEveryThread) {
    const std::vector<Vec3d> pts = wavySurface(200000, 0.001, 36);
    std::atomic<bool> abort{false};
    std::atomic<float> progress{0.0f};
    ParamSmoothing<Vec3d> param;
    param.control.abort = &abort;
    param.control.progress = &progress;
    param.control.threads = 2;
    std::vector<Vec3d> out(pts.size());
    param.begin = pts.data();
    param.end = pts.data() + pts.size();
    param.out = out.data();
    param.radius = 0.02;
    param.function = kSmoothFeaturePreserving;
    abortOnceStarted(abort, progress, [&] { calcSmoothing(param); });
    std::size_t untouched = 0;
    for (std::size_t i = 0; i < pts.size(); ++i)
        untouched += out[i] == pts[i] ? 1 : 0;
    EXPECT_GT(untouched, pts.size() / 2);
    EXPECT_LT(progress.load(), 50.0f);
}

TEST(Smoothing, AbortLeavesTheCopy) {
    const std::vector<Vec3d> pts = wavySurface(2000, 0.01, 35);
    std::atomic<bool> abort{true};
    EXPECT_EQ(runSmoothing(pts, kSmoothGauss, 0.2, &abort), pts);
}

}  // namespace
