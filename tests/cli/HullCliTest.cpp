// tessaro-cli hull end to end: the binary computes hulls of generated point files; the
// tests read its text and JSON output and the STL it writes.
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "CliTestSupport.h"
#include "commands/FileCommands.h"

namespace {

using alg3D::Vec3d;
using cli_test::Outcome;

// Cube corners with interior points: a hull of 8 vertices and 12 triangles.
std::vector<Vec3d> cubeWithInterior() {
    std::mt19937_64 rng(3);
    std::uniform_real_distribution<double> u(-0.9, 0.9);
    std::vector<Vec3d> points;
    for (int i = 0; i < 200; ++i)
        points.emplace_back(u(rng), u(rng), u(rng));
    for (int c = 0; c < 8; ++c)
        points.emplace_back(c & 1 ? 1.0 : -1.0, c & 2 ? 1.0 : -1.0, c & 4 ? 1.0 : -1.0);
    return points;
}

TEST(HullCli, WritesTheHullAsStlAndPrintsTheInformationText) {
    cli_test::Scratch dir("hullcli");
    const std::string in = dir.file("cube.xyz"), out = dir.file("hull.stl");
    cli_test::writePoints(in, cubeWithInterior());
    const Outcome o = cli_test::runCli({"hull", in, "-o", out});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    EXPECT_TRUE(std::regex_match(
        o.out, std::regex("[^\n]+ms\nconvex hull finished in [^\n]+\n"
                          "triangles:\t12      \nvertices:\t8\nduration:\t[^\n]+\n")))
        << o.out;

    tessaro::commands::LoadedData mesh;
    tessaro::commands::loadFile(out, mesh);
    ASSERT_EQ(mesh.kind, tessaro::commands::DataKind::kMesh);
    ASSERT_EQ(mesh.points.size(), 36u);
    double volume = 0.0;
    for (std::size_t t = 0; t < mesh.points.size(); t += 3) {
        const Vec3d& a = mesh.points[t];
        const Vec3d& b = mesh.points[t + 1];
        const Vec3d& c = mesh.points[t + 2];
        EXPECT_EQ(std::abs(a.x), 1.0);
        volume += std::abs(a.dot(b.cross(c))) / 6.0;  // every face is 1 away from the centre
    }
    EXPECT_NEAR(volume, 8.0, 1e-9);
}

TEST(HullCli, JsonHasTrianglesVerticesAndDuration) {
    cli_test::Scratch dir("hullcli");
    const std::string in = dir.file("cube.xyz"), out = dir.file("hull.stl");
    cli_test::writePoints(in, cubeWithInterior());
    const Outcome o = cli_test::runCli({"--json", "hull", in, "-o", out});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    const nlohmann::ordered_json j = nlohmann::ordered_json::parse(o.out);
    EXPECT_EQ(j.at("triangles").get<int>(), 12);
    EXPECT_EQ(j.at("vertices").get<int>(), 8);
    EXPECT_GE(j.at("duration_ms").get<double>(), 0.0);
    ASSERT_EQ(j.size(), 3u);
}

TEST(HullCli, RefusesMeshesAndOtherOutputFormatsWithoutWriting) {
    cli_test::Scratch dir("hullcli");
    const std::string in = dir.file("cube.xyz"), stl = dir.file("hull.stl");
    cli_test::writePoints(in, cubeWithInterior());
    ASSERT_EQ(cli_test::runCli({"hull", in, "-o", stl}).exitCode, 0);
    const Outcome mesh = cli_test::runCli({"hull", stl, "-o", dir.file("again.stl")});
    EXPECT_EQ(mesh.exitCode, 1);
    EXPECT_NE(mesh.err.find("Convex hull can be computed for pointclouds only!"),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.file("again.stl")));
    const Outcome xyz = cli_test::runCli({"hull", in, "-o", dir.file("hull.xyz")});
    EXPECT_EQ(xyz.exitCode, 2);
    EXPECT_FALSE(std::filesystem::exists(dir.file("hull.xyz")));
}

TEST(HullCli, PointsOnALineGiveAnEmptyMesh) {
    cli_test::Scratch dir("hullcli");
    const std::string in = dir.file("line.xyz"), out = dir.file("hull.stl");
    std::vector<Vec3d> line;
    for (int i = 0; i < 20; ++i)
        line.emplace_back(i, 2.0 * i, -i);
    cli_test::writePoints(in, line);
    const Outcome o = cli_test::runCli({"hull", in, "-o", out});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    EXPECT_TRUE(std::regex_search(o.out, std::regex("finished in [^\n]*\ntriangles:\t0      \n"
                                                    "vertices:\t0\n")))
        << o.out;
}

}  // namespace
