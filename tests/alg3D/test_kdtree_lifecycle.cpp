// k-d tree life cycle: empty and unbuilt trees, rebuilding, cancel and abort
// during the build, failures, non-finite input.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "TestHelpers.h"
#include "alg3D/algorithm/KdTree.h"
#include "alg3D/matrix/Alg3dException.h"

using namespace alg3D;
using alg3D::algorithm::KdTree;

namespace {

using Tree = KdTree<Vec3d, 3, 0>;

std::vector<Vec3d> randomCloud(std::size_t n, std::uint64_t seed) {
    auto rng = testing_helpers::seededRng(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<Vec3d> pts(n);
    for (Vec3d& p : pts)
        p = Vec3d(u(rng), u(rng), u(rng));
    return pts;
}

// Every query of an unbuilt tree reports that nothing was found.
void expectNothingFound(const Tree& tree) {
    EXPECT_FALSE(tree.built());
    EXPECT_EQ(tree.size(), 0u);
    EXPECT_EQ(tree.findNearest(Vec3d(0, 0, 0), 0.0), nullptr);
    EXPECT_EQ(tree.findNearest(Vec3d(0, 0, 0), 5.0), nullptr);
    EXPECT_FALSE(tree.descend(Vec3d(0, 0, 0)));
    EXPECT_FALSE(tree.searchWithin(Vec3d(0, 0, 0), 10.0));
    std::vector<const Tree::Entry*> list;
    tree.collectWithin(Vec3d(0, 0, 0), 10.0, list);
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(tree.findKNearest(Vec3d(0, 0, 0), 5, 0.0, list), 0.0);
    EXPECT_TRUE(list.empty());
    std::vector<Tree::Subtree> blocks;
    tree.collectSubtrees(3, blocks);
    EXPECT_TRUE(blocks.empty());
    Vec3d c;
    bool front = false;
    EXPECT_FALSE(tree.findClosestOnMesh(Vec3d(0, 0, 0), 0.0, c, front));
}

}  // namespace

TEST(KdTreeLifecycle, NewTreeIsEmpty) {
    Tree tree;
    expectNothingFound(tree);
    EXPECT_EQ(tree.progress.load(), 0.0f);
    EXPECT_FALSE(tree.cancel.load());
}

TEST(KdTreeLifecycle, RangesWithoutElementsLeaveTheTreeUntouched) {
    const std::vector<Vec3d> pts = randomCloud(100, 1);
    Tree tree;
    tree.build(pts.data(), pts.data());
    expectNothingFound(tree);
    tree.build(nullptr, nullptr);
    expectNothingFound(tree);

    tree.build(pts.data(), pts.data() + pts.size());
    ASSERT_TRUE(tree.built());
    tree.build(pts.data() + 10, pts.data() + 10);
    tree.build(pts.data() + 10, pts.data() + 5);  // reversed
    tree.build(nullptr, pts.data() + 5);
    ASSERT_TRUE(tree.built());
    EXPECT_EQ(tree.size(), 100u);
    EXPECT_EQ(tree.findNearest(pts[42], 0.0), &pts[42]);
}

TEST(KdTreeLifecycle, OneElement) {
    const std::vector<Vec3d> pts = {Vec3d(1, 2, 3)};
    Tree tree;
    tree.build(pts.data(), pts.data() + 1);
    ASSERT_TRUE(tree.built());
    ASSERT_EQ(tree.entries().size(), 1u);
    EXPECT_EQ(tree.entries()[0].element, &pts[0]);
    EXPECT_EQ(tree.entries()[0].flags, algorithm::kKdLeaf);
    EXPECT_EQ(tree.nodes().size(), 1u);
    for (const Vec3d& q : {Vec3d(1, 2, 3), Vec3d(-100, 5, 1e6), Vec3d(1, 2, 3.5)})
        EXPECT_EQ(tree.findNearest(q, 0.0), &pts[0]);
    EXPECT_EQ(tree.findNearest(Vec3d(1, 2, 5), 1.0), nullptr);
    EXPECT_EQ(tree.findNearest(Vec3d(1, 2, 5), 2.0), &pts[0]);
    std::vector<Tree::Subtree> blocks;
    tree.collectSubtrees(0, blocks);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].split, &pts[0]);
    EXPECT_EQ(blocks[0].begin, 0u);
    EXPECT_EQ(blocks[0].end, 1u);
    std::vector<const Tree::Entry*> list;
    EXPECT_EQ(tree.findKNearest(Vec3d(1, 2, 7), 3, 0.0, list), 4.0);
    ASSERT_EQ(list.size(), 1u);
}

TEST(KdTreeLifecycle, CandidateCloserThanTheToleranceIsReportedWhateverTheBound) {
    const std::vector<Vec3d> pts = {Vec3d(0, 0, 0), Vec3d(1, 0, 0), Vec3d(0, 1, 0)};
    Tree tree;
    tree.build(pts.data(), pts.data() + pts.size());
    // 5e-7 away: reported even with a far smaller positive maximum distance.
    EXPECT_EQ(tree.findNearest(Vec3d(0, 0, 5e-7), 1e-9), &pts[0]);
    // 2e-6 away: the bound (plus its 1.49e-8 allowance) rules.
    EXPECT_EQ(tree.findNearest(Vec3d(0, 0, 2e-6), 1e-9), nullptr);
    EXPECT_EQ(tree.findNearest(Vec3d(0, 0, 2e-6), 2e-6 - 1e-8), &pts[0]);
}

TEST(KdTreeLifecycle, DuplicatePointsTerminateAndAnswerAtDistanceZero) {
    std::vector<Vec3d> pts(5000, Vec3d(0.1, 0.2, 0.3));
    pts[1234] = Vec3d(0.5, 0.5, 0.5);
    Tree tree;
    tree.build(pts.data(), pts.data() + pts.size());
    ASSERT_TRUE(tree.built());
    const Vec3d* got = tree.findNearest(Vec3d(0.1, 0.2, 0.3), 0.0);
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(*got, Vec3d(0.1, 0.2, 0.3));
    std::vector<const Tree::Entry*> list;
    tree.collectWithin(Vec3d(0.1, 0.2, 0.3), 0.0, list);
    EXPECT_EQ(list.size(), 4999u);
    EXPECT_EQ(tree.findKNearest(Vec3d(0.1, 0.2, 0.3), 30, 0.0, list), 0.0);
    EXPECT_EQ(list.size(), 30u);
}

TEST(KdTreeLifecycle, RebuildReplacesTheIndex) {
    const std::vector<Vec3d> a = randomCloud(500, 2);
    const std::vector<Vec3d> b = randomCloud(300, 3);
    Tree tree;
    tree.build(a.data(), a.data() + a.size());
    tree.markExcluded(3);
    tree.build(b.data(), b.data() + b.size());
    ASSERT_TRUE(tree.built());
    EXPECT_EQ(tree.size(), 300u);
    EXPECT_EQ(tree.first(), b.data());
    for (std::size_t pos = 0; pos < tree.size(); ++pos)
        EXPECT_FALSE(tree.isExcluded(pos));
    for (const Vec3d& p : b)
        EXPECT_EQ(tree.findNearest(p, 0.0), &p);
}

TEST(KdTreeLifecycle, AbortFlagStopsTheBuildAndDiscardsTheOldIndex) {
    const std::vector<Vec3d> pts = randomCloud(20000, 4);
    Tree tree;
    tree.build(pts.data(), pts.data() + pts.size());
    ASSERT_TRUE(tree.built());
    const std::atomic<bool> abort{true};
    tree.build(pts.data(), pts.data() + pts.size(), &abort);
    expectNothingFound(tree);
    // The next build without the flag works again.
    tree.build(pts.data(), pts.data() + pts.size());
    ASSERT_TRUE(tree.built());
}

TEST(KdTreeLifecycle, CancelFromAnotherThreadLeavesAnUnbuiltTree) {
    const std::vector<Vec3d> pts = randomCloud(400000, 5);
    Tree tree;
    // A watcher sets `cancel` as soon as the build reports progress. The build
    // takes far longer than the watcher needs to react, but a scheduler could in
    // principle delay the watcher, so a few attempts are allowed.
    bool cancelled = false;
    for (int attempt = 0; attempt < 5 && !cancelled; ++attempt) {
        std::atomic<bool> started{false}, set{false};
        std::thread watcher([&] {
            started = true;
            while (tree.progress.load() <= 0.0f && !set.load()) {
            }
            tree.cancel = true;
            set = true;
        });
        while (!started.load()) {
        }
        tree.build(pts.data(), pts.data() + pts.size());
        set = true;
        watcher.join();
        if (!tree.built()) {
            cancelled = true;
            expectNothingFound(tree);
        }
    }
    EXPECT_TRUE(cancelled);
    // A build clears the flag at its start and completes.
    tree.build(pts.data(), pts.data() + 1000);
    ASSERT_TRUE(tree.built());
    EXPECT_FALSE(tree.cancel.load());
}

TEST(KdTreeLifecycle, ProgressStaysInRangeAndEndsAtOneHundred) {
    const std::vector<Vec3d> pts = randomCloud(100000, 6);
    Tree tree;
    std::atomic<bool> done{false};
    std::atomic<bool> inRange{true};
    std::thread watcher([&] {
        while (!done.load()) {
            const float p = tree.progress.load();
            if (!(p >= 0.0f && p <= 100.5f)) inRange = false;
        }
    });
    tree.build(pts.data(), pts.data() + pts.size());
    done = true;
    watcher.join();
    EXPECT_TRUE(inRange.load());
    EXPECT_EQ(tree.progress.load(), 100.0f);
}

TEST(KdTreeLifecycle, CountBeyondTheArraysIsRefused) {
    // A corrupt range: far more elements than any array can hold. Only the count
    // is used; no element is read.
    static const Vec3d base[1] = {Vec3d(0, 0, 0)};
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(&base[0]);
    const std::uintptr_t huge = (std::uintptr_t(1) << 62) | (std::uintptr_t(1) << 61);
    const Vec3d* last =
        reinterpret_cast<const Vec3d*>(start + (huge / sizeof(Vec3d)) * sizeof(Vec3d));
    Tree tree;
    try {
        tree.build(&base[0], last);
        FAIL() << "no exception";
    } catch (const Alg3dException& e) {
        EXPECT_EQ(std::string(e.what()), "ALG3D::vector<T> too long");
    }
    expectNothingFound(tree);
}

TEST(KdTreeLifecycle, NonFiniteCoordinatesNeitherCrashNorDisturbOthers) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<Vec3d> pts = randomCloud(3000, 7);
    for (std::size_t i = 0; i < pts.size(); i += 13)
        pts[i] = Vec3d(nan, pts[i].y, pts[i].z);
    for (std::size_t i = 5; i < pts.size(); i += 29)
        pts[i] = Vec3d(pts[i].x, nan, nan);
    for (std::size_t i = 7; i < pts.size(); i += 31)
        pts[i] = Vec3d(pts[i].x, -inf, pts[i].z);
    auto finite = [](const Vec3d& p) {
        return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
    };
    Tree tree;
    tree.build(pts.data(), pts.data() + pts.size());
    ASSERT_TRUE(tree.built());
    std::vector<const Tree::Entry*> list;
    for (const Vec3d& q : randomCloud(200, 8)) {
        double want = std::numeric_limits<double>::infinity();
        for (const Vec3d& p : pts)
            if (finite(p)) want = std::min(want, (p - q).squaredNorm());
        const Vec3d* got = tree.findNearest(q, 0.0);
        ASSERT_NE(got, nullptr);
        ASSERT_TRUE(finite(*got));
        ASSERT_NEAR((*got - q).squaredNorm(), want, 1e-15);
        list.clear();
        tree.collectWithin(q, 0.3, list);
        for (const auto* e : list)
            ASSERT_TRUE(finite(*e->element));
        tree.findKNearest(q, 20, 0.0, list);
        ASSERT_EQ(list.size(), 20u);
        for (const auto* e : list)
            ASSERT_TRUE(finite(*e->element));
    }
    // Non-finite queries find nothing or something, but return.
    EXPECT_EQ(tree.findNearest(Vec3d(nan, 0, 0), 0.0), nullptr);
    tree.findKNearest(Vec3d(nan, nan, nan), 10, 0.0, list);
    tree.findNearest(Vec3d(inf, 0, 0), 0.0);
    tree.descend(Vec3d(nan, 0, 0));
    EXPECT_FALSE(tree.searchWithin(Vec3d(0, 0, 0), nan));
    list.clear();
    tree.collectWithin(Vec3d(0, 0, 0), nan, list);
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(tree.findNearest(Vec3d(0, 0, 0), nan), nullptr);
}

TEST(KdTreeLifecycle, KNearestWithFewerUsableEntriesThanKStops) {
    std::vector<Vec3d> pts = randomCloud(200, 9);
    Tree tree;
    tree.build(pts.data(), pts.data() + pts.size());
    for (std::size_t pos = 0; pos < 190; ++pos)
        tree.markExcluded(pos);
    std::vector<const Tree::Entry*> list;
    tree.findKNearest(Vec3d(0, 0, 0), 50, 0.01, list);
    EXPECT_EQ(list.size(), 10u);
    tree.findKNearest(Vec3d(0, 0, 0), 500, 0.0, list);
    EXPECT_EQ(list.size(), 10u);
}
