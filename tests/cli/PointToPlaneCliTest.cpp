// tessaro-cli register --method point-to-plane end to end: an independent scan recovered
// through the JSON, robust weighting, a mesh reference, planar data reporting their free
// motions, and the option checks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

#include "IcpCliSupport.h"
#include "RegistrationTestUtils.h"
#include "TestHelpers.h"

namespace {

using namespace icpcli;
using Json = nlohmann::json;

constexpr double kAngle = 0.1;  // about z, radians

using registration_test::heightMesh;

std::vector<Vec3d> samples(std::size_t n, double x0, double x1, std::uint64_t seed) {
    return registration_test::surfaceSamples(n, x0, x1, -5.0, 5.0, seed);
}

// The scan as seen from a sensor turned by -kAngle about z and shifted: registering it
// onto the surface turns it by kAngle and shifts it by (0.3, -0.2, 0.1).
std::vector<Vec3d> seen(const std::vector<Vec3d>& p) {
    std::vector<Vec3d> out;
    for (const Vec3d& v : p) {
        const Vec3d w = v - Vec3d(0.3, -0.2, 0.1);
        out.emplace_back(std::cos(kAngle) * w.x + std::sin(kAngle) * w.y,
                         -std::sin(kAngle) * w.x + std::cos(kAngle) * w.y, w.z);
    }
    return out;
}

Json registerJson(const std::vector<std::string>& extra, const std::string& data,
                  const std::string& ref) {
    std::vector<std::string> args = {"--json", "register", data, ref};
    args.insert(args.end(), extra.begin(), extra.end());
    const Outcome o = runCli(args);
    EXPECT_EQ(o.exitCode, 0) << o.err;
    return o.exitCode == 0 ? Json::parse(o.out) : Json();
}

TEST(PointToPlaneCli, IndependentScanThroughTheJson) {
    Scratch dir;
    writePoints(dir.file("ref.xyz"), samples(10000, -5, 3, 1));
    writePoints(dir.file("data.xyz"), seen(samples(10000, -3, 5, 2)));
    for (const std::vector<std::string>& extra :
         {std::vector<std::string>{"--method", "point-to-plane"},
          std::vector<std::string>{"--method", "point-to-plane", "--robust", "tukey", "--normals-k",
                                   "20"}}) {
        const Json j = registerJson(extra, dir.file("data.xyz"), dir.file("ref.xyz"));
        ASSERT_FALSE(j.is_null());
        EXPECT_EQ(j["method"], "point-to-plane");
        for (const char* key :
             {"code", "iterations", "pairs", "rotation", "translation", "scale", "matrix",
              "meanDev", "rmse", "planeMeanDev", "planeRmse", "unobservable", "duration_ms"})
            EXPECT_TRUE(j.contains(key)) << key;
        EXPECT_LE(j["code"].get<int>(), 1);
        const double angle =
            std::atan2(j["rotation"][3].get<double>(), j["rotation"][0].get<double>());
        EXPECT_NEAR(angle, kAngle, 0.01 * 3.14159265358979 / 180.0);
        EXPECT_NEAR(j["translation"][0].get<double>(), 0.3, 1e-3);
        EXPECT_NEAR(j["translation"][1].get<double>(), -0.2, 1e-3);
        EXPECT_NEAR(j["translation"][2].get<double>(), 0.1, 1e-3);
        EXPECT_TRUE(j["unobservable"].empty());
    }
    // The point-to-point run names its method, without the plane fields.
    const Json g = registerJson({}, dir.file("data.xyz"), dir.file("ref.xyz"));
    EXPECT_EQ(g["method"], "gauss");
    EXPECT_FALSE(g.contains("planeRmse"));
    // The text output carries the plane residuals.
    const Outcome text = runCli(
        {"register", dir.file("data.xyz"), dir.file("ref.xyz"), "--method", "point-to-plane"});
    ASSERT_EQ(text.exitCode, 0) << text.err;
    EXPECT_NE(text.out.find("\nplaneRMSE: "), std::string::npos);
    EXPECT_NE(text.out.find("** R **"), std::string::npos);
}

TEST(PointToPlaneCli, MeshReferenceAndPlanarData) {
    Scratch dir;
    const std::vector<Vec3d> corners = asFloats(heightMesh(24));
    writeStl(dir.file("ref.stl"), corners);
    std::vector<Vec3d> onMesh;
    for (std::size_t t = 0; t < corners.size(); t += 3)
        if (std::abs(corners[t].x) < 4 && std::abs(corners[t].y) < 4)
            onMesh.push_back((corners[t] + corners[t + 1] + corners[t + 2]) / 3.0);
    writePoints(dir.file("data.xyz"), seen(onMesh));
    const Json m =
        registerJson({"--method", "point-to-plane"}, dir.file("data.xyz"), dir.file("ref.stl"));
    const double angle = std::atan2(m["rotation"][3].get<double>(), m["rotation"][0].get<double>());
    EXPECT_NEAR(angle, kAngle, 1e-6);
    EXPECT_LT(m["planeRmse"].get<double>(), 1e-5);

    // A plane: the motions in it are reported, not guessed.
    std::vector<Vec3d> a, b;
    auto rng = testing_helpers::seededRng(3);
    std::uniform_real_distribution<double> u(-5.0, 5.0);
    for (int i = 0; i < 2000; ++i) {
        a.emplace_back(u(rng), u(rng), 0.0);
        b.emplace_back(u(rng), u(rng), 0.5);
    }
    writePoints(dir.file("plane-ref.xyz"), a);
    writePoints(dir.file("plane-data.xyz"), b);
    const Json p = registerJson({"--method", "point-to-plane"}, dir.file("plane-data.xyz"),
                                dir.file("plane-ref.xyz"));
    EXPECT_EQ(p["unobservable"], Json({"rz", "tx", "ty"}));
    EXPECT_NEAR(p["translation"][2].get<double>(), -0.5, 1e-9);
}

TEST(PointToPlaneCli, OptionChecks) {
    Scratch dir;
    writePoints(dir.file("ref.xyz"), samples(200, -5, 5, 4));
    writePoints(dir.file("data.xyz"), samples(200, -5, 5, 5));
    const std::vector<std::vector<std::string>> bad = {
        {"--method", "plane"},
        {"--method", "point-to-plane", "--robust", "cauchy"},
        {"--method", "point-to-plane", "--normals-k", "2"},
        {"--robust", "huber"},
        {"--normals-k", "12"},
        {"--chebyshev", "--method", "point-to-plane"},
    };
    for (const auto& extra : bad) {
        std::vector<std::string> args = {"register", dir.file("data.xyz"), dir.file("ref.xyz")};
        args.insert(args.end(), extra.begin(), extra.end());
        const Outcome o = runCli(args);
        EXPECT_EQ(o.exitCode, 2) << extra[0] << ' ' << extra[1];
        EXPECT_FALSE(o.err.empty());
    }
}

}  // namespace
