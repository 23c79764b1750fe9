// Thinning to a count and to a spacing, checked by brute force: exactly m points kept
// and spread over the cloud; no two kept points within the spacing and every removed
// point within it of a kept one; duplicates; normals stay paired; an aborted run
// leaves the cloud exactly as it was; the in-place removal marks.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <vector>

#include "PointCloudTestUtils.h"
#include "alg3D/algorithm/KdTree.h"
#include "alg3D/algorithm/Thinning.h"

using namespace alg3D;
using namespace alg3D::algorithm;
using namespace pointcloud_test;

namespace {

ProcessControl control(std::atomic<bool>* abort = nullptr) {
    ProcessControl c;
    c.abort = abort;
    return c;
}

std::vector<Vec3d> randomCloud(std::size_t n, std::uint64_t seed) {
    auto rng = testing_helpers::seededRng(seed);
    std::uniform_real_distribution<double> u(0, 1);
    std::vector<Vec3d> pts;
    for (std::size_t i = 0; i < n; ++i)
        pts.push_back(Vec3d(u(rng), u(rng), 0.2 * u(rng)));
    return pts;
}

template <typename P>
std::vector<P> thinned(std::vector<P> pts, bool count, double value) {
    std::vector<std::uint8_t> remove;
    const bool done =
        count ? thinningToCount<P>(control(), pts.data(), pts.data() + pts.size(),
                                   static_cast<std::uint64_t>(value), remove)
              : thinningToSpacing<P>(control(), pts.data(), pts.data() + pts.size(), value, remove);
    EXPECT_TRUE(done);
    compactThinned(pts, nullptr, remove);
    return pts;
}

TEST(Thinning, ToCountKeepsExactlyMSpreadPoints) {
    std::vector<Vec3d> grid;
    for (int i = 0; i < 100; ++i)
        for (int j = 0; j < 100; ++j)
            grid.push_back(Vec3d(0.01 * i, 0.01 * j, 0));
    for (std::uint64_t m : {1u, 7u, 100u, 9999u, 10000u}) {
        const auto kept = thinned(grid, true, static_cast<double>(m));
        ASSERT_EQ(kept.size(), m);
        // The kept points are distinct points of the input.
        for (std::size_t i = 1; i < kept.size() && m <= 100; ++i)
            for (std::size_t j = 0; j < i; ++j)
                ASSERT_NE(kept[i], kept[j]);
    }
    // Spread: 100 points of a 1 x 1 square (ideal spacing 0.1) cover every point
    // of the square within 0.2.
    const auto kept = thinned(grid, true, 100);
    double worst = 0;
    for (const Vec3d& p : grid) {
        double best = 1e9;
        for (const Vec3d& k : kept)
            best = std::min(best, (p - k).norm());
        worst = std::max(worst, best);
    }
    EXPECT_LT(worst, 0.2);
    // m = 0 or m larger than n: nothing happens.
    EXPECT_EQ(thinned(grid, true, 0).size(), grid.size());
    EXPECT_EQ(thinned(grid, true, 10001).size(), grid.size());
}

// The kept points are the entries at the positions floor(i·n/m) of the tree order
// (reckoned here in integers), for counts whose ratio n/m is no whole number.
TEST(Thinning, ToCountKeepsEveryATHEntryOfTheTreeOrder) {
    const auto pts = randomCloud(10007, 44);
    KdTree<Vec3d> tree;
    tree.build(pts.data(), pts.data() + pts.size());
    ASSERT_TRUE(tree.built());
    const std::uint64_t n = pts.size();
    for (std::uint64_t m : {1u, 3u, 9u, 1000u, 3331u, 10006u}) {
        std::vector<std::uint8_t> remove;
        ASSERT_TRUE(
            thinningToCount<Vec3d>(control(), pts.data(), pts.data() + pts.size(), m, remove));
        std::vector<std::uint8_t> expected(pts.size(), 1);
        for (std::uint64_t i = 0; i < m; ++i)
            expected[tree.elementIndex(static_cast<std::size_t>(i * n / m))] = 0;
        ASSERT_EQ(remove, expected) << m;
    }
}

TEST(Thinning, ToSpacingAgainstBruteForce) {
    const auto pts = randomCloud(3000, 41);
    const auto cloud = convert<GLPoint>(pts);
    for (double spacing : {0.01, 0.03, 0.1}) {
        const auto kept = thinned(cloud, false, spacing);
        std::vector<Vec3d> k3;
        for (const GLPoint& p : kept)
            k3.push_back(Vec3d(p.x, p.y, p.z));
        for (std::size_t i = 0; i < k3.size(); ++i)
            for (std::size_t j = 0; j < i; ++j)
                ASSERT_GT((k3[i] - k3[j]).norm(), spacing) << spacing;
        for (const Vec3d& p : pts) {
            double best = 1e9;
            for (const Vec3d& k : k3)
                best = std::min(best, (p - k).norm());
            ASSERT_LE(best, spacing + 1e-6) << spacing;
        }
    }
    // Below the smallest spacing every point stays; coincident points leave one.
    EXPECT_EQ(thinned(pts, false, 1e-9).size(), pts.size());
    const std::vector<Vec3d> dup = {Vec3d(1, 1, 1), Vec3d(1, 1, 1)};
    EXPECT_EQ(thinned(dup, false, 0.0).size(), 1u);
    EXPECT_EQ(thinned(dup, false, 5.0).size(), 1u);
}

TEST(Thinning, NormalsStayPairedAndMarksWork) {
    const auto base = randomCloud(2000, 42);
    for (bool count : {true, false}) {
        std::vector<Vec3d> pts = base;
        std::vector<Vec3f> normals;
        for (const Vec3d& p : pts)
            normals.push_back(Vec3f(float(p.x), float(p.y), float(p.z)));
        std::vector<std::uint8_t> remove;
        ASSERT_TRUE(count ? thinningToCount<Vec3d>(control(), pts.data(), pts.data() + pts.size(),
                                                   300, remove)
                          : thinningToSpacing<Vec3d>(control(), pts.data(), pts.data() + pts.size(),
                                                     0.05, remove));
        std::vector<Vec3d> marked = base;
        std::vector<Vec3f> markedNormals = normals;
        compactThinned(pts, &normals, remove);
        ASSERT_EQ(normals.size(), pts.size());
        for (std::size_t i = 0; i < pts.size(); ++i)
            ASSERT_EQ(normals[i], Vec3f(float(pts[i].x), float(pts[i].y), float(pts[i].z)));
        // The same result through the in-place marks.
        ASSERT_TRUE(
            count ? thinToCount<Vec3d>(control(), marked.data(), marked.data() + marked.size(), 300)
                  : thinToSpacing<Vec3d>(control(), marked.data(), marked.data() + marked.size(),
                                         0.05));
        removeMarked(marked, &markedNormals);
        EXPECT_EQ(marked, pts);
        EXPECT_EQ(markedNormals, normals);
    }
}

TEST(Thinning, AbortLeavesTheCloudUnchanged) {
    const auto base = randomCloud(5000, 43);
    std::atomic<bool> abort{true};
    for (bool count : {true, false}) {
        std::vector<Vec3d> pts = base;
        const bool done =
            count ? thinToCount<Vec3d>(control(&abort), pts.data(), pts.data() + pts.size(), 10)
                  : thinToSpacing<Vec3d>(control(&abort), pts.data(), pts.data() + pts.size(), 0.1);
        EXPECT_FALSE(done);
        EXPECT_EQ(pts, base);
    }
}

}  // namespace
