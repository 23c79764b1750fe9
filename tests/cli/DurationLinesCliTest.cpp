// The timing lines of the timed commands: the text output starts with them (as the
// workbench prints them on its console), --json output stays pure JSON with duration_ms.
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <vector>

#include "CliTestSupport.h"

namespace {

using alg3D::Vec3d;
using namespace cli_test;

constexpr const char* kTime = "([0-9]+m )?([0-9]+s )?[0-9]+ms";

std::vector<Vec3d> bumpyGrid() {
    std::vector<Vec3d> points;
    for (int i = 0; i < 30; ++i)
        for (int j = 0; j < 30; ++j) {
            const double x = i * 0.05, y = j * 0.05;
            points.emplace_back(x, y, 0.1 * std::sin(3 * x) * std::cos(2 * y));
        }
    return points;
}

struct Case {
    std::vector<std::string> args;  // after the command name; $IN, $REF, $OUT replaced
    std::string lines;              // the expected leading lines (regex, kTime for times)
};

TEST(DurationLinesCli, TextOutputStartsWithTheTimingLinesAndJsonStaysClean) {
    Scratch dir("durations");
    const std::string in = dir.file("in.xyz"), ref = dir.file("ref.xyz");
    std::vector<Vec3d> points = bumpyGrid();
    writePoints(ref, points);
    for (Vec3d& p : points)
        p = p + Vec3d(0.01, -0.02, 0.005);
    writePoints(in, points);
    const std::string t = kTime;
    const std::vector<Case> cases = {
        {{"hull", "$IN", "-o", "$OUT.stl"}, t + "\nconvex hull finished in " + t + "\n"},
        {{"register", "$IN", "$REF"}, "ICP-Registration finished in " + t + "\n"},
        {{"distances", "$IN", "$REF"},
         "calcDistancesPts2Pts finished in " + t + "\nevaluateDistances finished in " + t + "\n"},
        {{"normals", "$IN"}, "calcNormals finished in " + t + "\n"},
        {{"features", "$IN", "--feature", "density"}, "calcEdges finished in " + t + "\n"},
        {{"smooth", "$IN", "--function", "gauss", "--radius", "0.1", "-o", "$OUT.xyz"},
         "calcSmoothing finished in " + t + "\n"},
        {{"thin", "$IN", "--count", "100", "-o", "$OUT.xyz"},
         "calcThinning finished in " + t + "\n"},
        {{"regions", "$IN", "--radius", "0.08"}, "calcRegions finished in " + t + "\n"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args;
        for (std::string a : c.args) {
            if (a == "$IN") a = in;
            if (a == "$REF") a = ref;
            if (a.rfind("$OUT", 0) == 0) a = dir.file("out" + a.substr(4));
            args.push_back(a);
        }
        SCOPED_TRACE(args[0]);
        const Outcome text = runCli(args);
        ASSERT_EQ(text.exitCode, 0) << text.err;
        EXPECT_TRUE(std::regex_search(text.out, std::regex("^" + c.lines),
                                      std::regex_constants::match_continuous))
            << text.out;

        args.insert(args.begin(), "--json");
        const Outcome json = runCli(args);
        ASSERT_EQ(json.exitCode, 0) << json.err;
        EXPECT_EQ(json.out.find("finished in"), std::string::npos) << json.out;
        const auto j = nlohmann::json::parse(json.out);
        EXPECT_TRUE(j.contains("duration_ms")) << json.out;
    }
}

}  // namespace
