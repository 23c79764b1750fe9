// tessaro-cli fit with --method chebyshev, enclosing and inscribing end to end: the
// central, outer and inner elements of points on two parallel planes, the enclosing and
// inscribing spheres of a sampled sphere shell, and the refusals of unsuitable elements.
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

#include "CliTestSupport.h"

namespace {

using alg3D::Vec3d;
using cli_test::Outcome;
using Json = nlohmann::ordered_json;

Vec3d vec(const Json& j) {
    return Vec3d(j.at(0).get<double>(), j.at(1).get<double>(), j.at(2).get<double>());
}

Json fitJson(const std::vector<std::string>& args) {
    std::vector<std::string> all{"--json", "fit"};
    all.insert(all.end(), args.begin(), args.end());
    const Outcome o = cli_test::runCli(all);
    EXPECT_EQ(o.exitCode, 0) << o.err;
    return o.exitCode == 0 ? Json::parse(o.out) : Json();
}

class ChebyshevCli : public ::testing::Test {
  protected:
    cli_test::Scratch dir{"chebcli"};
    std::string planes = dir.file("planes.xyz");
    std::string shell = dir.file("shell.xyz");

    void SetUp() override {
        std::mt19937_64 rng(41);
        std::uniform_real_distribution<double> u(-5.0, 5.0), in(-0.04, 0.04);
        // Two planes 0.1 apart, tilted, through (1, 2, 3), with points between them.
        const Vec3d n = Vec3d(1.0, -2.0, 2.0).normalized();
        const Vec3d e1 = Vec3d(2.0, 1.0, 0.0).normalized(), e2 = n.cross(e1);
        std::vector<Vec3d> p;
        for (int i = 0; i < 1500; ++i) {
            const double h = i % 3 == 0 ? in(rng) : (i % 3 == 1 ? 0.05 : -0.05);
            p.push_back(Vec3d(1.0, 2.0, 3.0) + u(rng) * e1 + u(rng) * e2 + h * n);
        }
        cli_test::writePoints(planes, p);
        // A shell between radii 1.9 and 2.1 about (4, 0, -1), reaching both radii.
        std::normal_distribution<double> g(0.0, 1.0);
        std::uniform_real_distribution<double> r(1.9, 2.1);
        std::vector<Vec3d> s;
        for (int i = 0; i < 2000; ++i) {
            const Vec3d d = Vec3d(g(rng), g(rng), g(rng)).normalized();
            const double radius = i % 4 == 0 ? 2.1 : (i % 4 == 1 ? 1.9 : r(rng));
            s.push_back(Vec3d(4.0, 0.0, -1.0) + radius * d);
        }
        cli_test::writePoints(shell, s);
    }
};

TEST_F(ChebyshevCli, CentralOuterAndInnerPlanes) {
    const Json central = fitJson({"plane", planes, "--method", "chebyshev"});
    const Json outer = fitJson({"plane", planes, "--method", "chebyshev", "--element", "outer"});
    const Json inner = fitJson({"plane", planes, "--method", "chebyshev", "--element", "inner"});
    EXPECT_EQ(central.at("element"), "central");
    EXPECT_EQ(outer.at("element"), "outer");
    EXPECT_EQ(inner.at("element"), "inner");
    const double zone = central.at("maxdev").get<double>() - central.at("mindev").get<double>();
    EXPECT_NEAR(zone, 0.1, 1e-6);  // the file holds 9 decimals
    EXPECT_NEAR(central.at("maxdev").get<double>(), -central.at("mindev").get<double>(), 1e-9);
    // The outer and inner planes pass through the extreme points, a zone apart.
    EXPECT_NEAR(outer.at("maxdev").get<double>(), 0.0, 1e-12);
    EXPECT_NEAR(inner.at("mindev").get<double>(), 0.0, 1e-12);
    const Vec3d n = vec(central.at("parameters").at("normal"));
    const double gap =
        n.dot(vec(outer.at("parameters").at("point")) - vec(inner.at("parameters").at("point")));
    EXPECT_NEAR(std::abs(gap), zone, 1e-9);
}

TEST_F(ChebyshevCli, EnclosingAndInscribingSpheresOfAShell) {
    const Json enclosing = fitJson({"sphere", shell, "--method", "enclosing"});
    const Json inscribing = fitJson({"sphere", shell, "--method", "inscribing"});
    const Json central = fitJson({"sphere", shell, "--method", "chebyshev"});
    EXPECT_EQ(enclosing.at("element"), "enclosing");
    EXPECT_NEAR(enclosing.at("parameters").at("radius").get<double>(), 2.1, 2e-3);
    EXPECT_NEAR(enclosing.at("maxdev").get<double>(), 0.0, 1e-12);
    EXPECT_NEAR(inscribing.at("parameters").at("radius").get<double>(), 1.9, 2e-3);
    EXPECT_NEAR(inscribing.at("mindev").get<double>(), 0.0, 1e-12);
    EXPECT_NEAR(central.at("parameters").at("radius").get<double>(), 2.0, 2e-3);
    EXPECT_NEAR(central.at("maxdev").get<double>(), -central.at("mindev").get<double>(), 1e-9);
}

TEST_F(ChebyshevCli, TextOutputMatchesTheLeastSquaresLayout) {
    const Outcome o = cli_test::runCli({"fit", "sphere", shell, "--method", "chebyshev"});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(o.out.rfind("pt: ", 0), 0u);
    EXPECT_NE(o.out.find("\nradius: "), std::string::npos);
    EXPECT_NE(o.out.find("sigma: "), std::string::npos);
    EXPECT_NE(o.out.find("\nduration: "), std::string::npos);
}

TEST_F(ChebyshevCli, UnsuitableElementsAreUsageErrors) {
    const Outcome line = cli_test::runCli({"fit", "line", planes, "--method", "enclosing"});
    EXPECT_EQ(line.exitCode, 2);
    EXPECT_NE(line.err.find("--method enclosing does not apply to a line"), std::string::npos);
    const Outcome circle =
        cli_test::runCli({"fit", "circle", planes, "--method", "chebyshev", "--element", "outer"});
    EXPECT_EQ(circle.exitCode, 2);
    const Outcome gauss = cli_test::runCli({"fit", "plane", planes, "--element", "inner"});
    EXPECT_EQ(gauss.exitCode, 2);
    EXPECT_NE(gauss.err.find("--element needs --method chebyshev"), std::string::npos);
}

TEST_F(ChebyshevCli, CollinearPointsReportTheFailure) {
    const std::string line = dir.file("line.xyz");
    std::vector<Vec3d> p;
    for (int i = 0; i < 10; ++i)
        p.emplace_back(i, 2.0 * i, 1.0);
    cli_test::writePoints(line, p);
    const Outcome o = cli_test::runCli({"fit", "plane", line, "--method", "chebyshev"});
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_NE(o.err.find("geometry approximation failed."), std::string::npos) << o.err;
}

// 400 points on a 60-degree cap of a radius-10 sphere surround no sphere: the inscribing
// run fails with exit code 1 and says why instead of printing a radius.
TEST_F(ChebyshevCli, InscribingSphereOfAnOpenCapFails) {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::vector<Vec3d> cap;
    for (int i = 0; i < 400; ++i) {
        const double c = 1.0 - 0.5 * u(rng), s = std::sqrt(1.0 - c * c), a = 6.283185307 * u(rng);
        cap.push_back(10.0 * Vec3d(s * std::cos(a), s * std::sin(a), c));
    }
    const std::string file = dir.file("cap.xyz");
    cli_test::writePoints(file, cap);
    for (const char* json : {"", "--json"}) {
        std::vector<std::string> args{"fit", "sphere", file, "--method", "inscribing"};
        if (*json) args.insert(args.begin(), json);
        const Outcome o = cli_test::runCli(args);
        EXPECT_EQ(o.exitCode, 1) << o.out;
        EXPECT_NE(o.err.find("The points do not enclose an inscribed element."), std::string::npos)
            << o.err;
        EXPECT_EQ(o.out.find("radius"), std::string::npos) << o.out;
    }
}

}  // namespace
