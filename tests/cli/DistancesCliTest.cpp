// tessaro-cli distances end to end: cloud, mesh and primitive references against the
// test's own brute force, the values, coloured and selection files, the JSON, and
// `fit --json` read back as the reference primitive.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "IcpCliSupport.h"

namespace {

using namespace icpcli;
using Json = nlohmann::json;

std::vector<Vec3d> randomPoints(std::size_t n, double lo, double hi, std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> u(lo, hi);
    std::vector<Vec3d> p(n);
    for (Vec3d& v : p)
        v = Vec3d(u(rng), u(rng), u(rng));
    return p;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream s(text);
    std::string line;
    while (std::getline(s, line))
        out.push_back(line);
    return out;
}

TEST(DistancesCli, CloudReferenceValuesJsonAndFiles) {
    Scratch dir;
    writePoints(dir.file("ref.xyz"), randomPoints(800, 0.0, 1.0, 1));
    writePoints(dir.file("test.xyz"), randomPoints(300, -0.5, 1.5, 2));
    const std::vector<Vec3d> ref = readPoints(dir.file("ref.xyz"));
    const std::vector<Vec3d> test = readPoints(dir.file("test.xyz"));
    const Outcome o =
        runCli({"--json", "distances", dir.file("test.xyz"), dir.file("ref.xyz"), "--max-distance",
                "0.2", "--max", "0.1", "--select", "inside", "--values", dir.file("v.txt"), "-o",
                dir.file("c.xyzc"), "--selected", dir.file("s.xyz")});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    const std::vector<std::string> values = lines(readFile(dir.file("v.txt")));
    ASSERT_EQ(values.size(), test.size());
    std::size_t matched = 0, inRange = 0;
    std::vector<double> in;
    for (std::size_t i = 0; i < test.size(); ++i) {
        double best = std::numeric_limits<double>::infinity();
        for (const Vec3d& r : ref)
            best = std::min(best, (r - test[i]).norm());
        if (std::abs(best - 0.2) < 1e-7) continue;
        if (best > 0.2) {
            EXPECT_EQ(values[i], "nan") << i;
            continue;
        }
        ++matched;
        EXPECT_NEAR(std::stod(values[i]), best, 1e-12) << i;
        if (best <= 0.1) ++inRange, in.push_back(best);
    }
    ASSERT_GT(matched, 50u);
    ASSERT_LT(matched, test.size());
    const Json j = Json::parse(o.out);
    for (const char* key : {"pairs", "selected", "minDev", "maxDev", "meanDev", "median", "stdDev",
                            "colorMin", "colorMax", "duration_ms"})
        EXPECT_TRUE(j.contains(key)) << key;
    EXPECT_EQ(j["pairs"].get<std::size_t>(), inRange);
    EXPECT_EQ(j["selected"].get<std::size_t>(), inRange);
    std::sort(in.begin(), in.end());
    EXPECT_NEAR(j["median"].get<double>(), in[in.size() / 2], 1e-12);
    EXPECT_EQ(readPoints(dir.file("s.xyz")).size(), inRange);
    // Coloured cloud: every point, black where out of range or unmatched.
    const std::vector<std::string> colored = lines(readFile(dir.file("c.xyzc")));
    ASSERT_EQ(colored.size(), test.size());
    for (std::size_t i = 0; i < test.size(); ++i) {
        if (values[i] == "nan" || std::stod(values[i]) > 0.1) {
            EXPECT_NE(colored[i].find("\t0\t0\t0"), std::string::npos) << colored[i];
        }
    }
}

TEST(DistancesCli, MeshReferenceIsSigned) {
    Scratch dir;
    // A square of two triangles in the plane z = 1, normal +z.
    writeStl(dir.file("plane.stl"),
             {{-5, -5, 1}, {5, -5, 1}, {5, 5, 1}, {-5, -5, 1}, {5, 5, 1}, {-5, 5, 1}});
    const std::vector<Vec3d> test = {{0, 0, 3}, {1, 2, -1}, {0.5, 0.5, 1}, {7, 0, 1}};
    writePoints(dir.file("test.xyz"), test);
    const Outcome o = runCli(
        {"distances", dir.file("test.xyz"), dir.file("plane.stl"), "--values", dir.file("v.txt")});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    const std::vector<std::string> v = lines(readFile(dir.file("v.txt")));
    ASSERT_EQ(v.size(), 4u);
    EXPECT_EQ(std::stod(v[0]), 2.0);
    EXPECT_EQ(std::stod(v[1]), -2.0);
    EXPECT_EQ(std::stod(v[2]), 0.0);
    EXPECT_EQ(std::stod(v[3]), 2.0);
    EXPECT_EQ(o.out.rfind("calcDistancesMesh finished in ", 0), 0u) << o.out;
    const std::string text = o.out.substr(o.out.find("evaluateDistances finished in "));
    EXPECT_EQ(text.substr(text.find('\n') + 1)
                  .rfind("minDev.: -2.00000000\nmaxDev.: 2.00000000\nmeanDev.: 0.50000000\n"
                         "median: 2.00000000\n",
                         0),
              0u)
        << o.out;
    EXPECT_NE(o.out.find("\npairs: 4\nselected: 0\nduration: "), std::string::npos) << o.out;
}

TEST(DistancesCli, FitJsonAsPrimitiveReference) {
    Scratch dir;
    std::mt19937_64 rng(3);
    std::normal_distribution<double> g(0.0, 1.0);
    std::vector<Vec3d> pts;
    for (int i = 0; i < 500; ++i) {
        const Vec3d d = Vec3d(g(rng), g(rng), g(rng)).normalized();
        pts.push_back(Vec3d(1, -2, 3) + d * (2.5 + 0.01 * g(rng)));
    }
    writePoints(dir.file("sphere.xyz"), pts);
    const Outcome fit = runCli({"--json", "fit", "sphere", dir.file("sphere.xyz")});
    ASSERT_EQ(fit.exitCode, 0) << fit.err;
    std::ofstream(dir.file("fit.json")) << fit.out;
    const Json f = Json::parse(fit.out);
    const Vec3d c(f["parameters"]["center"][0].get<double>(),
                  f["parameters"]["center"][1].get<double>(),
                  f["parameters"]["center"][2].get<double>());
    const double r = f["parameters"]["radius"].get<double>();
    const Outcome o = runCli({"--json", "distances", dir.file("sphere.xyz"), "--primitive",
                              dir.file("fit.json"), "--abs", "--values", dir.file("v.txt")});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    const std::vector<Vec3d> read = readPoints(dir.file("sphere.xyz"));
    const std::vector<std::string> v = lines(readFile(dir.file("v.txt")));
    ASSERT_EQ(v.size(), read.size());
    double maxAbs = 0.0;
    for (std::size_t i = 0; i < read.size(); ++i) {
        const double truth = (read[i] - c).norm() - r;
        EXPECT_NEAR(std::stod(v[i]), truth, 1e-12) << i;  // the values keep their sign
        maxAbs = std::max(maxAbs, std::abs(truth));
    }
    const Json j = Json::parse(o.out);
    EXPECT_EQ(j["pairs"].get<std::size_t>(), read.size());
    EXPECT_GE(j["minDev"].get<double>(), 0.0);
    EXPECT_NEAR(j["maxDev"].get<double>(), maxAbs, 1e-12);
    // The fit's own largest deviation is the largest of the values.
    double largest = -std::numeric_limits<double>::infinity();
    for (const std::string& x : v)
        largest = std::max(largest, std::stod(x));
    EXPECT_NEAR(f["maxdev"].get<double>(), largest, 1e-9);
}

TEST(DistancesCli, Refusals) {
    Scratch dir;
    writePoints(dir.file("t.xyz"), randomPoints(10, 0.0, 1.0, 4));
    std::ofstream(dir.file("cube.json")) << R"({"shape": "cube", "parameters": {}})";
    Outcome o = runCli({"distances", dir.file("t.xyz"), "--primitive", dir.file("cube.json")});
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_NE(o.err.find("unkown GLobject"), std::string::npos) << o.err;
    std::ofstream(dir.file("bad.json"))
        << R"({"shape": "sphere", "parameters": {"center": [1, 2]}})";
    o = runCli({"distances", dir.file("t.xyz"), "--primitive", dir.file("bad.json")});
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_NE(o.err.find("center"), std::string::npos) << o.err;
    o = runCli({"distances", dir.file("t.xyz")});
    EXPECT_EQ(o.exitCode, 2);
    o = runCli({"distances", dir.file("t.xyz"), dir.file("t.xyz"), "--color-min", "1"});
    EXPECT_EQ(o.exitCode, 2);
    writeStl(dir.file("m.stl"), {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    o = runCli({"distances", dir.file("m.stl"), dir.file("t.xyz")});
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_NE(o.err.find("Operation is not supported."), std::string::npos) << o.err;
}

}  // namespace
