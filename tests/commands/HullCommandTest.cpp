// The convex hull command: the mesh of a cloud's hull (its vertices, triangles, winding
// and enclosed volume against the known solid), its name, colour and information text,
// the coloured-point variant and the degenerate clouds.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "TestHelpers.h"
#include "alg3D/matrix/GLPoint.h"
#include "commands/HullCommand.h"

namespace {

using alg3D::Color;
using alg3D::GLPoint;
using alg3D::Vec3d;
using tessaro::commands::HullResult;
namespace cmd = tessaro::commands;

// Volume enclosed by the triangles (divergence theorem); positive when they wind
// counter-clockwise seen from outside.
double signedVolume(const HullResult& h) {
    double v = 0.0;
    for (std::size_t t = 0; t + 2 < h.indices.size(); t += 3) {
        const Vec3d& a = h.vertices[h.indices[t]];
        const Vec3d& b = h.vertices[h.indices[t + 1]];
        const Vec3d& c = h.vertices[h.indices[t + 2]];
        v += a.dot(b.cross(c));
    }
    return v / 6.0;
}

// Directed edge -> number of triangles that have it.
std::map<std::pair<std::uint64_t, std::uint64_t>, int> directedEdges(const HullResult& h) {
    std::map<std::pair<std::uint64_t, std::uint64_t>, int> directed;
    for (std::size_t t = 0; t + 2 < h.indices.size(); t += 3)
        for (int k = 0; k < 3; ++k)
            ++directed[{h.indices[t + k], h.indices[t + (k + 1) % 3]}];
    return directed;
}

// Every edge belongs to exactly two triangles, once in each direction.
void expectClosedMesh(const HullResult& h) {
    const auto directed = directedEdges(h);
    for (const auto& [edge, count] : directed) {
        EXPECT_EQ(count, 1) << edge.first << "-" << edge.second;
        const auto twin = directed.find({edge.second, edge.first});
        EXPECT_TRUE(twin != directed.end() && twin->second == 1)
            << edge.first << "-" << edge.second;
    }
}

// A flat hull is the polygon's triangulation once per side, so a diagonal both sides
// share has four triangles; closed still means every edge is used as often in one
// direction as in the other.
void expectClosedFlatMesh(const HullResult& h) {
    const auto directed = directedEdges(h);
    for (const auto& [edge, count] : directed) {
        const auto twin = directed.find({edge.second, edge.first});
        ASSERT_TRUE(twin != directed.end()) << edge.first << "-" << edge.second;
        EXPECT_EQ(twin->second, count) << edge.first << "-" << edge.second;
    }
}

// The eight corners of the box [lo, hi] and random points inside and on its faces.
std::vector<Vec3d> boxCloud(const Vec3d& lo, const Vec3d& hi) {
    std::vector<Vec3d> points;
    auto rng = testing_helpers::seededRng(81);
    std::uniform_real_distribution<double> t(0.0, 1.0);
    const auto at = [&](double a, double b, double c) {
        return Vec3d(lo.x + a * (hi.x - lo.x), lo.y + b * (hi.y - lo.y), lo.z + c * (hi.z - lo.z));
    };
    for (int i = 0; i < 500; ++i) {
        points.push_back(at(t(rng), t(rng), t(rng)));
        if (i == 250)
            for (int c = 0; c < 8; ++c)
                points.push_back(at(c & 1, (c >> 1) & 1, (c >> 2) & 1));
    }
    for (int i = 0; i < 50; ++i)
        points.push_back(at(0.0, t(rng), t(rng)));  // on a face: not a vertex
    return points;
}

TEST(HullCommand, BoxCloudGivesTheBoxWithItsNameColourAndTexts) {
    const Vec3d lo(-1.5, 2.0, 10.0), hi(4.0, 3.25, 17.0);
    const std::vector<Vec3d> cloud = boxCloud(lo, hi);
    const HullResult h = cmd::runHullCommand(cloud, "scan 7", Color(255, 100, 7));
    EXPECT_EQ(h.vertices.size(), 8u);
    EXPECT_EQ(h.triangleCount(), 12u);
    for (const Vec3d& v : h.vertices) {
        EXPECT_TRUE(v.x == lo.x || v.x == hi.x);
        EXPECT_TRUE(v.y == lo.y || v.y == hi.y);
        EXPECT_TRUE(v.z == lo.z || v.z == hi.z);
    }
    // Outward winding and the box's volume.
    const double volume = (hi.x - lo.x) * (hi.y - lo.y) * (hi.z - lo.z);
    EXPECT_NEAR(signedVolume(h), volume, 1e-12 * volume);
    expectClosedMesh(h);

    EXPECT_EQ(h.name, "scan 7_hull");
    EXPECT_EQ(h.color, (Color(127, 50, 3)));
    EXPECT_EQ(h.infoText(), "triangles:\t12      \nvertices:\t8\nduration:\t" + h.duration);
    EXPECT_FALSE(h.duration.empty());
    const std::vector<Vec3d> soup = h.triangleSoup();
    ASSERT_EQ(soup.size(), 36u);
    for (std::size_t k = 0; k < soup.size(); ++k)
        EXPECT_EQ(soup[k], h.vertices[h.indices[k]]);
}

TEST(HullCommand, ColouredCloudGivesTheSameHull) {
    const std::vector<Vec3d> cloud = boxCloud(Vec3d(0, 0, 0), Vec3d(1, 2, 3));
    std::vector<GLPoint> coloured;
    for (const Vec3d& p : cloud)
        coloured.emplace_back(p, Color(9, 8, 7));
    const HullResult a = cmd::runHullCommand(cloud, "a", Color(1, 2, 3));
    const HullResult b = cmd::runHullCommand(coloured, "b", Color(1, 2, 3));
    EXPECT_EQ(a.vertices, b.vertices);
    EXPECT_EQ(a.indices, b.indices);
    EXPECT_EQ(b.color, (Color(0, 1, 1)));
}

TEST(HullCommand, DegenerateCloudsGiveNoTrianglesOrAClosedFlatMesh) {
    const Color grey(100, 100, 100);
    EXPECT_EQ(cmd::runHullCommand(std::vector<Vec3d>{}, "empty", grey).triangleCount(), 0u);
    std::vector<Vec3d> line;
    for (int i = 0; i < 20; ++i)
        line.emplace_back(i, 2.0 * i, -i);
    const HullResult onLine = cmd::runHullCommand(line, "line", grey);
    EXPECT_EQ(onLine.triangleCount(), 0u);
    EXPECT_EQ(onLine.infoText().rfind("triangles:\t0      \nvertices:\t0\n", 0), 0u);

    // A flat square with points inside: both sides of the square, every edge closed, no
    // vertex but the four corners.
    std::vector<Vec3d> flat = {{0, 0, 5}, {2, 0, 5}, {2, 2, 5}, {0, 2, 5}};
    auto rng = testing_helpers::seededRng(82);
    std::uniform_real_distribution<double> t(0.1, 1.9);
    for (int i = 0; i < 40; ++i)
        flat.emplace_back(t(rng), t(rng), 5.0);
    const HullResult square = cmd::runHullCommand(flat, "flat", grey);
    EXPECT_EQ(square.vertices.size(), 4u);
    EXPECT_EQ(square.triangleCount(), 4u);
    expectClosedFlatMesh(square);
    EXPECT_NEAR(signedVolume(square), 0.0, 1e-12);
}

}  // namespace
