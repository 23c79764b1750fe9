// The vertices of a triangle soup: each distinct corner once, in the order of first
// appearance, compared exactly.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestHelpers.h"
#include "commands/MeshVertices.h"

namespace {

using alg3D::Vec3d;
using tessaro::commands::meshVertices;

TEST(MeshVertices, DistinctCornersInOrderOfFirstAppearance) {
    const Vec3d a(1, 2, 3), b(4, 5, 6), c(7, 8, 9);
    const Vec3d close(1, 2, 3 + 1e-12);
    struct Case {
        std::string name;
        std::vector<Vec3d> corners, expected;
    };
    const Case cases[] = {
        {"box", testing_helpers::boxTriangles(), testing_helpers::boxVertices()},
        {"empty", {}, {}},
        {"one degenerate triangle", {a, a, a}, {a}},
        {"two triangles sharing an edge", {a, b, c, c, b, close}, {a, b, c, close}},
        {"signed zeros are one vertex", {Vec3d(0, 0, 0), Vec3d(-0.0, 0, -0.0)}, {Vec3d(0, 0, 0)}},
    };
    for (const Case& test : cases) {
        EXPECT_EQ(meshVertices(test.corners), test.expected) << test.name;
    }
}

}  // namespace
