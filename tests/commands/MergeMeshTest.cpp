// The mesh merge as the window runs it: on a worker, the same result as the merge itself,
// and an abort leaves the caller's vectors as they were.
#include <gtest/gtest.h>

#include <random>

#include "alg3D/algorithm/MergeCorners.h"
#include "commands/MergeMesh.h"

namespace {

using alg3D::Vec3d;
using namespace tessaro::commands;

// A strip of triangles sharing corners, with a jitter below the merge radius.
std::vector<Vec3d> strip(int triangles) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> jitter(-4e-7, 4e-7);
    std::vector<Vec3d> soup;
    for (int t = 0; t < triangles; ++t) {
        for (int c = 0; c < 3; ++c) {
            const int k = t + c;
            soup.push_back(Vec3d(k * 0.5 + jitter(random), (k % 2) + jitter(random), 0.0));
        }
    }
    return soup;
}

TEST(MergeMeshTest, GivesTheMergeOfTheSoupOrLeavesTheOutputsOnAbort) {
    const std::vector<Vec3d> soup = strip(20000);
    std::vector<Vec3d> expectedVertices;
    std::vector<std::uint64_t> expectedIndices;
    alg3D::algorithm::mergeCoincidentCorners(soup, expectedVertices, expectedIndices);
    ASSERT_EQ(expectedVertices.size(), 20002u);

    std::vector<Vec3d> vertices;
    std::vector<std::uint64_t> indices;
    EXPECT_EQ(mergeMesh(soup, vertices, indices), JobStatus::kCompleted);
    EXPECT_EQ(vertices, expectedVertices);
    EXPECT_EQ(indices, expectedIndices);

    // Abort asked at the first poll (or, for a quick merge, at the final question).
    std::vector<Vec3d> keptVertices{Vec3d(1, 2, 3)};
    std::vector<std::uint64_t> keptIndices{7};
    EXPECT_EQ(mergeMesh(
                  soup, keptVertices, keptIndices, [](float) { return true; },
                  std::chrono::milliseconds(1)),
              JobStatus::kAborted);
    EXPECT_EQ(keptVertices, std::vector<Vec3d>{Vec3d(1, 2, 3)});
    EXPECT_EQ(keptIndices, std::vector<std::uint64_t>{7});
}

}  // namespace
