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

}  // namespace
