// Region detection against a brute-force union-find over all pairs within the radius
// (the same partition) on random clusters, duplicates and chains exactly the radius
// apart; the small-region selection and its strict comparison; colours; abort.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <numeric>
#include <vector>

#include "PointCloudTestUtils.h"
#include "alg3D/algorithm/Regions.h"
#include "alg3D/matrix/ColorScale.h"

using namespace alg3D;
using namespace alg3D::algorithm;
using namespace pointcloud_test;

namespace {

struct UnionFind {
    std::vector<std::size_t> parent;
    explicit UnionFind(std::size_t n) : parent(n) {
        std::iota(parent.begin(), parent.end(), std::size_t(0));
    }
    std::size_t find(std::size_t a) {
        while (parent[a] != a)
            a = parent[a] = parent[parent[a]];
        return a;
    }
    void join(std::size_t a, std::size_t b) { parent[find(a)] = find(b); }
};

template <typename P>
std::vector<std::uint64_t> runRegions(const std::vector<P>& pts, double radius,
                                      std::uint64_t& count, std::atomic<bool>* abort = nullptr) {
    ProcessControl c;
    c.abort = abort;
    std::vector<std::uint64_t> labels(pts.size(), 99);
    ParamRegions<P> param;
    param.control = c;
    param.begin = pts.data();
    param.end = pts.data() + pts.size();
    param.labels = labels.data();
    param.radius = radius;
    calcRegions(param);
    count = param.regionCount;
    return labels;
}

void expectSamePartition(const std::vector<Vec3d>& pts, double radius) {
    UnionFind uf(pts.size());
    const double r = radius + 1e-6;
    for (std::size_t i = 0; i < pts.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (dist2(pts[i], pts[j]) <= r * r) uf.join(i, j);
    std::uint64_t count = 0;
    const auto labels = runRegions(convert<GLPoint>(pts), radius, count);
    std::map<std::size_t, std::uint64_t> rootToLabel;
    std::map<std::uint64_t, std::size_t> labelToRoot;
    for (std::size_t i = 0; i < pts.size(); ++i) {
        ASSERT_LT(labels[i], count);
        const std::size_t root = uf.find(i);
        auto a = rootToLabel.emplace(root, labels[i]).first;
        auto b = labelToRoot.emplace(labels[i], root).first;
        ASSERT_EQ(a->second, labels[i]) << "point " << i;
        ASSERT_EQ(b->second, root) << "point " << i;
    }
    EXPECT_EQ(rootToLabel.size(), count);
}

TEST(Regions, SamePartitionAsBruteForceUnionFind) {
    auto rng = testing_helpers::seededRng(51);
    std::uniform_real_distribution<double> u(0, 10);
    std::normal_distribution<double> g(0, 0.2);
    std::vector<Vec3d> pts;
    for (int c = 0; c < 25; ++c) {
        const Vec3d centre(u(rng), u(rng), u(rng));
        for (int i = 0; i < 60; ++i)
            pts.push_back(centre + Vec3d(g(rng), g(rng), g(rng)));
    }
    for (int i = 0; i < 100; ++i)
        pts.push_back(Vec3d(u(rng), u(rng), u(rng)));  // clutter
    for (int i = 0; i < 50; ++i)
        pts.push_back(pts[static_cast<std::size_t>(i * 7)]);  // duplicates
    for (double radius : {0.0, 0.05, 0.2, 0.5, 1.5})
        expectSamePartition(pts, radius);
}

TEST(Regions, ChainsExactlyTheRadiusApartAndDuplicates) {
    std::vector<Vec3d> chain;
    for (int i = 0; i < 50; ++i)
        chain.push_back(Vec3d(0.25 * i, 1.0, -2.0));
    for (int i = 0; i < 50; ++i)
        chain.push_back(Vec3d(100 + 0.15 * i, 0.2 * i, 0.0));  // steps of 0.25
    expectSamePartition(chain, 0.25);
    std::uint64_t count = 0;
    runRegions(chain, 0.25, count);
    EXPECT_EQ(count, 2u);
    runRegions(chain, 0.2, count);
    EXPECT_EQ(count, chain.size());
    const std::vector<Vec3d> dup(5, Vec3d(1, 2, 3));
    runRegions(dup, 0.0, count);
    EXPECT_EQ(count, 1u);
}

TEST(Regions, SmallRegionSelectionAndColours) {
    // Regions of 1, 2 and 3 points far apart.
    const std::vector<Vec3d> pts = {Vec3d(0, 0, 0),  Vec3d(10, 0, 0),   Vec3d(10.1, 0, 0),
                                    Vec3d(20, 0, 0), Vec3d(20.1, 0, 0), Vec3d(20.2, 0, 0)};
    std::uint64_t count = 0;
    const auto labels = runRegions(pts, 0.15, count);
    ASSERT_EQ(count, 3u);
    const auto selected = selectSmallRegions(labels, count, 2);
    EXPECT_EQ(selected, (std::vector<std::uint8_t>{1, 0, 0, 0, 0, 0}));
    EXPECT_EQ(selectSmallRegions(labels, count, 3), (std::vector<std::uint8_t>{1, 1, 1, 0, 0, 0}));
    // Every point its own region: with max. points 2 all are selected.
    const auto single = runRegions(pts, 0.01, count);
    ASSERT_EQ(count, pts.size());
    for (std::uint8_t s : selectSmallRegions(single, count, 2))
        EXPECT_EQ(s, 1);
    // Colours by label; one region is uniformly blue.
    const auto colors = regionColors(labels, 3);
    for (std::size_t i = 0; i < pts.size(); ++i)
        EXPECT_EQ(colors[i], colorScale(labels[i] / 3.0, 240.0));
    const auto one = runRegions(pts, 50.0, count);
    ASSERT_EQ(count, 1u);
    for (const Color& c : regionColors(one, count))
        EXPECT_EQ(c, colorScale(0.0, 240.0));
}

TEST(Regions, AbortAndEmptyCloud) {
    std::uint64_t count = 7;
    runRegions(std::vector<Vec3d>{}, 1.0, count);
    EXPECT_EQ(count, 0u);
    std::atomic<bool> abort{true};
    ProcessControl c;
    c.abort = &abort;
    const std::vector<Vec3d> pts = wavySurface(1000, 0.0, 52);
    std::vector<std::uint64_t> labels(pts.size());
    EXPECT_FALSE(detectRegions(c, pts.data(), pts.data() + pts.size(), 0.1, labels.data(), count));
}

}  // namespace
