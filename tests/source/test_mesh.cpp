// Mesh object without a window: the soup merged into vertices and indices, the info text,
// the closest surface point against brute force over all triangles (ties included), the
// soup given back for the writers, and the tree of both objects following every change
// of the geometry. The cloud's tree-backed nearest point against a scan of all points.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "MeshTestSupport.h"
#include "OpenGL/GLObjPntsXYZ.h"
#include "OpenGL/GLObjSTL.h"
#include "alg3D/algorithm/TriangleGeometry.h"

namespace {

using alg3D::GLPoint;
using alg3D::Vec3d;

// Closest point over all triangles in order, the first of equal distances kept.
Vec3d bruteClosest(const GLObjSTL& mesh, const Vec3d& q) {
    const auto& v = mesh.getPoints();
    const auto& idx = mesh.getTriangleIndices();
    Vec3d best;
    double bestD = std::numeric_limits<double>::infinity();
    for (std::size_t t = 0; t + 2 < idx.size(); t += 3) {
        const Vec3d c =
            alg3D::algorithm::closestPointOnTriangle(q, v[idx[t]], v[idx[t + 1]], v[idx[t + 2]]);
        const double d = (c - q).squaredNorm();
        if (d < bestD) {
            bestD = d;
            best = c;
        }
    }
    return best;
}

TEST(MeshObjectTest, SoupMergedIntoVerticesAndIndicesWithInfo) {
    GLObjSTL mesh;
    EXPECT_EQ(mesh.getName(), "STL object");
    EXPECT_EQ(mesh.getObjectType(), GLBaseObject::kMesh);
    EXPECT_EQ(mesh.getColor(), alg3D::Color(128, 128, 128));
    EXPECT_TRUE(mesh.isEmpty());
    std::vector<Vec3d> soup = {Vec3d(0, 0, 0), Vec3d(2, 0, 0), Vec3d(0, 1, 0),
                               Vec3d(2, 0, 0), Vec3d(2, 1, 4), Vec3d(0, 1, 0)};
    mesh.setTriangles(std::move(soup));
    EXPECT_TRUE(soup.empty());
    EXPECT_EQ(mesh.getPoints().size(), 4u);
    EXPECT_EQ(mesh.getTriangleIndices(), (std::vector<std::uint64_t>{0, 1, 2, 1, 3, 2}));
    EXPECT_EQ(mesh.getCornerColors().size(), 6u);
    EXPECT_EQ(mesh.getInfo(),
              "points: 4\ntriangles: 2\ndx: 2.000000\ndy: 1.000000\ndz: 4.000000\n"
              "ctr: 1.000000,0.500000,1.000000\n");
    EXPECT_EQ(mesh.corners(), (std::vector<Vec3d>{Vec3d(0, 0, 0), Vec3d(2, 0, 0), Vec3d(0, 1, 0),
                                                  Vec3d(2, 0, 0), Vec3d(2, 1, 4), Vec3d(0, 1, 0)}));
    mesh.setColor(10, 20, 30);
    EXPECT_EQ(mesh.getCornerColors()[5], alg3D::Color(10, 20, 30));

    // setMesh takes both vectors over; a vertex number beyond the vertices is refused.
    std::vector<Vec3d> v = {Vec3d(0, 0, 0), Vec3d(1, 0, 0), Vec3d(0, 1, 0)};
    std::vector<std::uint64_t> i = {0, 1, 2, 0};
    mesh.setMesh(std::move(v), std::move(i));
    EXPECT_TRUE(v.empty());
    EXPECT_EQ(mesh.triangleCount(), 1u);
    std::vector<Vec3d> v2 = {Vec3d(0, 0, 0)};
    EXPECT_THROW(mesh.setMesh(std::move(v2), {0, 0, 1}), std::invalid_argument);
}

TEST(MeshObjectTest, NearestPointIsTheBruteForceClosestSurfacePoint) {
    // A bumpy closed sphere plus loose triangles around it.
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> u(-1, 1);
    std::vector<Vec3d> soup = meshtest::sphereSoup(Vec3d(0.3, -0.2, 0.1), 1.0, 24, 48);
    for (Vec3d& p : soup)
        p = p * (1.0 + 0.05 * std::sin(7 * p.x) * std::cos(5 * p.y));
    for (int t = 0; t < 300; ++t) {
        const Vec3d c(2 * u(rng), 2 * u(rng), 2 * u(rng));
        for (int k = 0; k < 3; ++k)
            soup.push_back(c + Vec3d(0.2 * u(rng), 0.2 * u(rng), 0.2 * u(rng)));
    }
    GLObjSTL mesh;
    mesh.setTriangles(std::move(soup));
    EXPECT_FALSE(mesh.hasSearchTree());
    // The first question is answered by the scan and starts the tree.
    EXPECT_EQ(mesh.nearestPoint(Vec3d(0, 0, 2)), bruteClosest(mesh, Vec3d(0, 0, 2)));
    ASSERT_TRUE(mesh.waitForSearchTree());
    for (int k = 0; k < 3000; ++k) {
        const double s = k < 1000 ? 0.2 : 3.0;  // near the surface, and far around it
        const Vec3d q(s * u(rng), s * u(rng), s * u(rng));
        ASSERT_EQ(mesh.nearestPoint(q), bruteClosest(mesh, q)) << "query " << k;
    }
    EXPECT_TRUE(mesh.hasSearchTree());

    // The transform moves the surface, and the answers follow it.
    alg3D::Matrix4x4d t = alg3D::Matrix4x4d::identity();
    t(0, 3) = 5;
    mesh.setPendingTransform(t);
    mesh.applyTransform();
    EXPECT_FALSE(mesh.hasSearchTree());
    EXPECT_EQ(mesh.nearestPoint(Vec3d(5, 0, 2)), bruteClosest(mesh, Vec3d(5, 0, 2)));
    ASSERT_TRUE(mesh.waitForSearchTree());
    for (int k = 0; k < 200; ++k) {
        const Vec3d q(5 + 3 * u(rng), 3 * u(rng), 3 * u(rng));
        ASSERT_EQ(mesh.nearestPoint(q), bruteClosest(mesh, q)) << "query " << k;
    }
}

// The square [-1, 1]² at height z in 8 x 8 cells, two triangles each.
std::vector<Vec3d> planeSoup(double z) {
    std::vector<Vec3d> soup;
    auto at = [z](int i, int j) { return Vec3d(-1 + i / 4.0, -1 + j / 4.0, z); };
    for (int i = 0; i < 8; ++i) {
        for (int j = 0; j < 8; ++j) {
            soup.insert(soup.end(), {at(i, j), at(i + 1, j), at(i + 1, j + 1)});
            soup.insert(soup.end(), {at(i, j), at(i + 1, j + 1), at(i, j + 1)});
        }
    }
    return soup;
}

TEST(MeshObjectTest, NearestPointTiesAndSmallMeshes) {
    // Two parallel planes at the same distance from every query between them: the
    // triangles that come first win, whichever the tree meets first.
    for (const double first : {1.0, -1.0}) {
        std::vector<Vec3d> soup = planeSoup(first), second = planeSoup(-first);
        soup.insert(soup.end(), second.begin(), second.end());
        GLObjSTL mesh;
        mesh.setTriangles(std::move(soup));
        mesh.nearestPoint(Vec3d(0, 0, 0));
        ASSERT_TRUE(mesh.waitForSearchTree());
        for (int i = 0; i <= 16; ++i) {
            for (int j = 0; j <= 16; ++j) {
                const Vec3d q(-1 + i / 8.0, -1 + j / 8.0, 0);
                EXPECT_EQ(mesh.nearestPoint(q), Vec3d(q.x, q.y, first)) << first;
            }
        }
    }

    struct Case {
        const char* name;
        std::vector<Vec3d> soup;
        Vec3d query, expected;
    };
    const Vec3d a(-1, -1, 0), b(1, -1, 0), c(0, 1, 0);
    const Case cases[] = {
        {"a query beyond a corner gets the corner", {a, b, c}, Vec3d(3, -3, 1), b},
        {"a query over an edge gets its foot", {a, b, c}, Vec3d(0, -2, 5), Vec3d(0, -1, 0)},
        {"fewer than three vertices give the zero vector", {a, a, a}, Vec3d(4, 4, 4), Vec3d()},
        {"no triangles give the zero vector", {}, Vec3d(4, 4, 4), Vec3d()},
    };
    for (const Case& t : cases) {
        GLObjSTL mesh;
        std::vector<Vec3d> soup = t.soup;
        mesh.setTriangles(std::move(soup));
        EXPECT_EQ(mesh.nearestPoint(t.query), t.expected) << t.name << " (scan)";
        mesh.waitForSearchTree();
        EXPECT_EQ(mesh.nearestPoint(t.query), t.expected) << t.name << " (tree)";
    }
}

// Nearest stored point by an independent scan: the earlier point on equal distances.
template <typename P>
Vec3d scanNearest(const std::vector<P>& pts, const Vec3d& q) {
    std::size_t best = 0;
    double bestD = std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < pts.size(); ++i) {
        const Vec3d p(pts[i][0], pts[i][1], pts[i][2]);
        const double d = (p - q).squaredNorm();
        if (d < bestD) {
            bestD = d;
            best = i;
        }
    }
    return Vec3d(pts[best][0], pts[best][1], pts[best][2]);
}

TEST(PointCloudIndexTest, TreeAnswersAsTheScanIncludingTies) {
    // Integer grids, alone (exact ties at every cell centre, face centre and edge
    // midpoint: 8, 4 and 2 points at the same distance) and with random points and
    // copies of points added.
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> u(0, 10);
    std::vector<Vec3d> grid;
    for (int i = 0; i < 10; ++i)
        for (int j = 0; j < 10; ++j)
            for (int k = 0; k < 10; ++k)
                grid.push_back(Vec3d(i, j, k));
    std::vector<Vec3d> mixed = grid;
    for (int i = 0; i < 5000; ++i)
        mixed.push_back(Vec3d(u(rng), u(rng), u(rng)));
    for (int i = 0; i < 500; ++i)
        mixed.push_back(mixed[static_cast<std::size_t>(u(rng) * 100)]);
    std::vector<Vec3d> queries;
    for (int i = 0; i < 9; ++i) {
        for (int j = 0; j < 9; ++j) {
            const double k = (i * j) % 9;
            queries.push_back(Vec3d(i + 0.5, j + 0.5, k + 0.5));
            queries.push_back(Vec3d(i + 0.5, j + 0.5, k));
            queries.push_back(Vec3d(i + 0.5, j, k));
            queries.push_back(Vec3d(i, j + 0.5, k));
            queries.push_back(Vec3d(i, j, k + 0.5));
        }
    }
    for (int i = 0; i < 3000; ++i)
        queries.push_back(Vec3d(1.2 * u(rng) - 1, 1.2 * u(rng) - 1, 1.2 * u(rng) - 1));

    for (const std::vector<Vec3d>* reference : {&grid, &mixed}) {
        std::vector<Vec3d> pts = *reference;
        std::vector<GLPoint> colored;
        for (const Vec3d& p : pts)
            colored.push_back(GLPoint(p.x, p.y, p.z, 1, 2, 3));
        GLObjPnts cloud;
        GLObjPntsColored coloredCloud;
        cloud.setPoints(std::move(pts));
        coloredCloud.setPoints(std::move(colored));
        EXPECT_FALSE(cloud.hasSearchTree());
        cloud.nearestPoint(Vec3d(0, 0, 0));
        coloredCloud.nearestPoint(Vec3d(0, 0, 0));
        ASSERT_TRUE(cloud.waitForSearchTree());
        ASSERT_TRUE(coloredCloud.waitForSearchTree());
        for (const Vec3d& q : queries) {
            const Vec3d expected = scanNearest(*reference, q);
            ASSERT_EQ(cloud.nearestPoint(q), expected) << q.x << "," << q.y << "," << q.z;
            ASSERT_EQ(coloredCloud.nearestPoint(q), expected);
            ASSERT_EQ(cloud.nearestPointByScan(q), expected);
        }
    }
}

TEST(PointCloudIndexTest, ScansOfLargeObjectsKeepTheEarliestOfEqualDistances) {
    // Large enough for the scans to run on all threads: the first and the last element
    // lie at the same distance from the query, everything else far away.
    for (const double first : {1.0, -1.0}) {
        std::vector<Vec3d> pts(300000, Vec3d(0, 0, 100));
        pts.front() = Vec3d(first, 0, 0);
        pts.back() = Vec3d(-first, 0, 0);
        GLObjPnts cloud;
        cloud.setPoints(std::move(pts));
        EXPECT_EQ(cloud.nearestPointByScan(Vec3d(0, 0, 0)), Vec3d(first, 0, 0));
        EXPECT_EQ(cloud.nearestPoint(Vec3d(0, 0, 0)), Vec3d(first, 0, 0));

        std::vector<Vec3d> soup;
        for (int t = 0; t < 60000; ++t)
            soup.insert(soup.end(), {Vec3d(t, 0, 100), Vec3d(t + 0.5, 0, 100), Vec3d(t, 1, 100)});
        const std::vector<Vec3d> near = {Vec3d(-1, -1, first), Vec3d(1, -1, first),
                                         Vec3d(0, 1, first)};
        const std::vector<Vec3d> far = {Vec3d(-1, -1, -first), Vec3d(1, -1, -first),
                                        Vec3d(0, 1, -first)};
        std::copy(near.begin(), near.end(), soup.begin());
        std::copy(far.begin(), far.end(), soup.end() - 3);
        GLObjSTL mesh;
        mesh.setTriangles(std::move(soup));
        EXPECT_EQ(mesh.nearestPointByScan(Vec3d(0, 0, 0)), Vec3d(0, 0, first));
        EXPECT_EQ(mesh.nearestPoint(Vec3d(0, 0, 0)), Vec3d(0, 0, first));
    }
}

TEST(PointCloudIndexTest, TreeFollowsEveryChangeOfThePoints) {
    GLObjPnts cloud;
    // Asked twice: once by the scan (which starts the tree), once by the tree.
    auto ask = [&cloud](const Vec3d& q) {
        EXPECT_FALSE(cloud.hasSearchTree());
        const Vec3d first = cloud.nearestPoint(q);
        EXPECT_TRUE(cloud.waitForSearchTree());
        EXPECT_EQ(cloud.nearestPoint(q), first);
        return first;
    };
    cloud.setPoints({Vec3d(0, 0, 0), Vec3d(1, 0, 0), Vec3d(2, 0, 0)});
    EXPECT_EQ(ask(Vec3d(0.9, 0, 0)), Vec3d(1, 0, 0));

    cloud.setSelection({0, 1, 0});
    cloud.deleteSelection();
    EXPECT_EQ(ask(Vec3d(0.9, 0, 0)), Vec3d(0, 0, 0));

    alg3D::Matrix4x4d t = alg3D::Matrix4x4d::identity();
    t(1, 3) = 3;
    cloud.setPendingTransform(t);
    cloud.applyTransform();
    EXPECT_EQ(ask(Vec3d(1.9, 3, 0)), Vec3d(2, 3, 0));

    cloud.setPoints({Vec3d(7, 7, 7)});
    EXPECT_EQ(ask(Vec3d(0, 0, 0)), Vec3d(7, 7, 7));

    // A point that is not finite leaves the cloud to the scan, with the scan's answer.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    cloud.setPoints({Vec3d(nan, 0, 0), Vec3d(4, 0, 0), Vec3d(1, 0, 0)});
    EXPECT_EQ(cloud.nearestPoint(Vec3d(0, 0, 0)), Vec3d(1, 0, 0));
    cloud.waitForSearchTree();
    EXPECT_EQ(cloud.nearestPoint(Vec3d(0, 0, 0)), Vec3d(1, 0, 0));

    // A change while the tree is being built waits for the build and drops it.
    std::vector<Vec3d> many(2000000, Vec3d(1, 2, 3));
    cloud.setPoints(std::move(many));
    cloud.nearestPoint(Vec3d(0, 0, 0));
    cloud.setPoints({Vec3d(5, 5, 5)});
    EXPECT_EQ(ask(Vec3d(0, 0, 0)), Vec3d(5, 5, 5));
}

TEST(PointCloudSelectTest, OutlineTestByBandsEqualsTheTestOverAllEdges) {
    // Identity view, orthographic projection of [-1, 1]² onto a 1000 x 1000 viewport.
    alg3D::Matrix4x4d view = alg3D::Matrix4x4d::identity(), projection = view;
    projection(2, 2) = -0.5;
    const double viewport[4] = {0, 0, 1000, 1000};
    std::mt19937_64 rng(17);
    std::uniform_real_distribution<double> u(-1, 1);
    std::uniform_real_distribution<float> w(100, 900);
    std::vector<Vec3d> pts;
    for (int i = 0; i < 200000; ++i)
        pts.push_back(Vec3d(u(rng), u(rng), 0));
    struct Case {
        const char* name;
        std::vector<SelectionRegion::Point> polygon;
    };
    std::vector<Case> cases(3);
    cases[0].name = "star-shaped lasso of 200 vertices";
    for (int k = 0; k < 200; ++k) {
        const double a = 2 * M_PI * k / 200, r = 300 + 120 * std::sin(7 * a);
        cases[0].polygon.push_back({float(500 + r * std::cos(a)), float(500 + r * std::sin(a))});
    }
    cases[1].name = "self-intersecting outline of 60 random vertices";
    for (int k = 0; k < 60; ++k)
        cases[1].polygon.push_back({w(rng), w(rng)});
    cases[2].name = "zigzag outline with points on its vertex rows";
    for (int k = 0; k < 40; ++k)
        cases[2].polygon.push_back({float(200 + 15 * k), float(k % 2 ? 250 : 750)});
    cases[2].polygon.push_back({800, 500});
    // Points exactly on vertex rows.
    for (const auto& v : cases[2].polygon)
        pts.push_back(Vec3d((v.x - 500) / 500.0 + 0.001, (v.y - 500) / 500.0, 0));

    for (const Case& c : cases) {
        SelectionRegion region;
        region.polygon = c.polygon;
        region.updateBounds();
        GLObjPnts cloud;
        std::vector<Vec3d> copy = pts;
        cloud.setPoints(std::move(copy));
        cloud.select(region, view, projection, viewport, 1);
        const auto& poly = region.polygon;
        std::size_t expectedCount = 0;
        for (std::size_t i = 0; i < pts.size(); ++i) {
            const double sx = (pts[i].x + 1.0) * 1000 / 2, sy = (pts[i].y + 1.0) * 1000 / 2;
            bool inside = false;
            if (sx >= region.minX && sx <= region.maxX && sy >= region.minY && sy <= region.maxY) {
                const float fx = float(sx), fy = float(sy);
                for (std::size_t a = 0, b = poly.size() - 1; a < poly.size(); b = a++) {
                    if ((fy < poly[b].y) != (fy < poly[a].y) &&
                        (poly[b].x - poly[a].x) * (fy - poly[a].y) / (poly[b].y - poly[a].y) >
                            fx - poly[a].x)
                        inside = !inside;
                }
            }
            expectedCount += inside;
            ASSERT_EQ(cloud.getSelectionMask()[i], inside ? 1 : 0) << c.name << " point " << i;
        }
        EXPECT_EQ(cloud.getSelectedCount(), expectedCount) << c.name;
        EXPECT_GT(expectedCount, 1000u) << c.name;
    }
}

}  // namespace
