// tessaro-cli fit end to end: the built binary fits generated point files; the tests read
// its exit code, its text and JSON output and the deviations file, and compare them with
// the shapes the points were made from and with the test's own distance formulas.
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
#include "alg3D/matrix/Matrix.h"
#include "commands/FitResultFile.h"

namespace {

namespace fs = std::filesystem;
using alg3D::Vec3d;
using Json = nlohmann::ordered_json;

constexpr double kPi = 3.141592653589793;

using namespace cli_test;

// A noisy cylinder of radius 4 about the axis through (12, -7, 30) along (0.3, -0.5, 0.8).
const Vec3d kAxisPoint(12.0, -7.0, 30.0);
const Vec3d kAxis = Vec3d(0.3, -0.5, 0.8).normalized();
constexpr double kRadius = 4.0;

std::vector<Vec3d> noisyCylinder(std::size_t n, std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> angle(0.0, 2 * kPi), height(-6.0, 6.0);
    std::normal_distribution<double> noise(0.0, 0.01);
    const Vec3d u = Vec3d(1, 0, 0).cross(kAxis).normalized();
    const Vec3d v = kAxis.cross(u);
    std::vector<Vec3d> pts;
    for (std::size_t i = 0; i < n; ++i) {
        const double t = angle(rng), h = height(rng), r = kRadius + noise(rng);
        pts.push_back(kAxisPoint + h * kAxis + r * std::cos(t) * u + r * std::sin(t) * v);
    }
    return pts;
}

double distanceToAxis(const Vec3d& q, const Vec3d& p, const Vec3d& d) {
    const Vec3d w = q - p;
    return (w - w.dot(d) * d).norm();
}

Vec3d vec(const Json& j) {
    return Vec3d(j.at(0).get<double>(), j.at(1).get<double>(), j.at(2).get<double>());
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

class FitCli : public ::testing::Test {
  protected:
    Scratch dir;
    std::string cylinderFile = dir.file("cylinder.xyz");
    std::vector<Vec3d> points;

    void SetUp() override {
        writePoints(cylinderFile, noisyCylinder(3000, 5));
        points = readPoints(cylinderFile);
        ASSERT_EQ(points.size(), 3000u);
    }
};

TEST_F(FitCli, TextOutputIsTheConsoleLinesStatisticsAndDuration) {
    const Outcome o = runCli({"fit", "cylinder", cylinderFile});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(o.err, "");
    const std::vector<std::string> l = lines(o.out);
    ASSERT_EQ(l.size(), 9u) << o.out;
    std::smatch m;
    ASSERT_TRUE(std::regex_match(l[0], m,
                                 std::regex("pt: (-?[0-9]+\\.[0-9]{6}),(-?[0-9]+\\.[0-9]{6}),"
                                            "(-?[0-9]+\\.[0-9]{6})")))
        << l[0];
    const Vec3d p(std::stod(m[1]), std::stod(m[2]), std::stod(m[3]));
    ASSERT_TRUE(std::regex_match(
        l[1], m,
        std::regex("dir: (-?[0-9]\\.[0-9]{10}),(-?[0-9]\\.[0-9]{10}),(-?[0-9]\\.[0-9]{10})")))
        << l[1];
    const Vec3d d(std::stod(m[1]), std::stod(m[2]), std::stod(m[3]));
    EXPECT_LT(std::abs(std::abs(d.dot(kAxis)) - 1.0), 1e-6);
    EXPECT_LT(distanceToAxis(p, kAxisPoint, kAxis), 1e-2);
    ASSERT_TRUE(std::regex_match(l[2], m, std::regex("radius: ([0-9]+\\.[0-9]{6})"))) << l[2];
    EXPECT_NEAR(std::stod(m[1]), kRadius, 2e-3);
    ASSERT_TRUE(std::regex_match(l[3], m, std::regex("stdDev: ([0-9]+\\.[0-9]{6})"))) << l[3];
    const std::string stdDev = m[1];
    EXPECT_NEAR(std::stod(stdDev), 0.01, 1e-3);
    EXPECT_EQ(l[4], "sigma: " + stdDev);
    EXPECT_TRUE(std::regex_match(l[5], std::regex("mindev: -[0-9]+\\.[0-9]{6}"))) << l[5];
    EXPECT_TRUE(std::regex_match(l[6], std::regex("maxdev: [0-9]+\\.[0-9]{6}"))) << l[6];
    EXPECT_TRUE(std::regex_match(l[7], std::regex("iterations: [0-9]+"))) << l[7];
    EXPECT_TRUE(std::regex_match(l[8], std::regex("duration: .*ms \\(.*ms\\)"))) << l[8];
}

TEST_F(FitCli, JsonHasTheDocumentedKeysAndFullPrecision) {
    const Outcome o =
        runCli({"fit", "--json", "cylinder", cylinderFile, "--method", "gauss-newton"});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    const Json j = Json::parse(o.out);
    std::vector<std::string> keys;
    for (auto it = j.begin(); it != j.end(); ++it)
        keys.push_back(it.key());
    EXPECT_EQ(keys,
              (std::vector<std::string>{"shape", "method", "points", "iterations",
                                        "max_iterations_reached", "parameters", "bottom", "height",
                                        "sigma", "mindev", "maxdev", "duration_ms"}));
    EXPECT_EQ(j["shape"], "cylinder");
    EXPECT_EQ(j["method"], "gauss-newton");
    EXPECT_EQ(j["points"], 3000);
    EXPECT_FALSE(j["max_iterations_reached"].get<bool>());
    EXPECT_GE(j["duration_ms"].get<double>(), 0.0);
    const Json& par = j["parameters"];
    std::vector<std::string> parKeys;
    for (auto it = par.begin(); it != par.end(); ++it)
        parKeys.push_back(it.key());
    EXPECT_EQ(parKeys, (std::vector<std::string>{"point", "direction", "radius"}));
    const Vec3d p = vec(par["point"]), d = vec(par["direction"]);
    const double r = par["radius"].get<double>();
    EXPECT_NEAR(d.norm(), 1.0, 1e-14);
    EXPECT_LT(std::abs(std::abs(d.dot(kAxis)) - 1.0), 1e-6);
    EXPECT_NEAR(r, kRadius, 2e-3);

    // The statistics are those of the signed distances from the reported cylinder.
    double lo = 1e300, hi = -1e300, sum = 0.0, sumSq = 0.0;
    for (const Vec3d& q : points) {
        const double dev = distanceToAxis(q, p, d) - r;
        lo = std::min(lo, dev);
        hi = std::max(hi, dev);
        sum += dev;
    }
    const double mean = sum / points.size();
    for (const Vec3d& q : points)
        sumSq += std::pow(distanceToAxis(q, p, d) - r - mean, 2);
    EXPECT_NEAR(j["mindev"].get<double>(), lo, 1e-12);
    EXPECT_NEAR(j["maxdev"].get<double>(), hi, 1e-12);
    EXPECT_NEAR(j["sigma"].get<double>(), std::sqrt(sumSq / points.size()), 1e-12);

    // Full precision: the text and the JSON of the same run agree to the last printed digit.
    const Outcome text = runCli({"fit", "cylinder", cylinderFile, "--method", "gauss-newton"});
    char expected[64];
    std::snprintf(expected, sizeof expected, "radius: %lf\n", r);
    EXPECT_NE(text.out.find(expected), std::string::npos) << text.out;
}

TEST_F(FitCli, BottomAndHeightAreTheExtentOfThePointsAlongTheAxisAndReadBack) {
    for (const char* shape : {"cylinder", "cone"}) {
        SCOPED_TRACE(shape);
        const Outcome o = runCli({"fit", "--json", shape, cylinderFile});
        ASSERT_EQ(o.exitCode, 0) << o.err;
        const Json j = Json::parse(o.out);
        const Vec3d p = vec(j["parameters"]["point"]), d = vec(j["parameters"]["direction"]);
        double lo = 1e300, hi = -1e300;
        for (const Vec3d& q : points) {
            lo = std::min(lo, (q - p).dot(d));
            hi = std::max(hi, (q - p).dot(d));
        }
        const Vec3d bottom = vec(j["bottom"]);
        EXPECT_LT((bottom - (p + lo * d)).norm(), 1e-9);
        EXPECT_NEAR(j["height"].get<double>(), hi - lo, 1e-9);
        // Generated over 12 units of the axis.
        EXPECT_NEAR(j["height"].get<double>(), 12.0, 0.1);

        // The file reads back to the same doubles.
        const std::string file = dir.file(std::string(shape) + ".json");
        std::ofstream(file) << o.out;
        const tessaro::commands::FitResultFile back = tessaro::commands::readFitResultFile(file);
        ASSERT_TRUE(back.hasExtent);
        EXPECT_EQ(back.bottom, bottom);
        EXPECT_EQ(back.height, j["height"].get<double>());
        EXPECT_EQ(back.geometry.point, p);
        EXPECT_EQ(back.geometry.direction, d);
        EXPECT_EQ(back.geometry.radius, j["parameters"]["radius"].get<double>());
    }
    // The other shapes have no extent keys.
    const Outcome o = runCli({"fit", "--json", "sphere", cylinderFile});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    EXPECT_FALSE(Json::parse(o.out).contains("bottom"));
}

TEST_F(FitCli, DeviationsFileHasOneValuePerPointWithSeventeenDigits) {
    const std::string devFile = dir.file("dev.txt");
    const Outcome o = runCli({"fit", "cylinder", cylinderFile, "--json", "--deviations", devFile});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    const Json j = Json::parse(o.out);
    const Vec3d p = vec(j["parameters"]["point"]), d = vec(j["parameters"]["direction"]);
    const double r = j["parameters"]["radius"].get<double>();
    const std::vector<std::string> l = lines(readFile(devFile));
    ASSERT_EQ(l.size(), points.size());
    double lo = 1e300, hi = -1e300;
    std::size_t fullLength = 0;
    for (std::size_t i = 0; i < l.size(); ++i) {
        char* end = nullptr;
        const double value = std::strtod(l[i].c_str(), &end);
        ASSERT_EQ(*end, '\0') << l[i];
        // Written with %.17g: printing the read value again gives the same text.
        char again[64];
        std::snprintf(again, sizeof again, "%.17g", value);
        EXPECT_EQ(l[i], again);
        std::string digits;
        for (char c : l[i].substr(0, l[i].find('e')))
            if (c >= '0' && c <= '9') digits += c;
        digits.erase(0, digits.find_first_not_of('0'));
        if (digits.size() == 17) ++fullLength;
        EXPECT_LE(digits.size(), 17u);
        EXPECT_NEAR(value, distanceToAxis(points[i], p, d) - r, 1e-12) << i;
        lo = std::min(lo, value);
        hi = std::max(hi, value);
    }
    EXPECT_GT(fullLength, l.size() / 2);  // most values need all 17 digits
    EXPECT_EQ(lo, j["mindev"].get<double>());
    EXPECT_EQ(hi, j["maxdev"].get<double>());
}

TEST_F(FitCli, StartValuesAndFixedGroups) {
    const Outcome o = runCli({"fit", "--json", "cylinder", cylinderFile, "--fix-radius", "3.9",
                              "--direction", "0.31,-0.5,0.8", "--point", "12,-7,30"});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    const Json j = Json::parse(o.out);
    EXPECT_EQ(j["parameters"]["radius"].get<double>(), 3.9);
    const Outcome fixedDir =
        runCli({"fit", "--json", "cylinder", cylinderFile, "--fix-direction", "0,0,2"});
    ASSERT_EQ(fixedDir.exitCode, 0) << fixedDir.err;
    EXPECT_EQ(vec(Json::parse(fixedDir.out)["parameters"]["direction"]), Vec3d(0, 0, 1));
    // Negative numbers are values, not options.
    const Outcome negative = runCli({"fit", "sphere", cylinderFile, "--point", "-1,2,-3",
                                     "--radius", "5", "--max-iterations", "3"});
    EXPECT_NE(negative.exitCode, 2) << negative.err;
}

TEST_F(FitCli, EllipseLineCarriesTheUtf8DegreeSign) {
    std::vector<Vec3d> ellipse;
    for (int i = 0; i < 90; ++i) {
        const double t = 2 * kPi * i / 90.0;
        ellipse.emplace_back(3.0 + 4.0 * std::cos(t), -2.0 + 2.0 * std::sin(t), 1.0);
    }
    const std::string file = dir.file("ellipse.xyz");
    writePoints(file, ellipse);
    const Outcome o = runCli({"fit", "ellipse", file});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    EXPECT_NE(o.out.find("a:\t4.000000\nb:\t2.000000\nk:\t"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("\xC2\xB0)\npt:\t3.0000,-2.0000,1.0000\n"), std::string::npos) << o.out;
}

TEST_F(FitCli, CapReachedIsReportedOnStderrAndInTheJson) {
    const Outcome o = runCli({"fit", "--json", "sphere", cylinderFile, "--max-iterations", "0"});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(o.err, "tessaro-cli: Sphere approximation: Max. number of iterations reached\n");
    const Json j = Json::parse(o.out);
    EXPECT_TRUE(j["max_iterations_reached"].get<bool>());
    EXPECT_EQ(j["iterations"], 0);
    EXPECT_EQ(j["method"], "gauss");
}

TEST_F(FitCli, TooFewPointsFailsWithExitOne) {
    const std::string file = dir.file("three.xyz");
    writePoints(file, {Vec3d(0, 0, 0), Vec3d(1, 0, 0), Vec3d(0, 1, 0)});
    const std::string devFile = dir.file("dev.txt");
    const Outcome o = runCli({"fit", "sphere", file, "--deviations", devFile});
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "tessaro-cli: " + file + ": Not enough points selected\n");
    EXPECT_FALSE(fs::exists(devFile));
    // Enough for the command, too few for the cone's estimate.
    std::vector<Vec3d> seven;
    for (int i = 0; i < 7; ++i)
        seven.emplace_back(std::cos(i), std::sin(i), 0.1 * i);
    writePoints(file, seven);
    const Outcome cone = runCli({"fit", "cone", file});
    EXPECT_EQ(cone.exitCode, 1);
    EXPECT_EQ(cone.err,
              "tessaro-cli: " + file + ": ALG3D::not enough data for geometry approximation.\n");
    const Outcome missing = runCli({"fit", "plane", dir.file("missing.xyz")});
    EXPECT_EQ(missing.exitCode, 1);
}

TEST_F(FitCli, UnwritableDeviationsFileFailsWithoutOutput) {
    const std::string devFile = dir.file("no/such/dir/dev.txt");
    const Outcome o = runCli({"fit", "cylinder", cylinderFile, "--deviations", devFile});
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "tessaro-cli: " + devFile + ": ALG3D::can not write destination file.\n");
    // An existing file is replaced only by a complete new one.
    const std::string existing = dir.file("old.txt");
    std::ofstream(existing) << "old\n";
    const Outcome ok = runCli({"fit", "cylinder", cylinderFile, "--deviations", existing});
    EXPECT_EQ(ok.exitCode, 0);
    EXPECT_EQ(lines(readFile(existing)).size(), points.size());
}

TEST_F(FitCli, UsageErrorsExitWithTwo) {
    const std::vector<std::vector<std::string>> bad = {
        {"fit", "box", cylinderFile},
        {"fit", "cylinder"},
        {"fit", "cylinder", cylinderFile, "--method", "minimax"},
        {"fit", "cylinder", cylinderFile, "--point", "1,2"},
        {"fit", "cylinder", cylinderFile, "--point", "1,2,x"},
        {"fit", "cylinder", cylinderFile, "--radius", "nan"},
        {"fit", "cylinder", cylinderFile, "--radius", "-1"},
        {"fit", "cylinder", cylinderFile, "--point", "1,2,3", "--fix-point", "1,2,3"},
        {"fit", "cylinder", cylinderFile, "--direction", "0,0,0"},
        {"fit", "cylinder", cylinderFile, "--fix-direction", "0,0,0"},
        {"fit", "cylinder", cylinderFile, "--max-iterations", "18446744073709551616"},
        {"fit", "cylinder", cylinderFile, "--max-iterations", "-3"},
        {"fit", "line", cylinderFile, "--radius", "2"},
        {"fit", "sphere", cylinderFile, "--fix-direction", "0,0,1"},
        {"fit", "cone", cylinderFile, "--factor", "2"},
        {"fit", "superellipse", cylinderFile, "--factor", "0"},
    };
    for (const auto& args : bad) {
        const Outcome o = runCli(args);
        std::string joined;
        for (const std::string& a : args)
            joined += a + " ";
        EXPECT_EQ(o.exitCode, 2) << joined << "\n" << o.err;
        EXPECT_EQ(o.out, "") << joined;
        EXPECT_FALSE(o.err.empty()) << joined;
    }
    EXPECT_EQ(runCli({"fit", "line", cylinderFile, "--radius", "2"}).err,
              "tessaro-cli: --radius does not apply to a line\n");
    EXPECT_EQ(runCli({"fit", "ellipse", cylinderFile, "--fix-direction", "0,0,0"}).err,
              "tessaro-cli: --fix-direction must not be the zero vector\n");
}

}  // namespace
