// Point k-d trees (Vec3d and GLPoint): every query against brute force on random
// clouds, duplicates, collinear and coplanar points, regular grids with many exact
// ties, and the smallest clouds; the tree's structure; exclusion marks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "TestHelpers.h"
#include "alg3D/algorithm/KdTree.h"
#include "alg3D/matrix/GLPoint.h"

using namespace alg3D;
using alg3D::algorithm::KdTree;

namespace {

constexpr double kSqrtEpsilon = 1.4901161193847656e-08;

template <typename P>
P makePoint(double x, double y, double z);
template <>
Vec3d makePoint<Vec3d>(double x, double y, double z) {
    return Vec3d(x, y, z);
}
template <>
GLPoint makePoint<GLPoint>(double x, double y, double z) {
    return GLPoint(x, y, z, 10, 20, 30);
}

// The same formula as the tree, so that boundary cases compare exactly.
template <typename P>
double dist2(const Vec3d& q, const P& p) {
    const double dx = q.x - p.x, dy = q.y - p.y, dz = q.z - p.z;
    return dx * dx + dy * dy + dz * dz;
}

struct Cloud {
    std::string name;
    std::vector<Vec3d> points;
    double scale;  // typical spacing, to pick radii
};

std::vector<Cloud> testClouds() {
    std::vector<Cloud> clouds;
    auto rng = testing_helpers::seededRng(101);
    std::uniform_real_distribution<double> u(-1.0, 1.0);

    Cloud random{"random", {}, 0.15};
    for (int i = 0; i < 1500; ++i)
        random.points.push_back(Vec3d(u(rng), u(rng), u(rng)));
    clouds.push_back(random);

    Cloud dup{"duplicates", {}, 0.3};
    std::vector<Vec3d> few;
    for (int i = 0; i < 23; ++i)
        few.push_back(Vec3d(u(rng), u(rng), u(rng)));
    std::uniform_int_distribution<int> pick(0, 22);
    for (int i = 0; i < 900; ++i)
        dup.points.push_back(few[pick(rng)]);
    clouds.push_back(dup);

    Cloud same{"all equal", std::vector<Vec3d>(300, Vec3d(0.5, -0.25, 2.0)), 0.1};
    clouds.push_back(same);

    Cloud line{"collinear", {}, 0.01};
    for (int i = 0; i < 700; ++i) {
        const double t = u(rng);
        line.points.push_back(Vec3d(1 + 2 * t, -3 + t, 0.5 - 0.5 * t));
    }
    clouds.push_back(line);

    Cloud axisLine{"on the x axis", {}, 0.01};
    for (int i = 0; i < 500; ++i)
        axisLine.points.push_back(Vec3d(u(rng), 0, 0));
    clouds.push_back(axisLine);

    Cloud plane{"plane z = const", {}, 0.1};
    for (int i = 0; i < 1200; ++i)
        plane.points.push_back(Vec3d(u(rng), u(rng), 3.0));
    clouds.push_back(plane);

    Cloud tilted{"tilted plane", {}, 0.1};
    for (int i = 0; i < 1000; ++i) {
        const double a = u(rng), b = u(rng);
        tilted.points.push_back(Vec3d(a, b, 0.3 * a - 0.7 * b + 1));
    }
    clouds.push_back(tilted);

    // Regular grids: every distance occurs many times.
    Cloud grid{"grid 0.25", {}, 0.25};
    for (int i = 0; i < 10; ++i)
        for (int j = 0; j < 10; ++j)
            for (int k = 0; k < 10; ++k)
                grid.points.push_back(Vec3d(0.25 * i, 0.25 * j, 0.25 * k));
    std::shuffle(grid.points.begin(), grid.points.end(), rng);
    clouds.push_back(grid);

    Cloud grid2{"grid 0.1 flat", {}, 0.1};
    for (int i = 0; i < 30; ++i)
        for (int j = 0; j < 30; ++j)
            grid2.points.push_back(Vec3d(0.1 * i, 0.1 * j, -1.0));
    clouds.push_back(grid2);

    for (std::size_t n : {1u, 2u, 3u}) {
        Cloud tiny{"n = " + std::to_string(n), {}, 1.0};
        for (std::size_t i = 0; i < n; ++i)
            tiny.points.push_back(Vec3d(u(rng), u(rng), u(rng)));
        clouds.push_back(tiny);
    }
    clouds.push_back(Cloud{"two equal", {Vec3d(1, 1, 1), Vec3d(1, 1, 1)}, 1.0});
    clouds.push_back(Cloud{"three on z", {Vec3d(0, 0, 1), Vec3d(0, 0, 0), Vec3d(0, 0, 2)}, 1.0});
    return clouds;
}

// Queries: random points around the cloud, the cloud's own points, points close
// to them and midpoints of pairs (equidistant from two points).
std::vector<Vec3d> queriesFor(const std::vector<Vec3d>& pts, std::uint64_t seed,
                              std::size_t count) {
    auto rng = testing_helpers::seededRng(seed);
    Vec3d lo = pts[0], hi = pts[0];
    for (const Vec3d& p : pts)
        for (std::size_t k = 0; k < 3; ++k)
            lo[k] = std::min(lo[k], p[k]), hi[k] = std::max(hi[k], p[k]);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::uniform_int_distribution<std::size_t> pick(0, pts.size() - 1);
    std::vector<Vec3d> q;
    for (std::size_t i = 0; i < count; ++i) {
        switch (i % 5) {
            case 0:
            case 1: {
                Vec3d v;
                for (std::size_t k = 0; k < 3; ++k) {
                    const double w = hi[k] - lo[k] + 0.5;
                    v[k] = lo[k] - 0.25 + w * u(rng) * 1.0;
                }
                q.push_back(v);
                break;
            }
            case 2:
                q.push_back(pts[pick(rng)]);
                break;
            case 3: {
                const double e = std::pow(10.0, -9.0 + 8.0 * u(rng));
                q.push_back(pts[pick(rng)] + Vec3d(u(rng) - 0.5, u(rng) - 0.5, u(rng) - 0.5) * e);
                break;
            }
            default:
                q.push_back((pts[pick(rng)] + pts[pick(rng)]) * 0.5);
                break;
        }
    }
    return q;
}

template <typename P>
std::vector<P> convert(const std::vector<Vec3d>& pts) {
    std::vector<P> out;
    out.reserve(pts.size());
    for (const Vec3d& p : pts)
        out.push_back(makePoint<P>(p.x, p.y, p.z));
    return out;
}

template <typename P>
double bruteMin(const std::vector<P>& pts, const Vec3d& q,
                const std::vector<bool>* excluded = nullptr) {
    double best = std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < pts.size(); ++i) {
        if (excluded && (*excluded)[i]) continue;
        best = std::min(best, dist2(q, pts[i]));
    }
    return best;
}

template <typename P>
class KdTreePoints : public ::testing::Test {};
using PointTypes = ::testing::Types<Vec3d, GLPoint>;
TYPED_TEST_SUITE(KdTreePoints, PointTypes);

// The order of the partition along an axis: the key on it, then the next ones.
template <typename P>
std::tuple<double, double, double> ranking(const P& p, unsigned axis) {
    return {p[axis], p[(axis + 1) % 3], p[(axis + 2) % 3]};
}

// Every inner node splits its range at the median position along depth mod 3;
// keys left of it are at most the split, right of it at least; [low, high]
// spans the range; the entries are a permutation of the input.
template <typename P>
void checkStructure(const KdTree<P, 3, 0>& tree, const std::vector<P>& pts) {
    const auto& entries = tree.entries();
    const auto& nodes = tree.nodes();
    ASSERT_EQ(entries.size(), pts.size());
    std::vector<int> seen(pts.size(), 0);
    for (const auto& e : entries) {
        ASSERT_EQ(e.flags & algorithm::kKdLeaf, algorithm::kKdLeaf);
        const std::ptrdiff_t idx = e.element - pts.data();
        ASSERT_GE(idx, 0);
        ASSERT_LT(static_cast<std::size_t>(idx), pts.size());
        ++seen[static_cast<std::size_t>(idx)];
    }
    for (int s : seen)
        ASSERT_EQ(s, 1);

    struct Range {
        std::size_t a, b;
        unsigned depth;
    };
    std::vector<Range> stack{{0, pts.size() - 1, 0}};
    while (!stack.empty()) {
        const Range r = stack.back();
        stack.pop_back();
        if (r.a == r.b) continue;
        const std::size_t mid = (r.a + r.b) / 2;
        const auto& node = nodes[mid];
        const unsigned axis = r.depth % 3;
        ASSERT_EQ(node.flags & algorithm::kKdLeaf, 0);
        // The left range holds the lower ranks (by the key on the axis, ties by
        // the following axes), its highest being the median that gave the split.
        const P* leftMax = entries[r.a].element;
        const P* rightMin = entries[mid + 1].element;
        for (std::size_t i = r.a; i <= mid; ++i)
            if (ranking(*entries[i].element, axis) > ranking(*leftMax, axis))
                leftMax = entries[i].element;
        for (std::size_t i = mid + 1; i <= r.b; ++i)
            if (ranking(*entries[i].element, axis) < ranking(*rightMin, axis))
                rightMin = entries[i].element;
        ASSERT_LE(ranking(*leftMax, axis), ranking(*rightMin, axis));
        ASSERT_EQ(node.split, (*leftMax)[axis]);
        double lo = std::numeric_limits<double>::infinity(), hi = -lo;
        for (std::size_t i = r.a; i <= r.b; ++i) {
            const double key = (*entries[i].element)[axis];
            lo = std::min(lo, key);
            hi = std::max(hi, key);
            if (i <= mid) {
                ASSERT_LE(key, node.split);
            } else {
                ASSERT_GE(key, node.split);
            }
        }
        ASSERT_EQ(node.low, lo);
        ASSERT_EQ(node.high, hi);
        stack.push_back({r.a, mid, r.depth + 1});
        stack.push_back({mid + 1, r.b, r.depth + 1});
    }
}

}  // namespace

TYPED_TEST(KdTreePoints, StructureOnAllClouds) {
    using P = TypeParam;
    for (const Cloud& c : testClouds()) {
        SCOPED_TRACE(c.name);
        const std::vector<P> pts = convert<P>(c.points);
        KdTree<P, 3, 0> tree;
        tree.build(pts.data(), pts.data() + pts.size());
        ASSERT_TRUE(tree.built());
        EXPECT_EQ(tree.size(), pts.size());
        EXPECT_EQ(tree.nodes().size(), pts.size() > 1 ? pts.size() - 1 : 1u);
        EXPECT_FLOAT_EQ(tree.progressStep(), 100.0f / static_cast<float>(pts.size()));
        EXPECT_EQ(tree.progress.load(), 100.0f);
        EXPECT_EQ(tree.first(), pts.data());
        checkStructure(tree, pts);
    }
}

TYPED_TEST(KdTreePoints, FindNearestMatchesBruteForce) {
    using P = TypeParam;
    auto rng = testing_helpers::seededRng(202);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (const Cloud& c : testClouds()) {
        SCOPED_TRACE(c.name);
        const std::vector<P> pts = convert<P>(c.points);
        KdTree<P, 3, 0> tree;
        tree.build(pts.data(), pts.data() + pts.size());
        for (const Vec3d& q : queriesFor(c.points, 203, 300)) {
            const double want = bruteMin(pts, q);
            const double dmin = std::sqrt(want);

            const P* any = tree.findNearest(q, 0.0);
            ASSERT_NE(any, nullptr);
            ASSERT_EQ(dist2(q, *any), want);
            ASSERT_EQ(tree.findNearest(q, -1e-12), nullptr);
            ASSERT_EQ(tree.findNearest(q, -5.0), nullptr);

            // Bounds around the answer: random, tiny, exactly the distance.
            const double bounds[] = {u(rng) * 3 * c.scale,
                                     1e-12,
                                     1e-7,
                                     dmin,
                                     dmin * (1 - 1e-6),
                                     dmin + 2 * kSqrtEpsilon,
                                     std::nextafter(dmin, 0.0)};
            for (double maxDistance : bounds) {
                if (!(maxDistance > 0.0)) continue;
                const P* got = tree.findNearest(q, maxDistance);
                if (dmin <= maxDistance || dmin < 1e-6) {
                    ASSERT_NE(got, nullptr) << "maxDistance " << maxDistance << " dmin " << dmin;
                    ASSERT_EQ(dist2(q, *got), want);
                } else if (dmin > maxDistance + kSqrtEpsilon * (1 + 1e-9)) {
                    ASSERT_EQ(got, nullptr) << "maxDistance " << maxDistance << " dmin " << dmin;
                } else if (got != nullptr) {
                    ASSERT_EQ(dist2(q, *got), want);
                }
            }
        }
    }
}

TYPED_TEST(KdTreePoints, SearchWithinAndDescendMatchBruteForce) {
    using P = TypeParam;
    auto rng = testing_helpers::seededRng(301);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::uniform_int_distribution<std::size_t> pickAny(0, 1u << 30);
    for (const Cloud& c : testClouds()) {
        SCOPED_TRACE(c.name);
        const std::vector<P> pts = convert<P>(c.points);
        KdTree<P, 3, 0> tree;
        tree.build(pts.data(), pts.data() + pts.size());
        for (const Vec3d& q : queriesFor(c.points, 302, 200)) {
            const double want = bruteMin(pts, q);
            // Radii: random, zero, negative and exactly the distance of some
            // element (the boundary belongs to the ball).
            const double exact = std::sqrt(dist2(q, pts[pickAny(rng) % pts.size()]));
            for (double r : {u(rng) * 2 * c.scale, 0.0, -1.0, exact, std::sqrt(want)}) {
                const auto hit = tree.searchWithin(q, r);
                if (r >= 0 && want <= r * r) {
                    ASSERT_TRUE(hit) << "radius " << r;
                    ASSERT_EQ(hit.squaredDistance, want);
                    ASSERT_EQ(dist2(q, *hit.entry->element), want);
                    ASSERT_VEC_NEAR(hit.closest, coords(*hit.entry->element), 0.0);
                } else {
                    ASSERT_FALSE(hit) << "radius " << r;
                }
            }
            // The approximate search gives some element, never one nearer than
            // the nearest, and it finds every element closer than 1e-6.
            const auto guess = tree.descend(q);
            ASSERT_TRUE(guess);
            ASSERT_EQ(guess.squaredDistance, dist2(q, *guess.entry->element));
            ASSERT_GE(guess.squaredDistance, want);
            if (want < 1e-12) {
                ASSERT_EQ(guess.squaredDistance, want);
            }
        }
    }
}

TYPED_TEST(KdTreePoints, DescendLooksOnBothSidesOfAPlaneItTouches) {
    using P = TypeParam;
    // Points on two sides of x = 0 with the root splitting exactly at x = 0.
    std::vector<P> pts;
    for (int i = 0; i < 40; ++i)
        pts.push_back(makePoint<P>(-1.1 - i * 0.01, i * 0.1, 0));
    for (int i = 0; i < 40; ++i)
        pts.push_back(makePoint<P>(1.0 + i * 0.01, i * 0.1, 0));
    pts.push_back(makePoint<P>(0.0, 100.0, 0));  // the median along x
    KdTree<P, 3, 0> tree;
    tree.build(pts.data(), pts.data() + pts.size());
    ASSERT_EQ(tree.nodes()[(pts.size() - 1) / 2].split, 0.0);
    // Query near the plane: the right side's (1, 0, 0) is nearest and is found
    // although the query lies (within 1e-6) on the left of the split.
    const auto hit = tree.descend(Vec3d(-5e-7, 0.0, 0.0));
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit.entry->element, &pts[40]);
    // Far from the plane on the left only the left side is searched.
    const auto left = tree.descend(Vec3d(-0.5, 0.0, 0.0));
    ASSERT_TRUE(left);
    EXPECT_LE((*left.entry->element)[0], 0.0);
}

TYPED_TEST(KdTreePoints, CollectWithinEqualsBruteForceSet) {
    using P = TypeParam;
    auto rng = testing_helpers::seededRng(401);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::uniform_int_distribution<std::size_t> pickAny(0, 1u << 30);
    std::vector<const typename KdTree<P, 3, 0>::Entry*> list;
    for (const Cloud& c : testClouds()) {
        SCOPED_TRACE(c.name);
        const std::vector<P> pts = convert<P>(c.points);
        KdTree<P, 3, 0> tree;
        tree.build(pts.data(), pts.data() + pts.size());
        for (const Vec3d& q : queriesFor(c.points, 402, 150)) {
            const double boundary = std::sqrt(dist2(q, pts[pickAny(rng) % pts.size()]));
            for (double r : {u(rng) * 2 * c.scale, 0.0, -0.5, boundary, c.scale, 1e-9, 100.0}) {
                list.assign(1, nullptr);  // appends after what is there
                tree.collectWithin(q, r, list);
                ASSERT_EQ(list.front(), nullptr);
                std::vector<std::size_t> got;
                for (std::size_t j = 1; j < list.size(); ++j) {
                    got.push_back(tree.elementIndex(tree.positionOf(list[j])));
                    if (j > 1) {
                        ASSERT_LT(list[j - 1], list[j]) << "not in tree order";
                    }
                }
                std::sort(got.begin(), got.end());
                std::vector<std::size_t> want;
                if (r >= 0)
                    for (std::size_t i = 0; i < pts.size(); ++i)
                        if (dist2(q, pts[i]) <= r * r) want.push_back(i);
                ASSERT_EQ(got, want) << "radius " << r;
            }
        }
    }
}

TYPED_TEST(KdTreePoints, FindKNearestMatchesBruteForce) {
    using P = TypeParam;
    auto rng = testing_helpers::seededRng(501);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::vector<const typename KdTree<P, 3, 0>::Entry*> list;
    for (const Cloud& c : testClouds()) {
        SCOPED_TRACE(c.name);
        const std::vector<P> pts = convert<P>(c.points);
        const std::size_t n = pts.size();
        KdTree<P, 3, 0> tree;
        tree.build(pts.data(), pts.data() + pts.size());
        std::vector<double> all(n);
        std::size_t queryNumber = 0;
        for (const Vec3d& q : queriesFor(c.points, 502, 100)) {
            for (std::size_t i = 0; i < n; ++i)
                all[i] = dist2(q, pts[i]);
            std::vector<double> sorted = all;
            std::sort(sorted.begin(), sorted.end());
            ++queryNumber;
            for (std::size_t k : {std::size_t(1), std::size_t(2), std::size_t(3), std::size_t(5),
                                  std::size_t(30), std::size_t(70), n - 1, n, n + 4}) {
                // Lists of nearly the whole cloud are slow to check; a few suffice.
                if (k == 0 || (k > 100 && queryNumber > 8)) continue;
                const double hints[] = {0.0,
                                        1e-9,
                                        u(rng) * c.scale,
                                        std::sqrt(sorted[std::min(k, n) - 1]),
                                        100.0,
                                        std::numeric_limits<double>::quiet_NaN(),
                                        -1.0};
                for (double hint : hints) {
                    const double g = tree.findKNearest(q, k, hint, list);
                    const std::size_t m = std::min(k, n);
                    ASSERT_EQ(list.size(), m) << "k " << k << " hint " << hint;
                    std::vector<double> mine;
                    for (const auto* e : list)
                        mine.push_back(dist2(q, *e->element));
                    // The farthest is last and is the returned distance.
                    ASSERT_EQ(mine.back(), *std::max_element(mine.begin(), mine.end()));
                    ASSERT_EQ(g, std::sqrt(mine.back()));
                    std::sort(mine.begin(), mine.end());
                    for (std::size_t j = 0; j < m; ++j)
                        ASSERT_EQ(mine[j], sorted[j])
                            << "k " << k << " hint " << hint << " j " << j;
                    // No entry twice.
                    std::vector<const void*> ids(list.begin(), list.end());
                    std::sort(ids.begin(), ids.end());
                    ASSERT_EQ(std::unique(ids.begin(), ids.end()), ids.end());
                }
            }
            EXPECT_EQ(tree.findKNearest(q, 0, 0.75, list), 0.75);
            EXPECT_TRUE(list.empty());
        }
    }
}

TYPED_TEST(KdTreePoints, CollectSubtreesPartitionsTheEntries) {
    using P = TypeParam;
    for (const Cloud& c : testClouds()) {
        SCOPED_TRACE(c.name);
        const std::vector<P> pts = convert<P>(c.points);
        KdTree<P, 3, 0> tree;
        tree.build(pts.data(), pts.data() + pts.size());
        unsigned height = 0;
        while ((std::size_t(1) << height) < pts.size())
            ++height;
        for (unsigned depth = 0; depth <= height + 2; ++depth) {
            std::vector<typename KdTree<P, 3, 0>::Subtree> blocks;
            tree.collectSubtrees(depth, blocks);
            ASSERT_FALSE(blocks.empty());
            std::size_t next = 0;
            for (const auto& blk : blocks) {
                ASSERT_EQ(blk.begin, next);
                ASSERT_LT(blk.begin, blk.end);
                next = blk.end;
                if (blk.end - blk.begin == 1) {
                    ASSERT_EQ(blk.split, tree.entries()[blk.begin].element);
                } else {
                    // The splitting element is the median of the block: the
                    // highest ranked of its left half.
                    const std::size_t mid = (blk.begin + blk.end - 1) / 2;
                    ASSERT_EQ((*blk.split)[depth % 3], tree.nodes()[mid].split);
                    bool inLeft = false;
                    for (std::size_t i = blk.begin; i <= mid; ++i) {
                        inLeft = inLeft || tree.entries()[i].element == blk.split;
                        ASSERT_LE(ranking(*tree.entries()[i].element, depth % 3),
                                  ranking(*blk.split, depth % 3));
                    }
                    ASSERT_TRUE(inLeft);
                }
            }
            ASSERT_EQ(next, pts.size());
            if (depth == 0) {
                ASSERT_EQ(blocks.size(), 1u);
            }
            if (depth >= height) {
                for (const auto& blk : blocks)
                    ASSERT_EQ(blk.end - blk.begin, 1u);
            }
            if (pts.size() >= (std::size_t(1) << depth) * 2) {
                ASSERT_EQ(blocks.size(), std::size_t(1) << depth);
            }
        }
    }
}

TYPED_TEST(KdTreePoints, QueriesFromManyThreadsAgree) {
    using P = TypeParam;
    auto rng = testing_helpers::seededRng(601);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<P> pts;
    for (int i = 0; i < 20000; ++i)
        pts.push_back(makePoint<P>(u(rng), u(rng), u(rng)));
    KdTree<P, 3, 0> tree;
    tree.build(pts.data(), pts.data() + pts.size());
    const int count = 4000;
    std::vector<Vec3d> queries(count);
    for (Vec3d& q : queries)
        q = Vec3d(u(rng), u(rng), u(rng));
    std::vector<const P*> parallel(count), serial(count);
    std::vector<double> kParallel(count), kSerial(count);
#pragma omp parallel
    {
        std::vector<const typename KdTree<P, 3, 0>::Entry*> list;
        double hint = 0.0;
#pragma omp for schedule(dynamic, 1)
        for (int i = 0; i < count; ++i) {
            parallel[i] = tree.findNearest(queries[i], 0.0);
            kParallel[i] = tree.findKNearest(queries[i], 30, hint, list);
            hint = kParallel[i];
        }
    }
    std::vector<const typename KdTree<P, 3, 0>::Entry*> list;
    for (int i = 0; i < count; ++i) {
        serial[i] = tree.findNearest(queries[i], 0.0);
        kSerial[i] = tree.findKNearest(queries[i], 30, 0.0, list);
    }
    for (int i = 0; i < count; ++i) {
        ASSERT_EQ(dist2(queries[i], *parallel[i]), dist2(queries[i], *serial[i]));
        ASSERT_EQ(kParallel[i], kSerial[i]);
    }
}

TYPED_TEST(KdTreePoints, ExclusionMarksAreHonoured) {
    using P = TypeParam;
    auto rng = testing_helpers::seededRng(701);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (const Cloud& c : testClouds()) {
        SCOPED_TRACE(c.name);
        const std::vector<P> pts = convert<P>(c.points);
        const std::size_t n = pts.size();
        KdTree<P, 3, 0> tree;
        tree.build(pts.data(), pts.data() + pts.size());
        // Exclude about 70 % of the entries, by position, and a whole block.
        std::vector<bool> excluded(n, false);
        std::size_t kept = 0;
        for (std::size_t pos = 0; pos < n; ++pos) {
            const bool mark = u(rng) < 0.7 || pos < n / 4;
            if (mark) {
                tree.markExcluded(pos);
                excluded[tree.elementIndex(pos)] = true;
            } else {
                ++kept;
            }
            ASSERT_EQ(tree.isExcluded(pos), mark);
        }
        // A node carries the mark exactly when its whole range does.
        std::vector<std::pair<std::size_t, std::size_t>> stack{{0, n - 1}};
        while (!stack.empty()) {
            const auto [a, b] = stack.back();
            stack.pop_back();
            if (a == b) continue;
            const std::size_t mid = (a + b) / 2;
            bool all = true;
            for (std::size_t i = a; i <= b; ++i)
                all = all && tree.isExcluded(i);
            ASSERT_EQ((tree.nodes()[mid].flags & algorithm::kKdExcluded) != 0, all);
            stack.push_back({a, mid});
            stack.push_back({mid + 1, b});
        }

        std::vector<const typename KdTree<P, 3, 0>::Entry*> list;
        for (const Vec3d& q : queriesFor(c.points, 702, 80)) {
            const double want = bruteMin(pts, q, &excluded);
            const P* got = tree.findNearest(q, 0.0);
            if (kept == 0) {
                ASSERT_EQ(got, nullptr);
            } else {
                ASSERT_NE(got, nullptr);
                ASSERT_FALSE(excluded[static_cast<std::size_t>(got - pts.data())]);
                ASSERT_EQ(dist2(q, *got), want);
            }
            const auto guess = tree.descend(q);
            if (guess) {
                ASSERT_FALSE(excluded[static_cast<std::size_t>(guess.entry->element - pts.data())]);
            }

            const double r = u(rng) * 3 * c.scale;
            list.clear();
            tree.collectWithin(q, r, list);
            std::size_t expected = 0;
            for (std::size_t i = 0; i < n; ++i)
                expected += !excluded[i] && dist2(q, pts[i]) <= r * r;
            ASSERT_EQ(list.size(), expected);
            for (const auto* e : list)
                ASSERT_FALSE(excluded[static_cast<std::size_t>(e->element - pts.data())]);

            const std::size_t k = 7;
            tree.findKNearest(q, k, 0.0, list);
            ASSERT_EQ(list.size(), std::min(k, kept));
            std::vector<double> mine, all;
            for (const auto* e : list) {
                ASSERT_FALSE(excluded[static_cast<std::size_t>(e->element - pts.data())]);
                mine.push_back(dist2(q, *e->element));
            }
            for (std::size_t i = 0; i < n; ++i)
                if (!excluded[i]) all.push_back(dist2(q, pts[i]));
            std::sort(mine.begin(), mine.end());
            std::sort(all.begin(), all.end());
            all.resize(std::min(k, kept));
            ASSERT_EQ(mine, all);
        }

        tree.clearExclusions();
        for (std::size_t pos = 0; pos < n; ++pos)
            ASSERT_FALSE(tree.isExcluded(pos));
        for (const auto& node : tree.nodes())
            ASSERT_EQ(node.flags & algorithm::kKdExcluded, 0);
        const Vec3d q = c.points[0];
        ASSERT_EQ(dist2(q, *tree.findNearest(q, 0.0)), 0.0);
    }
}

// Connected components by repeated collection with marking, against a
// brute-force union of all pairs within the radius.
TYPED_TEST(KdTreePoints, CollectWithinAndExcludeSweepsComponents) {
    using P = TypeParam;
    for (const Cloud& c : testClouds()) {
        SCOPED_TRACE(c.name);
        const std::vector<P> pts = convert<P>(c.points);
        const std::size_t n = pts.size();
        if (n > 1000) continue;  // keep the pairwise reference quick
        const double radius = c.scale * 0.6;
        KdTree<P, 3, 0> tree;
        tree.build(pts.data(), pts.data() + pts.size());

        std::vector<std::size_t> parent(n);
        std::iota(parent.begin(), parent.end(), 0);
        auto find = [&](std::size_t i) {
            while (parent[i] != i)
                i = parent[i] = parent[parent[i]];
            return i;
        };
        for (std::size_t i = 0; i < n; ++i)
            for (std::size_t j = i + 1; j < n; ++j)
                if (dist2(coords(pts[i]), pts[j]) <= radius * radius) parent[find(i)] = find(j);

        std::vector<long> label(n, -1);
        long regions = 0;
        std::vector<const typename KdTree<P, 3, 0>::Entry*> stack, found;
        for (std::size_t pos = 0; pos < n; ++pos) {
            if (tree.isExcluded(pos)) continue;
            tree.markExcluded(pos);
            stack.assign(1, &tree.entries()[pos]);
            while (!stack.empty()) {
                const auto* e = stack.back();
                stack.pop_back();
                label[static_cast<std::size_t>(e->element - pts.data())] = regions;
                found.clear();
                tree.collectWithinAndExclude(coords(*e->element), radius, found);
                for (const auto* f : found)
                    ASSERT_TRUE(tree.isExcluded(tree.positionOf(f)));
                stack.insert(stack.end(), found.begin(), found.end());
            }
            ++regions;
        }
        // Everything is marked in the end, root included.
        for (std::size_t pos = 0; pos < n; ++pos)
            ASSERT_TRUE(tree.isExcluded(pos));
        if (n > 1) {
            ASSERT_NE(tree.nodes()[(n - 1) / 2].flags & algorithm::kKdExcluded, 0);
        }
        // Same partition as the reference.
        for (std::size_t i = 0; i < n; ++i) {
            ASSERT_GE(label[i], 0);
            for (std::size_t j = i + 1; j < n; ++j)
                ASSERT_EQ(label[i] == label[j], find(i) == find(j)) << i << " " << j;
        }
        EXPECT_EQ(tree.findNearest(c.points[0], 0.0), nullptr);
    }
}
