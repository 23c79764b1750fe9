// tessaro-cli register end to end: known transforms recovered through the text and JSON
// output and the written data, a mesh reference, the freedom option and the refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

#include "IcpCliSupport.h"
#include "TestHelpers.h"

namespace {

using namespace icpcli;
using Json = nlohmann::json;

std::vector<Vec3d> clusters(std::size_t n, std::uint64_t seed) {
    return testing_helpers::clusterPoints(n, seed);
}

// Turned by `angle` about z, then shifted.
std::vector<Vec3d> turned(const std::vector<Vec3d>& p, double angle, const Vec3d& shift) {
    std::vector<Vec3d> out;
    for (const Vec3d& v : p)
        out.push_back(Vec3d(std::cos(angle) * v.x - std::sin(angle) * v.y,
                            std::sin(angle) * v.x + std::cos(angle) * v.y, v.z) +
                      shift);
    return out;
}

TEST(RegisterCli, RecoversTheTransformAndWritesTheMovedData) {
    Scratch dir;
    const std::vector<Vec3d> ref = clusters(1200, 1);
    writePoints(dir.file("ref.xyz"), ref);
    writePoints(dir.file("data.xyz"), turned(ref, -0.3, Vec3d(0.4, -0.2, 0.3)));
    const std::vector<Vec3d> data = readPoints(dir.file("data.xyz"));
    const Outcome o = runCli({"--json", "register", dir.file("data.xyz"), dir.file("ref.xyz"),
                              "--samples", "0", "-o", dir.file("moved.xyz")});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    const Json j = Json::parse(o.out);
    for (const char* key :
         {"code", "iterations", "pairs", "rotation", "translation", "scale", "matrix", "meanDev",
          "minDev", "maxDev", "rmse", "stdDev", "duration_ms"})
        EXPECT_TRUE(j.contains(key)) << key;
    EXPECT_LE(j["code"].get<int>(), 1);
    EXPECT_EQ(j["pairs"].get<std::size_t>(), ref.size());
    EXPECT_NEAR(j["rotation"][0].get<double>(), std::cos(0.3), 1e-6);
    EXPECT_NEAR(j["rotation"][1].get<double>(), -std::sin(0.3), 1e-6);
    EXPECT_NEAR(j["rotation"][8].get<double>(), 1.0, 1e-9);
    EXPECT_EQ(j["scale"].get<double>(), 1.0);
    EXPECT_EQ(j["matrix"][3].get<double>(), j["translation"][0].get<double>());
    EXPECT_EQ(j["matrix"][15].get<double>(), 1.0);
    EXPECT_LT(j["maxDev"].get<double>(), 1e-7);
    // The moved data lie on the reference (6 decimals in the file).
    const std::vector<Vec3d> moved = readPoints(dir.file("moved.xyz"));
    ASSERT_EQ(moved.size(), ref.size());
    for (std::size_t i = 0; i < ref.size(); ++i)
        EXPECT_LT((moved[i] - ref[i]).norm(), 2e-6) << i;
    // The matrix maps the data onto the reference.
    for (std::size_t i = 0; i < ref.size(); i += 97) {
        Vec3d x;
        for (std::size_t r = 0; r < 3; ++r)
            x[r] = j["matrix"][4 * r].get<double>() * data[i].x +
                   j["matrix"][4 * r + 1].get<double>() * data[i].y +
                   j["matrix"][4 * r + 2].get<double>() * data[i].z +
                   j["matrix"][4 * r + 3].get<double>();
        EXPECT_LT((x - ref[i]).norm(), 1e-6);
    }
}

TEST(RegisterCli, TextOutputFreedomAndChebyshev) {
    Scratch dir;
    const std::vector<Vec3d> ref = clusters(600, 2);
    writePoints(dir.file("ref.xyz"), ref);
    writePoints(dir.file("data.xyz"), turned(ref, 0.0, Vec3d(0.3, 0.2, -0.25)));
    Outcome o = runCli({"register", dir.file("data.xyz"), dir.file("ref.xyz"), "--dof", "tz"});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(o.out.rfind("ICP-Registration finished in ", 0), 0u) << o.out;
    EXPECT_NE(o.out.find("ms\niterations: "), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("\npairs: 600\nmeanDev.: "), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("\nduration: "), std::string::npos);
    // Only tz moves: R identity, tx = ty = 0.
    EXPECT_NE(o.out.find("** R **\n+1.000000 +0.000000 +0.000000 \n+0.000000 +1.000000 "
                         "+0.000000 \n+0.000000 +0.000000 +1.000000 \n** T **\n+0.000000 \n"
                         "+0.000000 \n"),
              std::string::npos)
        << o.out;
    EXPECT_NE(o.out.find("** S **\n+1.000000\n"), std::string::npos);

    o = runCli({"register", dir.file("data.xyz"), dir.file("ref.xyz"), "--dof", "rx,q"});
    EXPECT_EQ(o.exitCode, 2);
    EXPECT_NE(o.err.find("--dof"), std::string::npos);

    // Chebyshev after Gauss on noisy data: all points paired, the maximum does not grow.
    std::vector<Vec3d> noisy = turned(ref, 0.1, Vec3d(0.3, 0.2, -0.25));
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> u(-0.02, 0.02);
    for (Vec3d& p : noisy)
        p += Vec3d(u(rng), u(rng), u(rng));
    writePoints(dir.file("noisy.xyz"), noisy);
    o = runCli({"register", dir.file("noisy.xyz"), dir.file("ref.xyz"), "--samples", "0", "-o",
                dir.file("gauss.xyz")});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    o = runCli({"--json", "register", dir.file("gauss.xyz"), dir.file("ref.xyz"), "--chebyshev",
                "--max-iterations", "1"});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    const double start = Json::parse(o.out)["maxDev"].get<double>();
    o = runCli({"--json", "register", dir.file("gauss.xyz"), dir.file("ref.xyz"), "--chebyshev"});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    const Json j = Json::parse(o.out);
    EXPECT_EQ(j["pairs"].get<std::size_t>(), 600u);  // all points, no sampling
    EXPECT_LE(j["maxDev"].get<double>(), start);
    EXPECT_LT(start, 0.05);
}

std::vector<Vec3d> heightField(int cells) {
    auto f = [](double x, double y) {
        return 0.8 * std::sin(0.6 * x) + 0.5 * std::cos(0.9 * y + 0.3 * x);
    };
    std::vector<Vec3d> tris;
    const double h = 10.0 / cells;
    for (int i = 0; i < cells; ++i)
        for (int k = 0; k < cells; ++k) {
            const double x0 = -5 + i * h, y0 = -5 + k * h, x1 = x0 + h, y1 = y0 + h;
            const Vec3d a(x0, y0, f(x0, y0)), b(x1, y0, f(x1, y0)), c(x1, y1, f(x1, y1)),
                d(x0, y1, f(x0, y1));
            for (const Vec3d& p : {a, b, c, a, c, d})
                tris.push_back(p);
        }
    return tris;
}

TEST(RegisterCli, MeshReferenceAndTwoMeshes) {
    Scratch dir;
    const std::vector<Vec3d> mesh = asFloats(heightField(30));
    writeStl(dir.file("ref.stl"), mesh);
    // Triangle centres away from the border, shifted and turned a little.
    std::vector<Vec3d> samples;
    for (std::size_t t = 0; t < mesh.size(); t += 3) {
        const Vec3d c = (mesh[t] + mesh[t + 1] + mesh[t + 2]) / 3.0;
        if (std::abs(c.x) < 3.5 && std::abs(c.y) < 3.5) samples.push_back(c);
    }
    writePoints(dir.file("data.xyz"), turned(samples, 0.05, Vec3d(0.1, -0.05, 0.08)));
    Outcome o = runCli({"--json", "register", dir.file("data.xyz"), dir.file("ref.stl"),
                        "--samples", "0", "--max-iterations", "200"});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    const Json j = Json::parse(o.out);
    EXPECT_LT(j["rmse"].get<double>(), 1e-5);

    o = runCli({"register", dir.file("ref.stl"), dir.file("ref.stl")});
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_NE(o.err.find("STL meshes can not be registered to eachother!"), std::string::npos)
        << o.err;
    EXPECT_TRUE(o.out.empty());
}

// Two meshes are refused by their names before either file is read: a missing data
// file and an unreadable reference get the refusal, not a read error.
TEST(RegisterCli, TwoMeshesRefusedBeforeLoading) {
    Scratch dir;
    std::ofstream(dir.file("broken.STL")) << "solid nothing but words\n";
    const Outcome o = runCli(
        {"register", dir.file("missing.stl"), dir.file("broken.STL"), "-o", dir.file("out.stl")});
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_NE(o.err.find("STL meshes can not be registered to eachother!"), std::string::npos)
        << o.err;
    EXPECT_EQ(o.err.find("open"), std::string::npos) << o.err;
    EXPECT_TRUE(o.out.empty());
    EXPECT_FALSE(std::ifstream(dir.file("out.stl")).good());
}

}  // namespace
