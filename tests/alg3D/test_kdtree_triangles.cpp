// Triangle geometry (closest point, enclosing sphere, proxy) and the triangle
// k-d tree, against brute force over all triangles with an independent
// closest-point routine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "TestHelpers.h"
#include "alg3D/algorithm/KdTree.h"
#include "alg3D/algorithm/KdTriangleProxy.h"
#include "alg3D/algorithm/TriangleGeometry.h"

using namespace alg3D;
using alg3D::algorithm::closestPointOnTriangle;
using alg3D::algorithm::enclosingSphereCentre;
using alg3D::algorithm::KdTree;
using alg3D::algorithm::KdTriangleProxy;
using alg3D::algorithm::triangleNormal;

namespace {

using Proxy = KdTriangleProxy<Vec3d>;
using TriTree = KdTree<Proxy, 3, 0>;

Vec3d closestOnSegment(const Vec3d& p, const Vec3d& a, const Vec3d& b) {
    const Vec3d ab = b - a;
    const double len2 = ab.squaredNorm();
    if (len2 == 0.0) return a;
    const double t = std::clamp((p - a).dot(ab) / len2, 0.0, 1.0);
    return a + ab * t;
}

// Independent closest point: projection into the plane when it falls inside
// (barycentric test), else the nearest of the three edges.
Vec3d referenceClosest(const Vec3d& p, const Vec3d& a, const Vec3d& b, const Vec3d& c) {
    const Vec3d n = (b - a).cross(c - a);
    const double n2 = n.squaredNorm();
    const double scale = std::max({(b - a).squaredNorm(), (c - a).squaredNorm(), 1e-300});
    if (n2 > 1e-20 * scale * scale) {
        const Vec3d proj = p - n * ((p - a).dot(n) / n2);
        const double wa = (c - b).cross(proj - b).dot(n);
        const double wb = (a - c).cross(proj - c).dot(n);
        const double wc = (b - a).cross(proj - a).dot(n);
        if (wa >= 0 && wb >= 0 && wc >= 0) return proj;
    }
    const Vec3d candidates[3] = {closestOnSegment(p, a, b), closestOnSegment(p, b, c),
                                 closestOnSegment(p, c, a)};
    Vec3d best = candidates[0];
    for (const Vec3d& q : candidates)
        if ((q - p).squaredNorm() < (best - p).squaredNorm()) best = q;
    return best;
}

struct Mesh {
    std::vector<Vec3d> vertices;
    std::vector<Proxy> proxies;
};

// A soup of random triangles of mixed size, with a share of degenerate ones:
// collinear corners, two equal corners, three equal corners.
Mesh randomSoup(std::size_t count, std::uint64_t seed) {
    auto rng = testing_helpers::seededRng(seed);
    std::uniform_real_distribution<double> pos(-10.0, 10.0), size(0.01, 2.0), unit(-1.0, 1.0);
    Mesh m;
    m.vertices.reserve(3 * count);
    for (std::size_t i = 0; i < count; ++i) {
        const Vec3d c(pos(rng), pos(rng), pos(rng));
        const double s = size(rng);
        Vec3d a = c + Vec3d(unit(rng), unit(rng), unit(rng)) * s;
        Vec3d b = c + Vec3d(unit(rng), unit(rng), unit(rng)) * s;
        Vec3d d = c + Vec3d(unit(rng), unit(rng), unit(rng)) * s;
        switch (i % 10) {
            case 7:
                d = a + (b - a) * 0.3;
                break;  // collinear
            case 8:
                b = a;
                break;  // two equal corners
            case 9:
                b = a, d = a;
                break;  // a single point
            default:
                break;
        }
        m.vertices.push_back(a);
        m.vertices.push_back(b);
        m.vertices.push_back(d);
    }
    for (std::size_t i = 0; i < count; ++i)
        m.proxies.emplace_back(&m.vertices[3 * i], &m.vertices[3 * i + 1], &m.vertices[3 * i + 2]);
    return m;
}

// A closed, watertight mesh: a triangulated sphere of radius r (UV grid).
Mesh sphereMesh(double r, int rings, int segments) {
    Mesh m;
    const double pi = 3.141592653589793;
    m.vertices.push_back(Vec3d(0, 0, r));
    for (int i = 1; i < rings; ++i) {
        const double th = pi * i / rings;
        for (int j = 0; j < segments; ++j) {
            const double ph = 2 * pi * j / segments;
            m.vertices.push_back(Vec3d(r * std::sin(th) * std::cos(ph),
                                       r * std::sin(th) * std::sin(ph), r * std::cos(th)));
        }
    }
    m.vertices.push_back(Vec3d(0, 0, -r));
    const int south = static_cast<int>(m.vertices.size()) - 1;
    auto ring = [&](int i, int j) { return 1 + (i - 1) * segments + (j % segments); };
    std::vector<int> idx;
    for (int j = 0; j < segments; ++j)
        idx.insert(idx.end(), {0, ring(1, j), ring(1, j + 1)});
    for (int i = 1; i < rings - 1; ++i)
        for (int j = 0; j < segments; ++j) {
            idx.insert(idx.end(), {ring(i, j), ring(i + 1, j), ring(i + 1, j + 1)});
            idx.insert(idx.end(), {ring(i, j), ring(i + 1, j + 1), ring(i, j + 1)});
        }
    for (int j = 0; j < segments; ++j)
        idx.insert(idx.end(), {south, ring(rings - 1, j + 1), ring(rings - 1, j)});
    for (std::size_t t = 0; t < idx.size(); t += 3)
        m.proxies.emplace_back(&m.vertices[idx[t]], &m.vertices[idx[t + 1]],
                               &m.vertices[idx[t + 2]]);
    return m;
}

struct BruteClosest {
    double d2 = std::numeric_limits<double>::infinity();
    std::size_t index = 0;
    Vec3d point;
};

BruteClosest bruteClosest(const Mesh& m, const Vec3d& q) {
    BruteClosest best;
    for (std::size_t i = 0; i < m.proxies.size(); ++i) {
        const Proxy& t = m.proxies[i];
        const Vec3d c = referenceClosest(q, *t.vertex0, *t.vertex1, *t.vertex2);
        const double d2 = (c - q).squaredNorm();
        if (d2 < best.d2) best = BruteClosest{d2, i, c};
    }
    return best;
}

std::vector<Vec3d> queriesAround(std::size_t count, double extent, std::uint64_t seed) {
    auto rng = testing_helpers::seededRng(seed);
    std::uniform_real_distribution<double> pos(-extent, extent);
    std::vector<Vec3d> q(count);
    for (Vec3d& v : q)
        v = Vec3d(pos(rng), pos(rng), pos(rng));
    return q;
}

constexpr double kTol = 1e-9;

}  // namespace

// ------------------------------------------------------------------ geometry

TEST(TriangleGeometry, ClosestPointMatchesIndependentRoutine) {
    auto rng = testing_helpers::seededRng(11);
    std::uniform_real_distribution<double> u(-3.0, 3.0);
    for (int trial = 0; trial < 20000; ++trial) {
        const Vec3d a(u(rng), u(rng), u(rng)), b(u(rng), u(rng), u(rng)), c(u(rng), u(rng), u(rng));
        const Vec3d p(u(rng), u(rng), u(rng));
        const Vec3d got = closestPointOnTriangle(p, a, b, c);
        const Vec3d want = referenceClosest(p, a, b, c);
        // Same distance (the point itself may differ only where it is ambiguous,
        // which random triangles never are).
        ASSERT_NEAR((got - p).norm(), (want - p).norm(), kTol) << "trial " << trial;
        ASSERT_VEC_NEAR(got, want, 1e-7);
    }
}

TEST(TriangleGeometry, ClosestPointRegions) {
    const Vec3d a(0, 0, 0), b(4, 0, 0), c(0, 4, 0);
    EXPECT_VEC_NEAR(closestPointOnTriangle(Vec3d(-1, -1, 3), a, b, c), a, 0.0);
    EXPECT_VEC_NEAR(closestPointOnTriangle(Vec3d(6, -1, 3), a, b, c), b, 0.0);
    EXPECT_VEC_NEAR(closestPointOnTriangle(Vec3d(-1, 7, -3), a, b, c), c, 0.0);
    EXPECT_VEC_NEAR(closestPointOnTriangle(Vec3d(2, -5, 1), a, b, c), Vec3d(2, 0, 0), 1e-15);
    EXPECT_VEC_NEAR(closestPointOnTriangle(Vec3d(-5, 1, 1), a, b, c), Vec3d(0, 1, 0), 1e-15);
    EXPECT_VEC_NEAR(closestPointOnTriangle(Vec3d(3, 3, 2), a, b, c), Vec3d(2, 2, 0), 1e-15);
    EXPECT_VEC_NEAR(closestPointOnTriangle(Vec3d(1, 1, -7), a, b, c), Vec3d(1, 1, 0), 1e-15);
    // On the triangle: the point itself.
    EXPECT_VEC_NEAR(closestPointOnTriangle(Vec3d(1, 2, 0), a, b, c), Vec3d(1, 2, 0), 1e-15);
}

// The same random cases shrunk to micrometres and grown to kilometres: the region
// slack follows the triangle's size, so face points are never taken for edge points.
TEST(TriangleGeometry, ClosestPointDoesNotDependOnTheUnit) {
    for (double unit : {1e-6, 1e-3, 1e3}) {
        SCOPED_TRACE(unit);
        auto rng = testing_helpers::seededRng(13);
        std::uniform_real_distribution<double> u(-3.0, 3.0);
        for (int trial = 0; trial < 5000; ++trial) {
            const Vec3d a = Vec3d(u(rng), u(rng), u(rng)) * unit,
                        b = Vec3d(u(rng), u(rng), u(rng)) * unit,
                        c = Vec3d(u(rng), u(rng), u(rng)) * unit;
            const Vec3d p = Vec3d(u(rng), u(rng), u(rng)) * unit;
            const Vec3d want = referenceClosest(p, a, b, c);
            ASSERT_NEAR((closestPointOnTriangle(p, a, b, c) - p).norm(), (want - p).norm(),
                        kTol * unit)
                << "trial " << trial;
        }
        // Above the face centre: the foot point, not a point of an edge.
        const Vec3d a(0, 0, 0), b = Vec3d(4, 0, 0) * unit, c = Vec3d(0, 4, 0) * unit;
        const Vec3d foot = (a + b + c) / 3.0;
        EXPECT_VEC_NEAR(closestPointOnTriangle(foot + Vec3d(0, 0, 2) * unit, a, b, c), foot,
                        1e-15 * unit);
    }
    // A millimetre triangle whose circumcentre is its enclosing centre.
    const Vec3d a(0, 0, 0), b(2e-3, 0, 0), c(1e-3, 1.5e-3, 0);
    const Vec3d centre = enclosingSphereCentre(a, b, c);
    EXPECT_NEAR((centre - a).norm(), (centre - b).norm(), 1e-18);
    EXPECT_NEAR((centre - a).norm(), (centre - c).norm(), 1e-18);
}

TEST(TriangleGeometry, ClosestPointOnDegenerateTriangles) {
    auto rng = testing_helpers::seededRng(12);
    std::uniform_real_distribution<double> u(-3.0, 3.0);
    for (int trial = 0; trial < 5000; ++trial) {
        const Vec3d a(u(rng), u(rng), u(rng)), b(u(rng), u(rng), u(rng));
        const Vec3d p(u(rng), u(rng), u(rng));
        // Collinear corners: the closest point of the segment a..b.
        const Vec3d mid = a + (b - a) * 0.25;
        const Vec3d seg = closestOnSegment(p, a, b);
        ASSERT_NEAR((closestPointOnTriangle(p, a, b, mid) - p).norm(), (seg - p).norm(), 1e-9);
        ASSERT_NEAR((closestPointOnTriangle(p, a, a, b) - p).norm(), (seg - p).norm(), 1e-9);
        // A single point.
        ASSERT_VEC_NEAR(closestPointOnTriangle(p, a, a, a), a, 0.0);
    }
}

TEST(TriangleGeometry, EnclosingSphereCentre) {
    auto rng = testing_helpers::seededRng(13);
    std::uniform_real_distribution<double> u(-5.0, 5.0);
    for (int trial = 0; trial < 5000; ++trial) {
        const Vec3d p[3] = {Vec3d(u(rng), u(rng), u(rng)), Vec3d(u(rng), u(rng), u(rng)),
                            Vec3d(u(rng), u(rng), u(rng))};
        const Vec3d c = enclosingSphereCentre(p[0], p[1], p[2]);
        // The smallest enclosing sphere: circumsphere of an acute triangle, else
        // the sphere over the longest edge.
        double longest = 0.0;
        int li = 0;
        for (int i = 0; i < 3; ++i) {
            const double len = (p[(i + 1) % 3] - p[i]).norm();
            if (len > longest) longest = len, li = i;
        }
        const Vec3d e0 = p[li], e1 = p[(li + 1) % 3], opposite = p[(li + 2) % 3];
        const Vec3d midpoint = (e0 + e1) * 0.5;
        if ((opposite - midpoint).norm() <= longest / 2) {
            EXPECT_VEC_NEAR(c, midpoint, 1e-9);
        } else {
            const double r0 = (c - p[0]).norm();
            EXPECT_NEAR((c - p[1]).norm(), r0, 1e-9 * r0);
            EXPECT_NEAR((c - p[2]).norm(), r0, 1e-9 * r0);
            const Vec3d n = (p[1] - p[0]).cross(p[2] - p[0]).normalized();
            EXPECT_NEAR((c - p[0]).dot(n), 0.0, 1e-9);
        }
    }
    // Right angle: the midpoint of the hypotenuse.
    EXPECT_VEC_NEAR(enclosingSphereCentre(Vec3d(0, 0, 0), Vec3d(4, 0, 0), Vec3d(0, 4, 0)),
                    Vec3d(2, 2, 0), 1e-12);
    // Equilateral: the centroid.
    const double h = std::sqrt(3.0);
    EXPECT_VEC_NEAR(enclosingSphereCentre(Vec3d(0, 0, 1), Vec3d(2, 0, 1), Vec3d(1, h, 1)),
                    Vec3d(1, h / 3, 1), 1e-12);
    // Degenerate: the centre of the bounding box.
    EXPECT_VEC_NEAR(enclosingSphereCentre(Vec3d(0, 0, 0), Vec3d(1, 1, 1), Vec3d(3, 3, 3)),
                    Vec3d(1.5, 1.5, 1.5), 0.0);
    EXPECT_VEC_NEAR(enclosingSphereCentre(Vec3d(1, 2, 3), Vec3d(1, 2, 3), Vec3d(1, 2, 3)),
                    Vec3d(1, 2, 3), 0.0);
}

TEST(TriangleGeometry, Normal) {
    EXPECT_VEC_NEAR(triangleNormal(Vec3d(0, 0, 0), Vec3d(2, 0, 0), Vec3d(0, 3, 0)), Vec3d(0, 0, 1),
                    1e-15);
    EXPECT_VEC_NEAR(triangleNormal(Vec3d(0, 0, 0), Vec3d(1, 1, 1), Vec3d(2, 2, 2)), Vec3d(), 0.0);
}

TEST(KdTriangleProxy, CentreAndExtent) {
    const Vec3d a(0, 0, 0), b(4, 0, 0), c(0, 4, 2);
    const Proxy t(&a, &b, &c);
    EXPECT_EQ(t.vertex0, &a);
    EXPECT_EQ(t.vertex1, &b);
    EXPECT_EQ(t.vertex2, &c);
    EXPECT_VEC_NEAR(t.centre, enclosingSphereCentre(a, b, c), 0.0);
    for (std::size_t k = 0; k < 3; ++k) {
        const double want = std::max({std::abs(t.centre[k] - a[k]), std::abs(t.centre[k] - b[k]),
                                      std::abs(t.centre[k] - c[k])});
        EXPECT_EQ(t.extent[k], want);
    }
    // A NaN difference counts as 0.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Vec3d n0(nan, 0, 0), n1(nan, 1, 0), n2(nan, 0, 1);
    const Proxy bad(&n0, &n1, &n2);
    EXPECT_EQ(bad.extent.x, 0.0);
}

// ------------------------------------------------------------------ tree

TEST(KdTreeTriangles, ClosestOnMeshMatchesBruteForceOnSoup) {
    const Mesh m = randomSoup(1500, 21);
    TriTree tree;
    tree.build(m.proxies.data(), m.proxies.data() + m.proxies.size());
    ASSERT_TRUE(tree.built());
    auto rng = testing_helpers::seededRng(22);
    std::uniform_real_distribution<double> maxPick(0.0, 3.0);
    const std::vector<Vec3d> queries = queriesAround(400, 13.0, 23);
    for (std::size_t i = 0; i < queries.size(); ++i) {
        const Vec3d& q = queries[i];
        const BruteClosest want = bruteClosest(m, q);
        const double dmin = std::sqrt(want.d2);
        Vec3d c;
        bool front = false;
        ASSERT_TRUE(tree.findClosestOnMesh(q, 0.0, c, front));
        EXPECT_NEAR((c - q).norm(), dmin, kTol) << "query " << i;

        const double maxDistance = maxPick(rng);
        const bool found = tree.findClosestOnMesh(q, maxDistance, c, front);
        if (dmin <= maxDistance) {
            ASSERT_TRUE(found) << "query " << i;
            EXPECT_NEAR((c - q).norm(), dmin, kTol);
        } else if (dmin > maxDistance + 1e-6 + kTol) {
            EXPECT_FALSE(found) << "query " << i;
        }
        EXPECT_FALSE(tree.findClosestOnMesh(q, -1.0, c, front));

        // The bounded exact search with the brute distance as radius.
        const auto hit = tree.searchWithin(q, dmin * (1 + 1e-9) + 1e-12);
        ASSERT_TRUE(hit);
        EXPECT_NEAR(std::sqrt(hit.squaredDistance), dmin, kTol);
        EXPECT_VEC_NEAR(
            hit.closest,
            closestPointOnTriangle(q, *hit.entry->element->vertex0, *hit.entry->element->vertex1,
                                   *hit.entry->element->vertex2),
            0.0);
        EXPECT_FALSE(tree.searchWithin(q, dmin * (1 - 1e-9) - 1e-12));

        // The approximate search finds some triangle, never nearer than the nearest.
        const auto guess = tree.descend(q);
        ASSERT_TRUE(guess);
        EXPECT_GE(std::sqrt(guess.squaredDistance), dmin - kTol);
    }
}

TEST(KdTreeTriangles, ClosestOnClosedMeshAndFrontSide) {
    const Mesh m = sphereMesh(5.0, 24, 48);
    TriTree tree;
    tree.build(m.proxies.data(), m.proxies.data() + m.proxies.size());
    ASSERT_TRUE(tree.built());
    auto rng = testing_helpers::seededRng(31);
    std::uniform_real_distribution<double> radius(0.5, 9.0), unit(-1.0, 1.0);
    for (int i = 0; i < 400; ++i) {
        Vec3d dir(unit(rng), unit(rng), unit(rng));
        if (dir.norm() < 1e-3) continue;
        dir = dir.normalized();
        const double rq = radius(rng);
        const Vec3d q = dir * rq;
        const BruteClosest want = bruteClosest(m, q);
        Vec3d c;
        bool front = false;
        ASSERT_TRUE(tree.findClosestOnMesh(q, 0.0, c, front));
        EXPECT_NEAR((c - q).norm(), std::sqrt(want.d2), kTol);
        // Outward normals: outside is the front side. Close to the faceted
        // surface the side is ambiguous, so only clear cases are checked.
        if (rq > 5.5) {
            EXPECT_TRUE(front) << "query " << i;
        }
        if (rq < 4.0) {
            EXPECT_FALSE(front) << "query " << i;
        }
    }
}

TEST(KdTreeTriangles, FrontFlagAndDegenerateTriangle) {
    const std::vector<Vec3d> v = {Vec3d(0, 0, 0), Vec3d(1, 0, 0), Vec3d(0, 1, 0),
                                  Vec3d(5, 5, 5), Vec3d(6, 6, 6), Vec3d(7, 7, 7)};
    const std::vector<Proxy> tris = {Proxy(&v[0], &v[1], &v[2]), Proxy(&v[3], &v[4], &v[5])};
    TriTree tree;
    tree.build(tris.data(), tris.data() + tris.size());
    Vec3d c;
    bool front = false;
    ASSERT_TRUE(tree.findClosestOnMesh(Vec3d(0.2, 0.2, 0.5), 0.0, c, front));
    EXPECT_TRUE(front);
    EXPECT_VEC_NEAR(c, Vec3d(0.2, 0.2, 0), 1e-15);
    ASSERT_TRUE(tree.findClosestOnMesh(Vec3d(0.2, 0.2, -0.5), 0.0, c, front));
    EXPECT_FALSE(front);
    // On the triangle's plane: (q - c)·n = 0 > -1e-12.
    ASSERT_TRUE(tree.findClosestOnMesh(Vec3d(-1, -1, 0), 0.0, c, front));
    EXPECT_TRUE(front);
    // The zero-area triangle has a zero normal, so every side is the front.
    ASSERT_TRUE(tree.findClosestOnMesh(Vec3d(6, 6, 7), 0.0, c, front));
    EXPECT_TRUE(front);
    EXPECT_VEC_NEAR(c, Vec3d(6 + 1.0 / 3, 6 + 1.0 / 3, 6 + 1.0 / 3), 1e-12);
    // The degenerate triangle's key is the centre of its bounding box.
    EXPECT_VEC_NEAR(tris[1].centre, Vec3d(6, 6, 6), 0.0);
}

TEST(KdTreeTriangles, QueryOnTheMeshIsAnsweredWithAPositiveMaxDistance) {
    const Mesh m = sphereMesh(2.0, 12, 24);
    TriTree tree;
    tree.build(m.proxies.data(), m.proxies.data() + m.proxies.size());
    for (std::size_t i = 0; i < m.proxies.size(); i += 7) {
        const Proxy& t = m.proxies[i];
        const Vec3d onMesh = (*t.vertex0 + *t.vertex1 + *t.vertex2) / 3.0;
        for (double maxDistance : {0.0, 1e-9, 1e-6, 0.5, 10.0}) {
            Vec3d c;
            bool front = false;
            ASSERT_TRUE(tree.findClosestOnMesh(onMesh, maxDistance, c, front))
                << "triangle " << i << " maxDistance " << maxDistance;
            EXPECT_LT((c - onMesh).norm(), 1e-12);
            EXPECT_TRUE(front);
        }
    }
    // Off the mesh by more than the allowance: nothing within a tiny bound.
    Vec3d c;
    bool front = false;
    EXPECT_FALSE(tree.findClosestOnMesh(Vec3d(0, 0, 2.5), 1e-3, c, front));
    EXPECT_TRUE(tree.findClosestOnMesh(Vec3d(0, 0, 2.5), 0.6, c, front));
}

TEST(KdTreeTriangles, RadiusAndKNearestMatchBruteForce) {
    const Mesh m = randomSoup(800, 41);
    TriTree tree;
    tree.build(m.proxies.data(), m.proxies.data() + m.proxies.size());
    const std::vector<Vec3d> queries = queriesAround(120, 11.0, 42);
    auto rng = testing_helpers::seededRng(43);
    std::uniform_real_distribution<double> radius(0.0, 4.0);
    std::vector<const TriTree::Entry*> list;
    for (const Vec3d& q : queries) {
        std::vector<double> d(m.proxies.size());
        for (std::size_t i = 0; i < d.size(); ++i) {
            const Proxy& t = m.proxies[i];
            d[i] = (referenceClosest(q, *t.vertex0, *t.vertex1, *t.vertex2) - q).norm();
        }
        const double r = radius(rng);
        list.clear();
        tree.collectWithin(q, r, list);
        std::vector<bool> got(d.size(), false);
        for (const auto* e : list)
            got[static_cast<std::size_t>(e->element - m.proxies.data())] = true;
        for (std::size_t i = 0; i < d.size(); ++i) {
            if (d[i] <= r - kTol) {
                EXPECT_TRUE(got[i]) << i;
            }
            if (d[i] > r + kTol) {
                EXPECT_FALSE(got[i]) << i;
            }
        }
        for (std::size_t j = 1; j < list.size(); ++j)
            EXPECT_LT(list[j - 1], list[j]);  // tree order

        const std::size_t k = 12;
        const double g = tree.findKNearest(q, k, 0.0, list);
        ASSERT_EQ(list.size(), k);
        std::vector<double> sorted = d;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_NEAR(g, sorted[k - 1], kTol);
        std::vector<double> mine;
        for (const auto* e : list)
            mine.push_back(d[static_cast<std::size_t>(e->element - m.proxies.data())]);
        std::sort(mine.begin(), mine.end());
        for (std::size_t j = 0; j < k; ++j)
            EXPECT_NEAR(mine[j], sorted[j], kTol);
    }
}

TEST(KdTreeTriangles, UnbuiltTreeFindsNothing) {
    TriTree tree;
    Vec3d c(7, 7, 7);
    bool front = false;
    EXPECT_FALSE(tree.findClosestOnMesh(Vec3d(0, 0, 0), 0.0, c, front));
    EXPECT_VEC_NEAR(c, Vec3d(7, 7, 7), 0.0);
    EXPECT_FALSE(tree.descend(Vec3d(0, 0, 0)));
    EXPECT_FALSE(tree.searchWithin(Vec3d(0, 0, 0), 1.0));
}
