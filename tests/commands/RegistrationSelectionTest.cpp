// The registration command's selection checks in their order, and the live transform a
// window shows while the run goes on.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "TestHelpers.h"
#include "commands/RegisterCommand.h"

namespace {

using namespace tessaro::commands;
using alg3D::Vec3d;
using alg3D::algorithm::IcpTransform;

TEST(RegistrationSelection, WarningsInTheirOrder) {
    using D = DistanceOperand;
    const std::string two = "Please select two objects!";
    const std::string prims = "Registration with primitives is not supported!";
    const std::string meshes = "STL meshes can not be registered to eachother!";
    const std::string types = "Data type(s) are not supported.";
    const struct {
        std::vector<D> selection;
        std::string expected;  // empty: registered
    } cases[] = {
        {{}, two},
        {{D::kPoints}, two},
        {{D::kPrimitive}, two},
        {{D::kPoints, D::kPoints, D::kPoints}, two},
        {{D::kPrimitive, D::kPoints}, prims},
        {{D::kPoints, D::kPrimitive}, prims},
        {{D::kPrimitive, D::kPrimitive}, prims},
        {{D::kMesh, D::kPrimitive}, prims},
        {{D::kOther, D::kPrimitive}, prims},
        {{D::kMesh, D::kMesh}, meshes},
        {{D::kOther, D::kPoints}, types},
        {{D::kPoints, D::kOther}, types},
        {{D::kMesh, D::kOther}, types},
        {{D::kPoints, D::kPoints}, ""},
        {{D::kMesh, D::kPoints}, ""},
        {{D::kPoints, D::kMesh}, ""},
    };
    for (const auto& c : cases) {
        const char* problem = registrationSelectionProblem(c.selection);
        EXPECT_EQ(problem ? std::string(problem) : std::string(), c.expected)
            << "selection of " << c.selection.size() << ", first "
            << (c.selection.empty() ? -1 : static_cast<int>(c.selection[0]));
    }
}

bool sameTransform(const IcpTransform& a, const IcpTransform& b) {
    const alg3D::Matrix4x4d x = a.matrix(), y = b.matrix();
    for (std::size_t k = 0; k < 16; ++k)
        if (x[k] != y[k]) return false;
    return true;
}

// Called only on the calling thread, while polled and once after the join with the result.
TEST(RegistrationLiveTransform, ReachesTheCallerOnItsThreadEndingWithTheResult) {
    LoadedData ref, data;
    ref.points = testing_helpers::clusterPoints(4000, 7);
    const Vec3d shift(0.25, -0.15, 0.1);
    for (const Vec3d& p : ref.points)
        data.points.push_back(p + shift);
    RegisterOptions options;
    options.samples = 0;
    const std::thread::id caller = std::this_thread::get_id();
    std::vector<IcpTransform> seen;
    int polls = 0, foreignCalls = 0;
    RegisterResult result;
    const JobStatus status = runRegisterCommand(
        data, ref, options, result,
        [&](float) {
            ++polls;
            return false;
        },
        std::chrono::milliseconds(1),
        [&](const IcpTransform& t) {
            foreignCalls += std::this_thread::get_id() != caller;
            seen.push_back(t);
        });
    ASSERT_EQ(status, JobStatus::kCompleted);
    EXPECT_EQ(foreignCalls, 0);
    EXPECT_GT(polls, 0);
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(polls) + 1);  // each poll, and the end
    EXPECT_TRUE(sameTransform(seen.back(), result.transform));
    EXPECT_VEC_NEAR(result.transform.translation, -shift, 1e-9);
}

}  // namespace
