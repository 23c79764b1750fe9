// tessaro-cli normals, features, smooth, thin and regions end to end: the built binary
// processes generated point files; the tests compare its value files and result clouds
// with the library run on the same points, and check its texts, JSON and exit codes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "CliTestSupport.h"
#include "TestHelpers.h"
#include "alg3D/algorithm/Normals.h"
#include "alg3D/algorithm/Regions.h"
#include "alg3D/algorithm/Smoothing.h"
#include "alg3D/algorithm/SurfaceFeatures.h"
#include "alg3D/algorithm/Thinning.h"
#include "alg3D/matrix/Matrix.h"

namespace {

namespace fs = std::filesystem;
using alg3D::Vec3d;
using Json = nlohmann::ordered_json;

constexpr double kPi = 3.141592653589793;

using namespace cli_test;

std::vector<Vec3d> wavy(std::size_t n, std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<Vec3d> pts;
    for (std::size_t i = 0; i < n; ++i) {
        const double x = u(rng), y = u(rng);
        pts.emplace_back(x, y, 0.3 * std::sin(2 * x) * std::cos(2 * y) + 0.002 * u(rng));
    }
    return pts;
}

std::vector<std::vector<double>> readRows(const std::string& fileName) {
    std::ifstream in(fileName);
    std::vector<std::vector<double>> rows;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream s(line);
        std::vector<double> row;
        double v;
        while (s >> v)
            row.push_back(v);
        rows.push_back(row);
    }
    return rows;
}

class PointCloudCli : public ::testing::Test {
  protected:
    void SetUp() override {
        input = scratch.file("cloud.xyz");
        writePoints(input, wavy(3000, 7));
        points = readPoints(input);
        ASSERT_EQ(points.size(), 3000u);
    }
    Scratch scratch;
    std::string input;
    std::vector<Vec3d> points;
};

TEST_F(PointCloudCli, NormalsValuesAndOutputMatchTheLibrary) {
    const std::string values = scratch.file("n.txt"), out = scratch.file("n.xyz");
    const Outcome o =
        runCli({"normals", input, "--mode", "knn", "--k", "12", "--values", values, "-o", out});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    EXPECT_TRUE(std::regex_match(o.out, std::regex("calcNormals finished in .*\nDuration: .*\n")))
        << o.out;
    std::vector<alg3D::Vec3f> expected(points.size());
    alg3D::algorithm::normalsKNearest(alg3D::algorithm::ProcessControl{}, points.data(),
                                      points.data() + points.size(), expected.data(), 12);
    const auto rows = readRows(values);
    const auto cloud = readRows(out);
    ASSERT_EQ(rows.size(), points.size());
    ASSERT_EQ(cloud.size(), points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
        ASSERT_EQ(rows[i].size(), 3u);
        ASSERT_EQ(cloud[i].size(), 6u);
        for (int a = 0; a < 3; ++a) {
            ASSERT_EQ(rows[i][a], double(expected[i][a])) << i;
            ASSERT_EQ(float(cloud[i][3 + a]), expected[i][a]) << i;          // 9 digits: the float
            ASSERT_NEAR(cloud[i][a], points[i][a], 5e-7 * (1 + 1e-9)) << i;  // six decimals
        }
    }
    const Outcome j = runCli({"--json", "normals", input});
    ASSERT_EQ(j.exitCode, 0) << j.err;
    const Json json = Json::parse(j.out);
    EXPECT_EQ(json["points"], 3000);
    EXPECT_EQ(json["mode"], "auto");
    EXPECT_EQ(json["zero_normals"], 0);
}

TEST_F(PointCloudCli, FeaturesValuesStatisticsAndColours) {
    const std::string values = scratch.file("f.txt"), out = scratch.file("f.xyzc");
    const Outcome o = runCli({"features", input, "--feature", "density", "--kernel", "radius",
                              "--radius", "0.1", "--values", values, "-o", out});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    std::vector<double> expected(points.size(), -1.0);
    alg3D::algorithm::ParamEdges<Vec3d> param;
    param.begin = points.data();
    param.end = points.data() + points.size();
    param.out = expected.data();
    param.feature = alg3D::algorithm::kFeatureDensity;
    param.radius = 0.1;
    param.kernelMode = alg3D::algorithm::kKernelRadius;
    alg3D::algorithm::calcEdges(param);
    const auto rows = readRows(values);
    ASSERT_EQ(rows.size(), points.size());
    for (std::size_t i = 0; i < points.size(); ++i)
        ASSERT_EQ(rows[i][0], expected[i]) << i;
    const auto e = alg3D::algorithm::evaluateFeatures(expected);
    const std::string text = o.out.substr(o.out.find('\n') + 1);  // after the timing line
    EXPECT_EQ(text.substr(0, text.find("duration: ")),
              alg3D::algorithm::featureStatisticsText(e, "").substr(
                  0, alg3D::algorithm::featureStatisticsText(e, "").find("duration: ")));
    const auto cloud = readRows(out);
    ASSERT_EQ(cloud.size(), points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
        ASSERT_EQ(cloud[i].size(), 6u);
        ASSERT_EQ(cloud[i][3], e.colors[i].r);
        ASSERT_EQ(cloud[i][4], e.colors[i].g);
        ASSERT_EQ(cloud[i][5], e.colors[i].b);
    }
    const Outcome j = runCli({"--json", "features", input, "--feature", "extrinsic"});
    ASSERT_EQ(j.exitCode, 0) << j.err;
    const Json json = Json::parse(j.out);
    EXPECT_LE(json["min"].get<double>(), json["median"].get<double>());
    EXPECT_LE(json["median"].get<double>(), json["max"].get<double>());
}

TEST_F(PointCloudCli, SmoothThinAndRegions) {
    const std::string smooth = scratch.file("s.xyz");
    Outcome o = runCli({"smooth", input, "--function", "shape", "--radius", "0.1", "-o", smooth});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(readPoints(smooth).size(), points.size());

    const std::string thin = scratch.file("t.xyz");
    o = runCli({"thin", input, "--count", "250", "-o", thin});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    EXPECT_TRUE(std::regex_match(
        o.out, std::regex("calcThinning finished in .*\n"
                          "Input points: 3000\nOutput points: 250\nDuration: .*\n")))
        << o.out;
    EXPECT_EQ(readPoints(thin).size(), 250u);
    o = runCli({"--json", "thin", input, "--spacing", "0.05", "-o", thin});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    const auto kept = readPoints(thin);
    EXPECT_EQ(Json::parse(o.out)["output_points"], kept.size());
    for (std::size_t i = 0; i < kept.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            ASSERT_GT((kept[i] - kept[j]).norm(), 0.05 - 2e-6);

    const std::string labels = scratch.file("r.txt"), colored = scratch.file("r.xyzc"),
                      selected = scratch.file("sel.xyz");
    o = runCli({"regions", input, "--radius", "0.03", "--select-max-points", "3", "--values",
                labels, "-o", colored, "--selected", selected});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    std::vector<std::uint64_t> expected(points.size());
    std::uint64_t count = 0;
    alg3D::algorithm::detectRegions(alg3D::algorithm::ProcessControl{}, points.data(),
                                    points.data() + points.size(), 0.03, expected.data(), count);
    const auto rows = readRows(labels);
    ASSERT_EQ(rows.size(), points.size());
    for (std::size_t i = 0; i < points.size(); ++i)
        ASSERT_EQ(rows[i][0], double(expected[i]));
    const auto sel = alg3D::algorithm::selectSmallRegions(expected, count, 3);
    std::size_t selectedCount = 0;
    for (auto s : sel)
        selectedCount += s;
    const std::string text = o.out.substr(o.out.find('\n') + 1);  // after the timing line
    EXPECT_EQ(text, "Duration: " + text.substr(10, text.find('\n') - 10) +
                        "\nRegions: " + std::to_string(count) +
                        "\nSelected points: " + std::to_string(selectedCount) + "\n");
    EXPECT_EQ(readPoints(selected).size(), selectedCount);
    EXPECT_EQ(readRows(colored).size(), points.size());
}

// smooth --values: the distance each point moved, 17 digits, input order, against the
// library's pass on the same points; thin --values: 1 for a kept, 0 for a removed point,
// against the library's decision, and the kept points are the output file's in order.
TEST_F(PointCloudCli, SmoothAndThinValues) {
    const std::string moved = scratch.file("moved.txt"), smooth = scratch.file("s.xyz");
    Outcome o = runCli({"smooth", input, "--function", "feature", "--radius", "0.08", "--values",
                        moved, "-o", smooth});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    std::vector<Vec3d> expected(points.size());
    alg3D::algorithm::ParamSmoothing<Vec3d> param;
    param.begin = points.data();
    param.end = points.data() + points.size();
    param.out = expected.data();
    param.radius = 0.08;
    param.function = alg3D::algorithm::kSmoothFeaturePreserving;
    alg3D::algorithm::calcSmoothing(param);
    const auto rows = readRows(moved);
    const auto cloud = readRows(smooth);
    ASSERT_EQ(rows.size(), points.size());
    ASSERT_EQ(cloud.size(), points.size());
    std::size_t movedCount = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        ASSERT_EQ(rows[i].size(), 1u);
        ASSERT_EQ(rows[i][0], (expected[i] - points[i]).norm()) << i;
        movedCount += rows[i][0] > 0.0 ? 1 : 0;
        for (int a = 0; a < 3; ++a)
            ASSERT_NEAR(cloud[i][a], expected[i][a], 5e-7 * (1 + 1e-9)) << i;
    }
    EXPECT_GT(movedCount, points.size() / 2);

    const std::string flags = scratch.file("kept.txt"), thin = scratch.file("t.xyz");
    for (bool byCount : {true, false}) {
        o = byCount ? runCli({"thin", input, "--count", "777", "--values", flags, "-o", thin})
                    : runCli({"thin", input, "--spacing", "0.04", "--values", flags, "-o", thin});
        ASSERT_EQ(o.exitCode, 0) << o.err;
        std::vector<std::uint8_t> remove;
        const alg3D::algorithm::ProcessControl control;
        ASSERT_TRUE(byCount
                        ? alg3D::algorithm::thinningToCount<Vec3d>(
                              control, points.data(), points.data() + points.size(), 777, remove)
                        : alg3D::algorithm::thinningToSpacing<Vec3d>(
                              control, points.data(), points.data() + points.size(), 0.04, remove));
        const auto kept = readRows(flags);
        const auto left = readPoints(thin);
        ASSERT_EQ(kept.size(), points.size());
        std::size_t next = 0;
        for (std::size_t i = 0; i < points.size(); ++i) {
            ASSERT_EQ(kept[i].size(), 1u);
            ASSERT_EQ(kept[i][0], remove[i] ? 0.0 : 1.0) << i;
            if (remove[i]) continue;
            ASSERT_LT(next, left.size());
            for (int a = 0; a < 3; ++a)
                ASSERT_NEAR(left[next][a], points[i][a], 5e-7 * (1 + 1e-9)) << i;
            ++next;
        }
        EXPECT_EQ(next, left.size());
        if (byCount) {
            EXPECT_EQ(left.size(), 777u);
        }
    }
}

TEST_F(PointCloudCli, ErrorsAndUsage) {
    EXPECT_EQ(runCli({"normals", input, "--mode", "knn", "--k", "0"}).exitCode, 2);
    EXPECT_EQ(
        runCli({"features", input, "--feature", "edges", "--kernel", "knn", "--k", "0"}).exitCode,
        2);
    EXPECT_EQ(runCli({"smooth", input, "--function", "gauss", "--radius", "nan", "-o",
                      scratch.file("x.xyz")})
                  .exitCode,
              2);
    EXPECT_EQ(runCli({"thin", input, "-o", scratch.file("x.xyz")}).exitCode, 2);
    EXPECT_EQ(runCli({"thin", input, "--count", "5", "--spacing", "1", "-o", scratch.file("x.xyz")})
                  .exitCode,
              2);
    EXPECT_EQ(runCli({"normals", input, "--mode", "radius"}).exitCode, 2);
    EXPECT_EQ(runCli({"regions", input, "--radius", "-1"}).exitCode, 2);
    EXPECT_EQ(runCli({"features", input}).exitCode, 2);
    // A mesh: the command's text, exit 1, nothing written.
    const std::string stl = scratch.file("m.stl");
    {
        std::ofstream f(stl, std::ios::binary);
        std::string header(80, ' ');
        f.write(header.data(), 80);
        const std::uint32_t n = 1;
        f.write(reinterpret_cast<const char*>(&n), 4);
        const float tri[12] = {0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0};
        f.write(reinterpret_cast<const char*>(tri), sizeof tri);
        const std::uint16_t attr = 0;
        f.write(reinterpret_cast<const char*>(&attr), 2);
    }
    const std::string values = scratch.file("v.txt");
    const Outcome o = runCli({"normals", stl, "--values", values});
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_NE(o.err.find("Normal vectors can be computed for pointclouds only!"), std::string::npos)
        << o.err;
    EXPECT_FALSE(fs::exists(values));
}

}  // namespace
