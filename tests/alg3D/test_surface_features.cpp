// Surface features: each function on geometry with a known value (plane, spheres of
// several radii, a regular grid, a cube), the k-nearest kernel against brute-force
// neighbourhoods with the point's own radius (also independent of the thread count),
// and the evaluation's statistics, one-sided colour range and colours.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <vector>

#include "PointCloudTestUtils.h"
#include "alg3D/algorithm/SurfaceFeatures.h"
#include "alg3D/matrix/ColorScale.h"

using namespace alg3D;
using namespace alg3D::algorithm;
using namespace pointcloud_test;

namespace {

template <typename P>
std::vector<double> runFeature(const std::vector<P>& pts, int feature, int kernel, double radius,
                               std::size_t k, int threads = 0) {
    std::atomic<float> progress{0.0f};
    ParamEdges<P> param;
    param.control.progress = &progress;
    param.control.threads = threads;
    std::vector<double> out(pts.size(), -1.0);
    param.begin = pts.data();
    param.end = pts.data() + pts.size();
    param.out = out.data();
    param.feature = feature;
    param.radius = radius;
    param.pointNumber = k;
    param.kernelMode = kernel;
    calcEdges(param);
    EXPECT_FLOAT_EQ(progress.load(), 100.0f);
    return out;
}

std::vector<Vec3d> gather(const std::vector<Vec3d>& pts, const std::vector<std::size_t>& idx) {
    std::vector<Vec3d> out;
    for (std::size_t i : idx)
        out.push_back(pts[i]);
    return out;
}

TEST(SurfaceFeatures, IntrinsicCurvatureIsZeroOnAPlane) {
    const Vec3d n0 = Vec3d(-0.2, 0.4, 0.9).normalized();
    const Vec3d e1 = n0.cross(Vec3d(1, 0, 0)).normalized(), e2 = n0.cross(e1);
    auto rng = testing_helpers::seededRng(21);
    std::uniform_real_distribution<double> u(-3, 3);
    std::vector<Vec3d> plane;
    for (int i = 0; i < 3000; ++i)
        plane.push_back(Vec3d(5, 5, 5) + u(rng) * e1 + u(rng) * e2);
    for (int kernel : {kKernelAuto, kKernelRadius, kKernelPointNumber})
        for (double v : runFeature(plane, kFeatureIntrinsicCurvature, kernel, 0.4, 12))
            ASSERT_LT(std::abs(v), 1e-12) << kernel;
}

TEST(SurfaceFeatures, ExtrinsicCurvatureIsOneOverRadiusOnSpheres) {
    for (double R : {0.5, 2.0, 25.0}) {
        const std::vector<Vec3d> sphere = spherePoints(4000, Vec3d(1, -2, 3), R, 22);
        const auto cloud = convert<GLPoint>(sphere);
        for (int kernel : {kKernelRadius, kKernelAuto}) {
            const auto values = runFeature(cloud, kFeatureExtrinsicCurvature, kernel, 0.3 * R, 0);
            for (std::size_t i = 0; i < values.size(); ++i)
                ASSERT_NEAR(values[i] * R, 1.0, 1e-9) << "R " << R << " point " << i;
        }
    }
}

TEST(SurfaceFeatures, DensityOfARegularGrid) {
    const double h = 0.02;
    std::vector<Vec3d> grid;
    for (int i = 0; i < 100; ++i)
        for (int j = 0; j < 100; ++j)
            grid.push_back(Vec3d(i * h, j * h, 1.0));
    const double r = 10 * h;
    const auto values = runFeature(grid, kFeatureDensity, kKernelRadius, r, 0);
    const double rr = r + 1e-6;
    for (std::size_t i = 0; i < grid.size(); ++i) {
        const double count = static_cast<double>(bruteWithin(grid, grid[i], rr).size());
        ASSERT_NEAR(values[i], count / (M_PI * rr * rr), 1e-9 * values[i]) << i;
        const double x = grid[i].x, y = grid[i].y;
        if (x >= r && y >= r && x <= 99 * h - r && y <= 99 * h - r) {
            // Interior: lattice points in a disc of radius 10 spacings (317) against
            // its area (314.16), the known density 1/h².
            ASSERT_NEAR(values[i] * h * h, 1.0, 0.02) << i;
        }
    }
}

TEST(SurfaceFeatures, IsolatedPointAndTinyRadius) {
    const std::vector<Vec3d> pts = {Vec3d(0, 0, 0), Vec3d(10, 0, 0), Vec3d(0, 10, 0)};
    const double r = 0.5, rr = r + 1e-6;
    for (double v : runFeature(pts, kFeatureDensity, kKernelRadius, r, 0))
        EXPECT_NEAR(v, 1.0 / (M_PI * rr * rr), 1e-15);
    for (double v : runFeature(pts, kFeatureLocalEdges, kKernelRadius, r, 0))
        EXPECT_EQ(v, 0.0);
    EXPECT_EQ(localEdges({}, Vec3d(0, 0, 0), 1.0), 0.0);
    EXPECT_EQ(localPointDensity({Vec3d(0, 0, 0)}, Vec3d(0, 0, 0), 1e-9), 0.0);
    EXPECT_EQ(
        extrinsicCurvature({Vec3d(0, 0, 0), Vec3d(1, 0, 0), Vec3d(0, 1, 0)}, Vec3d(0, 0, 0), 1.0),
        0.0);
}

// Cube surface on a grid: local edges responds on the edges, not on the faces.
TEST(SurfaceFeatures, LocalEdgesHigherOnCubeEdgesThanOnFaces) {
    std::vector<Vec3d> cube;
    const int m = 40;
    for (int i = 0; i <= m; ++i)
        for (int j = 0; j <= m; ++j) {
            const double a = double(i) / m, b = double(j) / m;
            cube.push_back(Vec3d(a, b, 0));
            cube.push_back(Vec3d(a, b, 1));
            if (j > 0 && j < m) {
                cube.push_back(Vec3d(a, 0, b));
                cube.push_back(Vec3d(a, 1, b));
            }
            if (i > 0 && i < m && j > 0 && j < m) {
                cube.push_back(Vec3d(0, a, b));
                cube.push_back(Vec3d(1, a, b));
            }
        }
    const auto values = runFeature(cube, kFeatureLocalEdges, kKernelRadius, 0.1, 0);
    double edgeSum = 0, faceSum = 0;
    int edges = 0, faces = 0;
    for (std::size_t i = 0; i < cube.size(); ++i) {
        int onBoundary = 0;
        bool nearCorner = false;
        for (int a = 0; a < 3; ++a) {
            const double c = cube[i][a];
            if (c == 0.0 || c == 1.0) {
                ++onBoundary;
            } else if (c < 0.2 || c > 0.8) {
                nearCorner = true;  // near an edge of the face
            }
        }
        if (onBoundary >= 2) {
            edgeSum += values[i];
            ++edges;
        } else if (!nearCorner) {
            faceSum += values[i];
            ++faces;
        }
    }
    ASSERT_GT(edges, 0);
    ASSERT_GT(faces, 0);
    EXPECT_GT(edgeSum / edges, 5.0 * (faceSum / faces));
    EXPECT_GT(edgeSum / edges, 1e-5);
}

// The k-nearest kernel hands each function the radius of the point's own
// neighbourhood: the values match brute-force neighbourhoods and do not depend on
// the thread count (the radius left over from the previous point would).
TEST(SurfaceFeatures, KNearestKernelUsesThePointsOwnRadius) {
    const std::vector<Vec3d> pts = wavySurface(1500, 0.01, 23);
    for (int feature : {kFeatureLocalEdges, kFeatureDensity, kFeatureExtrinsicCurvature}) {
        const auto one = runFeature(pts, feature, kKernelPointNumber, 0.0, 15, 1);
        const auto two = runFeature(pts, feature, kKernelPointNumber, 0.0, 15, 2);
        for (std::size_t i = 0; i < pts.size(); ++i) {
            ASSERT_EQ(one[i], two[i]) << feature << " " << i;
            double kth = 0;
            const auto nb = gather(pts, bruteKNearest(pts, pts[i], 15, &kth));
            const double ref = featureValue(feature, nb, pts[i], kth);
            ASSERT_NEAR(one[i], ref, 1e-9 * std::max(1.0, std::abs(ref))) << feature << " " << i;
        }
    }
}

// An abort while the loop runs stops every thread within one point's work: most values
// keep their -1.
TEST(SurfaceFeatures, AbortDuringTheLoopStopsEveryThread) {
    const std::vector<Vec3d> pts = wavySurface(200000, 0.001, 24);
    for (int kernel : {kKernelRadius, kKernelPointNumber}) {
        std::atomic<bool> abort{false};
        std::atomic<float> progress{0.0f};
        ParamEdges<Vec3d> param;
        param.control.abort = &abort;
        param.control.progress = &progress;
        param.control.threads = 2;
        std::vector<double> out(pts.size(), -1.0);
        param.begin = pts.data();
        param.end = pts.data() + pts.size();
        param.out = out.data();
        param.feature = kFeatureExtrinsicCurvature;
        param.radius = 0.02;
        param.pointNumber = 30;
        param.kernelMode = kernel;
        abortOnceStarted(abort, progress, [&] { calcEdges(param); });
        const auto untouched = std::count(out.begin(), out.end(), -1.0);
        EXPECT_GT(static_cast<std::size_t>(untouched), pts.size() / 2) << kernel;
        EXPECT_LT(progress.load(), 50.0f) << kernel;
    }
}

TEST(FeatureEvaluation, StatisticsAndOneSidedClamp) {
    // The minimum lies above mean - 3σ: D becomes the minimum and E stays at
    // mean + 3σ even though the maximum lies below it.
    const std::vector<double> v = {0, 0, 0, 0, 10};
    const FeatureEvaluation e = evaluateFeatures(v);
    EXPECT_EQ(e.minimum, 0.0);
    EXPECT_EQ(e.maximum, 10.0);
    EXPECT_EQ(e.mean, 2.0);
    EXPECT_EQ(e.median, 0.0);
    EXPECT_EQ(e.stdDev, 4.0);
    EXPECT_EQ(e.low, 0.0);
    EXPECT_EQ(e.high, 14.0);
    EXPECT_EQ(e.colors[4], colorScale(10.0 / 14.0, 240.0));
    EXPECT_EQ(e.colors[0], colorScale(0.0, 240.0));
    EXPECT_EQ(featureStatisticsText(e, "5ms"),
              "min.: 0\nmax.: 10\nmean: 2\nmedian: 0\nstdDev.: 4\nduration: 5ms");

    // A low outlier: D stays at mean - 3σ, E is lowered to the maximum; values below
    // D are clamped to blue, the maximum is red.
    std::vector<double> w(100, 10.0);
    w.push_back(-1000.0);
    const FeatureEvaluation f = evaluateFeatures(w);
    EXPECT_NEAR(f.mean, 0.0, 1e-12);
    EXPECT_GT(f.low, -1000.0);
    EXPECT_NEAR(f.low, -3.0 * f.stdDev, 1e-9);
    EXPECT_EQ(f.high, 10.0);
    EXPECT_EQ(f.colors[100], colorScale(0.0, 240.0));
    EXPECT_EQ(f.colors[0], colorScale(1.0, 240.0));
    EXPECT_EQ(f.median, 10.0);

    // All values equal: D = E, every point blue.
    const FeatureEvaluation g = evaluateFeatures(std::vector<double>(7, 3.5));
    EXPECT_EQ(g.low, 3.5);
    for (const Color& c : g.colors)
        EXPECT_EQ(c, colorScale(0.0, 240.0));
    EXPECT_EQ(formatFeatureNumber(1234567.0), "1.23457e+06");
}

}  // namespace
