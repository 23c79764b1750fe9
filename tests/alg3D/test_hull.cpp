// Convex hull against qhull: vertex sets, volumes, closedness, containment, and the
// degenerate inputs (nothing, a point, a line, a plane, duplicates, coplanar points).
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "HullTestUtils.h"
#include "TestHelpers.h"
#include "alg3D/approximate/ConvexHull.h"
#include "alg3D/matrix/GLPoint.h"

namespace {

using alg3D::GLPoint;
using alg3D::Vec3d;
using alg3D::approximate::ConvexHull;
using namespace hull_test;

constexpr double kTol = 1e-6;

struct Extracted {
    std::vector<Vec3d> vertices;
    std::vector<std::uint64_t> indices;
    std::size_t triangles() const { return indices.size() / 3; }
};

Extracted hullOf(const std::vector<Vec3d>& points, ConvexHull* keep = nullptr) {
    ConvexHull local;
    ConvexHull& hull = keep ? *keep : local;
    hull.build(points.data(), points.size(), kTol);
    Extracted e;
    hull.extract(e.vertices, e.indices, false);
    return e;
}

// Every input point lies inside or on every triangle's plane, within the tolerance.
void expectContainsAll(const Extracted& h, const std::vector<Vec3d>& points) {
    for (std::size_t t = 0; t < h.indices.size(); t += 3) {
        const Vec3d& a = h.vertices[h.indices[t]];
        const Vec3d& b = h.vertices[h.indices[t + 1]];
        const Vec3d& c = h.vertices[h.indices[t + 2]];
        const Vec3d n = (b - a).cross(c - a);
        const double len = n.norm();
        ASSERT_GT(len, 0.0) << "degenerate triangle " << t / 3;
        const Vec3d u = n * (1.0 / len);
        for (const Vec3d& p : points) {
            ASSERT_LE(u.dot(p - a), 2 * kTol) << "point outside triangle " << t / 3;
        }
    }
}

// The live faces' half-edges pair up: twin of twin is the edge itself, twins run in
// opposite directions and belong to live faces.
void expectConsistentHalfEdges(const ConvexHull& hull) {
    const auto& edges = hull.halfEdges();
    for (const ConvexHull::Face& f : hull.faces()) {
        if (f.valid < 0) continue;
        std::uint32_t h = f.edge;
        for (int k = 0; k < 3; ++k, h = edges[h].next) {
            const std::uint32_t o = edges[h].opposite;
            ASSERT_LT(o, edges.size());
            EXPECT_EQ(edges[o].opposite, h);
            EXPECT_GE(hull.faces()[edges[o].face].valid, 0);
            const std::uint32_t from = edges[edges[edges[h].next].next].end;
            EXPECT_EQ(edges[o].end, from);
        }
    }
}

// Vertex set and volume against qhull, closed and consistently wound, containing all.
void expectMatchesQhull(const std::vector<Vec3d>& points) {
    ConvexHull hull;
    const Extracted h = hullOf(points, &hull);
    expectConsistentHalfEdges(hull);
    const QhullResult q = qhullOf(points);
    ASSERT_TRUE(q.ok);
    std::vector<Vec3d> qv;
    for (const std::size_t i : q.vertices)
        qv.push_back(points[i]);
    EXPECT_EQ(sortedCoordinates(h.vertices), sortedCoordinates(qv));
    EXPECT_EQ(h.vertices.size(), sortedCoordinates(h.vertices).size()) << "repeated vertex";
    const double volume = meshVolume(h.vertices, h.indices);
    EXPECT_NEAR(volume, q.volume, 1e-9 * q.volume);
    EXPECT_EQ(checkClosedManifold(h.indices), "");
    // Euler: a closed triangulated sphere has 2V − 4 triangles.
    EXPECT_EQ(h.triangles(), 2 * h.vertices.size() - 4);
    expectContainsAll(h, points);
}

TEST(ConvexHull, MatchesQhullOnRandomPointsInBall) {
    auto rng = testing_helpers::seededRng(11);
    for (const std::size_t n : {5u, 50u, 3000u}) {
        SCOPED_TRACE(n);
        expectMatchesQhull(randomInBall(n, rng, 3.0));
    }
}

TEST(ConvexHull, MatchesQhullOnSphereSurfaceWhereEveryPointIsAVertex) {
    auto rng = testing_helpers::seededRng(12);
    std::vector<Vec3d> points = randomOnSphere(2000, rng, 2.0);
    for (Vec3d& p : points)
        p = p + Vec3d(10.0, -5.0, 3.0);
    const Extracted h = hullOf(points);
    EXPECT_EQ(h.vertices.size(), points.size());
    expectMatchesQhull(points);
}

TEST(ConvexHull, CubeCornersWithInteriorAndFacePoints) {
    auto rng = testing_helpers::seededRng(13);
    std::uniform_real_distribution<double> u(-0.999, 0.999);
    std::vector<Vec3d> points;
    for (int i = 0; i < 500; ++i)
        points.emplace_back(u(rng), u(rng), u(rng));
    for (int c = 0; c < 8; ++c)
        points.emplace_back(c & 1 ? 1.0 : -1.0, c & 2 ? 1.0 : -1.0, c & 4 ? 1.0 : -1.0);
    // Points on the faces and edges of the cube are not vertices either.
    for (int i = 0; i < 60; ++i)
        points.emplace_back(1.0, u(rng), u(rng));
    points.emplace_back(0.3, 1.0, 1.0);
    const Extracted h = hullOf(points);
    EXPECT_EQ(h.vertices.size(), 8u);
    EXPECT_EQ(h.triangles(), 12u);
    EXPECT_NEAR(meshVolume(h.vertices, h.indices), 8.0, 1e-12);
    EXPECT_EQ(checkClosedManifold(h.indices), "");
    expectContainsAll(h, points);
    for (const Vec3d& v : h.vertices) {
        EXPECT_EQ(std::abs(v.x), 1.0);
        EXPECT_EQ(std::abs(v.y), 1.0);
        EXPECT_EQ(std::abs(v.z), 1.0);
    }
}

TEST(ConvexHull, RandomCubeWithCornersMatchesQhull) {
    auto rng = testing_helpers::seededRng(14);
    std::uniform_real_distribution<double> u(0.0, 5.0);
    std::vector<Vec3d> points;
    for (int i = 0; i < 2000; ++i)
        points.emplace_back(u(rng), u(rng), u(rng));
    for (int c = 0; c < 8; ++c)
        points.emplace_back(c & 1 ? 5.0 : 0.0, c & 2 ? 5.0 : 0.0, c & 4 ? 5.0 : 0.0);
    expectMatchesQhull(points);
}

TEST(ConvexHull, TetrahedronHasFourVerticesAndFourTriangles) {
    const std::vector<Vec3d> points = {
        {0.0, 0.0, 0.0}, {1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}, {0.0, 0.0, 1.0}};
    const Extracted h = hullOf(points);
    EXPECT_EQ(h.vertices.size(), 4u);
    EXPECT_EQ(h.triangles(), 4u);
    EXPECT_NEAR(meshVolume(h.vertices, h.indices), 1.0 / 6.0, 1e-15);
    EXPECT_EQ(checkClosedManifold(h.indices), "");
    expectMatchesQhull(points);
}

TEST(ConvexHull, DuplicatesMatchQhull) {
    auto rng = testing_helpers::seededRng(15);
    const std::vector<Vec3d> base = randomInBall(400, rng);
    std::vector<Vec3d> points;
    for (int copy = 0; copy < 3; ++copy)
        points.insert(points.end(), base.begin(), base.end());
    expectMatchesQhull(points);
}

TEST(ConvexHull, GridWithManyCoplanarPointsGivesTheBox) {
    std::vector<Vec3d> points;
    for (int i = 0; i <= 6; ++i)
        for (int j = 0; j <= 6; ++j)
            for (int k = 0; k <= 6; ++k)
                points.emplace_back(0.5 * i, 0.25 * j, 1.0 * k);
    const Extracted h = hullOf(points);
    EXPECT_EQ(h.vertices.size(), 8u);
    EXPECT_EQ(h.triangles(), 12u);
    EXPECT_NEAR(meshVolume(h.vertices, h.indices), 3.0 * 1.5 * 6.0, 1e-12);
    EXPECT_EQ(checkClosedManifold(h.indices), "");
}

TEST(ConvexHull, CosphericalLatticeMatchesQhull) {
    // Many points at exactly equal distance from the centre, with many symmetric ties.
    std::vector<Vec3d> points;
    const double pi = 3.141592653589793;
    for (int i = 1; i < 20; ++i)
        for (int j = 0; j < 24; ++j) {
            const double t = pi * i / 20.0, p = 2.0 * pi * j / 24.0;
            points.emplace_back(std::sin(t) * std::cos(p), std::sin(t) * std::sin(p), std::cos(t));
        }
    points.emplace_back(0.0, 0.0, 1.0);
    points.emplace_back(0.0, 0.0, -1.0);
    const Extracted h = hullOf(points);
    EXPECT_EQ(checkClosedManifold(h.indices), "");
    EXPECT_EQ(h.vertices.size(), points.size());
    expectContainsAll(h, points);
    const QhullResult q = qhullOf(points);
    EXPECT_NEAR(meshVolume(h.vertices, h.indices), q.volume, 1e-9 * q.volume);
}

TEST(ConvexHull, CoplanarPointsGiveAClosedFlatHull) {
    auto rng = testing_helpers::seededRng(16);
    std::uniform_real_distribution<double> u(-2.0, 2.0);
    // A tilted plane through (1, 2, 3) with in-plane axes e1, e2.
    const Vec3d e1 = Vec3d(1.0, 1.0, 0.0).normalized();
    const Vec3d e2 = Vec3d(-1.0, 1.0, 2.0).normalized();
    std::vector<Vec3d> points, plane2d;
    for (int i = 0; i < 300; ++i) {
        const double s = u(rng), t = u(rng);
        points.push_back(Vec3d(1.0, 2.0, 3.0) + s * e1 + t * e2);
        plane2d.emplace_back(s, t, 0.0);
    }
    ConvexHull hull;
    const Extracted h = hullOf(points, &hull);
    EXPECT_TRUE(hull.planar());
    expectConsistentHalfEdges(hull);
    EXPECT_EQ(checkClosedManifold(h.indices), "");
    for (const std::uint64_t i : h.indices)
        ASSERT_LT(i, h.vertices.size());
    for (const std::uint32_t i : hull.vertexIndices())
        ASSERT_LT(i, points.size()) << "the temporary point is referenced";

    const QhullResult q = qhullOf(plane2d, 2);
    ASSERT_TRUE(q.ok);
    std::vector<Vec3d> qv;
    for (const std::size_t i : q.vertices)
        qv.push_back(points[i]);
    EXPECT_EQ(sortedCoordinates(h.vertices), sortedCoordinates(qv));
    EXPECT_EQ(h.triangles(), 2 * h.vertices.size() - 4);
    // Both sides together cover the polygon twice.
    double area = 0.0;
    for (std::size_t t = 0; t < h.indices.size(); t += 3) {
        const Vec3d& a = h.vertices[h.indices[t]];
        area +=
            0.5 * (h.vertices[h.indices[t + 1]] - a).cross(h.vertices[h.indices[t + 2]] - a).norm();
    }
    EXPECT_NEAR(area, 2.0 * q.volume, 1e-9 * q.volume);
    EXPECT_NEAR(meshVolume(h.vertices, h.indices), 0.0, 1e-9);
    // The live faces are unit-normal planes of the flat hull.
    for (const ConvexHull::Face& f : hull.faces()) {
        if (f.valid < 0) continue;
        EXPECT_NEAR(std::abs(f.normal.dot(e1.cross(e2))), 1.0, 1e-9);
    }
}

TEST(ConvexHull, DegenerateInputGivesNoFacesAndNeverHangs) {
    ConvexHull hull;
    Extracted e;
    hull.build(nullptr, 0, kTol);
    hull.extract(e.vertices, e.indices, false);
    EXPECT_TRUE(e.vertices.empty());
    EXPECT_TRUE(e.indices.empty());

    const std::vector<Vec3d> one = {{1.0, 2.0, 3.0}};
    EXPECT_EQ(hullOf(one).triangles(), 0u);
    const std::vector<Vec3d> same(50, Vec3d(1.0, 2.0, 3.0));
    EXPECT_EQ(hullOf(same).triangles(), 0u);
    std::vector<Vec3d> line;
    for (int i = 0; i < 100; ++i)
        line.push_back(Vec3d(1.0, 2.0, 3.0) + (0.1 * i) * Vec3d(1.0, -2.0, 0.5));
    ConvexHull lineHull;
    EXPECT_EQ(hullOf(line, &lineHull).triangles(), 0u);
    EXPECT_EQ(lineHull.liveFaceCount(), 0u);
    // Two distinct points, and three collinear ones with noise below the tolerance.
    const std::vector<Vec3d> two = {{0.0, 0.0, 0.0}, {1.0, 1.0, 1.0}};
    EXPECT_EQ(hullOf(two).triangles(), 0u);
    const std::vector<Vec3d> noisy = {{0.0, 0.0, 0.0}, {1.0, 0.0, 1e-8}, {2.0, 1e-8, 0.0}};
    EXPECT_EQ(hullOf(noisy).triangles(), 0u);
    // Three points: a flat hull of two triangles.
    const std::vector<Vec3d> three = {{0.0, 0.0, 0.0}, {1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}};
    const Extracted t = hullOf(three);
    EXPECT_EQ(t.triangles(), 2u);
    EXPECT_EQ(t.vertices.size(), 3u);
    EXPECT_EQ(checkClosedManifold(t.indices), "");
    // Rebuilding with no points resets.
    hull.build(three.data(), three.size(), kTol);
    hull.build(three.data(), 0, kTol);
    EXPECT_EQ(hull.liveFaceCount(), 0u);
}

TEST(ConvexHull, WindingFlagSwapsTheLastTwoCorners) {
    auto rng = testing_helpers::seededRng(17);
    const std::vector<Vec3d> points = randomInBall(200, rng);
    ConvexHull hull;
    hull.build(points.data(), points.size(), kTol);
    Extracted a, b;
    hull.extract(a.vertices, a.indices, false);
    hull.extract(b.vertices, b.indices, true);
    ASSERT_EQ(a.indices.size(), b.indices.size());
    for (std::size_t t = 0; t < a.indices.size(); t += 3) {
        EXPECT_EQ(a.indices[t], b.indices[t]);
        EXPECT_EQ(a.indices[t + 1], b.indices[t + 2]);
        EXPECT_EQ(a.indices[t + 2], b.indices[t + 1]);
    }
    EXPECT_GT(meshVolume(a.vertices, a.indices), 0.0);
    EXPECT_LT(meshVolume(b.vertices, b.indices), 0.0);
}

TEST(ConvexHull, ExtremePointsScaleAndDefaultTolerance) {
    const std::vector<Vec3d> points = {
        {0.0, 0.0, 0.0}, {4.0, 0.0, 0.0}, {0.0, -7.0, 0.0}, {0.0, 0.0, 2.0}, {4.0, 1.0, 0.0}};
    ConvexHull hull;
    hull.build(points.data(), points.size(), 0.0);
    EXPECT_EQ(hull.extremePoints()[0], 1u);  // first of the ties at x = 4
    EXPECT_EQ(hull.extremePoints()[3], 2u);
    EXPECT_EQ(hull.scale(), 7.0);
    EXPECT_DOUBLE_EQ(hull.tolerance(), 7e-10);
}

TEST(ConvexHull, ColouredPointsGiveTheSameHull) {
    auto rng = testing_helpers::seededRng(18);
    const std::vector<Vec3d> points = randomInBall(300, rng);
    std::vector<GLPoint> coloured;
    for (const Vec3d& p : points)
        coloured.emplace_back(p.x, p.y, p.z, 10, 20, 30);
    ConvexHull a, b;
    std::vector<Vec3d> storage;
    alg3D::approximate::buildConvexHull(a, points.data(), points.data() + points.size(), kTol,
                                        storage);
    alg3D::approximate::buildConvexHull(b, coloured.data(), coloured.data() + coloured.size(), kTol,
                                        storage);
    EXPECT_EQ(a.vertexIndices(), b.vertexIndices());
    EXPECT_EQ(a.liveFaceCount(), b.liveFaceCount());
}

}  // namespace
