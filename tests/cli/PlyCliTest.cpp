// info and convert with PLY files: both directions, ASCII on request, meshes and
// clouds, what a cloud carries per point, and bad files.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "CliTestSupport.h"
#include "TestHelpers.h"

namespace {

using cli_test::Outcome;
using cli_test::readFile;
using cli_test::runCli;
using cli_test::Scratch;
using Json = nlohmann::json;

const std::string kSeeds = std::string(TESSARO_TESTDATA_DIR) + "/ply/";

void writeText(const std::string& fileName, const std::string& text) {
    std::ofstream(fileName, std::ios::binary) << text;
}

TEST(PlyCli, CloudsGoToPlyAndBackWithoutLoss) {
    Scratch dir("ply");
    const std::vector<alg3D::Vec3d> points = testing_helpers::clusterPoints(200, 7);
    cli_test::writePoints(dir.file("in.xyz"), points);
    Outcome o = runCli({"convert", dir.file("in.xyz"), dir.file("out.PLY")});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(o.out,
              dir.file("in.xyz") + " (xyz) -> " + dir.file("out.PLY") + " (ply): 200 points\n");
    EXPECT_EQ(readFile(dir.file("out.PLY")).rfind("ply\nformat binary_little_endian 1.0\n", 0), 0u);

    o = runCli({"convert", "--ascii", dir.file("out.PLY"), dir.file("text.ply")});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(readFile(dir.file("text.ply")).rfind("ply\nformat ascii 1.0\n", 0), 0u);
    o = runCli({"convert", dir.file("text.ply"), dir.file("back.xyz")});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    // Both PLY files hold the coordinates as read from in.xyz; .xyz has six decimals.
    o = runCli({"convert", dir.file("in.xyz"), dir.file("direct.xyz")});
    EXPECT_EQ(readFile(dir.file("back.xyz")), readFile(dir.file("direct.xyz")));
}

TEST(PlyCli, MeshesKeepTheirTrianglesBothWays) {
    Scratch dir("ply");
    writeText(dir.file("box.stl"), testing_helpers::binaryStl(testing_helpers::boxTriangles()));
    Outcome o = runCli({"convert", dir.file("box.stl"), dir.file("box.ply")});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    o = runCli({"--json", "info", dir.file("box.ply")});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    const Json info = Json::parse(o.out)[0];
    EXPECT_EQ(info["format"], "ply");
    EXPECT_EQ(info["triangles"], 12);
    EXPECT_EQ(info["points"], 36);
    // Shared corners are stored once: 8 vertices in the file.
    EXPECT_NE(readFile(dir.file("box.ply")).find("element vertex 8\n"), std::string::npos);
    o = runCli({"convert", dir.file("box.ply"), dir.file("again.stl")});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    // The same triangles with the same corners: their vertices, in order, are the same.
    runCli({"convert", dir.file("again.stl"), dir.file("again.xyz")});
    runCli({"convert", dir.file("box.stl"), dir.file("box.xyz")});
    EXPECT_EQ(readFile(dir.file("again.xyz")), readFile(dir.file("box.xyz")));
    const std::string vertices = readFile(dir.file("box.xyz"));
    EXPECT_EQ(std::count(vertices.begin(), vertices.end(), '\n'), 8);
}

TEST(PlyCli, InfoShowsWhatACloudHoldsPerPoint) {
    Outcome o = runCli({"info", kSeeds + "cloud_ascii.ply", kSeeds + "cloud_colors_le.ply"});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    EXPECT_NE(o.out.find("  format:    ply\n  points:    4\n  values:    normals intensity\n"),
              std::string::npos)
        << o.out;
    EXPECT_NE(o.out.find("  points:    3\n  values:    colors\n"), std::string::npos) << o.out;
    o = runCli({"--json", "info", kSeeds + "cloud_ascii.ply"});
    const Json info = Json::parse(o.out)[0];
    EXPECT_EQ(info["normals"], true);
    EXPECT_EQ(info["colors"], false);
    EXPECT_EQ(info["scalar_fields"], Json::array({"intensity"}));
}

TEST(PlyCli, PlyToPlyKeepsNormalsAndPerPointValues) {
    Scratch dir("ply");
    const Outcome o = runCli({"convert", "--ascii", kSeeds + "cloud_ascii.ply", dir.file("c.ply")});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    const std::string text = readFile(dir.file("c.ply"));
    EXPECT_NE(text.find("property float nz\nproperty uchar intensity\nend_header\n"
                        "0 0 0 0 0 1 10\n1 0 0 0 0 1 20\n"),
              std::string::npos)
        << text;
}

TEST(PlyCli, CloudsAreNoStlAndBadFilesFail) {
    Scratch dir("ply");
    Outcome o = runCli({"convert", kSeeds + "cloud_colors_le.ply", dir.file("x.stl")});
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_EQ(o.err, "tessaro-cli: " + dir.file("x.stl") + ": Only meshes can be saved as STL.\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.stl")));
    writeText(dir.file("bad.ply"),
              "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\n"
              "end_header\n1\n");
    o = runCli({"info", dir.file("bad.ply")});
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_EQ(o.err, "tessaro-cli: " + dir.file("bad.ply") + ": ALG3D::unknown file format.\n");
}

}  // namespace
