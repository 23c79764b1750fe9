// Which selections the distance tool measures, and the warning for the others.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "commands/DistancesCommand.h"

namespace {

using tessaro::commands::DistanceOperand;
using tessaro::commands::distancesSelectionProblem;

TEST(DistancesSelection, WarningsInTheirOrder) {
    using D = DistanceOperand;
    const std::string two = "Please select two objects!";
    const std::string prims = "Distance between two primitives is not supported.";
    const std::string unsupported = "Operation is not supported.";
    const struct {
        std::vector<D> selection;
        std::string expected;  // empty: measured
    } cases[] = {
        {{}, two},
        {{D::kPoints}, two},
        {{D::kPrimitive, D::kPrimitive, D::kPrimitive}, two},
        {{D::kPoints, D::kPoints, D::kPoints}, two},
        {{D::kPrimitive, D::kPrimitive}, prims},
        {{D::kPoints, D::kMesh}, unsupported},
        {{D::kMesh, D::kMesh}, unsupported},
        {{D::kPoints, D::kPrimitive}, unsupported},
        {{D::kOther, D::kPoints}, unsupported},
        {{D::kPoints, D::kOther}, unsupported},
        {{D::kPoints, D::kPoints}, ""},
        {{D::kMesh, D::kPoints}, ""},
        {{D::kPrimitive, D::kPoints}, ""},
    };
    for (const auto& c : cases) {
        const char* problem = distancesSelectionProblem(c.selection);
        EXPECT_EQ(problem ? std::string(problem) : std::string(), c.expected)
            << "selection of " << c.selection.size();
    }
}

// Points beyond a bounded search have no partner; "select outside" must take them all
// the same, whether the search was bounded or not.
TEST(DistancesSelection, OutsideTakesPointsBeyondABoundedSearch) {
    using namespace tessaro::commands;
    LoadedData reference, test;
    reference.points = {alg3D::Vec3d(0, 0, 0)};
    for (double z : {0.05, 0.2, 0.5, 2.0, 0.3})
        test.points.push_back(alg3D::Vec3d(0, 0, z));
    for (double bound : {0.0, 0.4, 1.0}) {
        DistancesOptions options;
        options.maxDistance = bound;
        options.evaluation.minD = 0.1;
        options.evaluation.maxD = 0.4;
        options.evaluation.selectOutside = true;
        DistanceReference ref;
        ref.data = &reference;
        DistancesResult result;
        ASSERT_EQ(runDistancesCommand(ref, test, options, result), JobStatus::kCompleted);
        EXPECT_EQ(result.evaluation.selected, std::vector<char>({1, 0, 1, 1, 0})) << bound;
        EXPECT_EQ(result.evaluation.selectedCount, 3u) << bound;
        EXPECT_NE(result.text.find("selected: 3\n"), std::string::npos) << bound << " " << result.text;
        EXPECT_EQ(result.evaluation.pairs, 2u) << bound;  // 0.2 and 0.3 are in range
    }
}

}  // namespace
