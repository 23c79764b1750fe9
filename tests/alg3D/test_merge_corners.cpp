// Soup to indexed mesh: the edge cases of the merge, and random soups with chains of
// close corners against the greedy pass written out literally (all pairs).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "alg3D/algorithm/MergeCorners.h"

using alg3D::Vec3d;
using alg3D::algorithm::mergeCoincidentCorners;

namespace {

// The greedy pass over all pairs: each unmerged corner, in order, takes every unmerged
// corner within 2e-6 (itself included) as a new vertex.
void referenceMerge(const std::vector<Vec3d>& soup, std::vector<Vec3d>& vertices,
                    std::vector<std::uint64_t>& indices) {
    const std::size_t n = soup.size() / 3 * 3;
    std::vector<bool> merged(n, false);
    vertices.clear();
    indices.assign(n, 0);
    for (std::size_t i = 0; i < n; ++i) {
        if (merged[i]) continue;
        indices[i] = vertices.size();
        for (std::size_t j = 0; j < n; ++j) {
            if (merged[j] || (soup[j] - soup[i]).squaredNorm() > 2e-6 * 2e-6) continue;
            merged[j] = true;
            indices[j] = vertices.size();
        }
        vertices.push_back(soup[i]);
    }
}

struct Case {
    const char* name;
    std::vector<Vec3d> soup;
    std::vector<Vec3d> vertices;
    std::vector<std::uint64_t> indices;
};

TEST(MergeCorners, EdgeCases) {
    const Vec3d a(0, 0, 0), b(1, 0, 0), c(0, 1, 0), d(1, 1, 0);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Case cases[] = {
        {"two triangles sharing an edge", {a, b, c, b, d, c}, {a, b, c, d}, {0, 1, 2, 1, 3, 2}},
        {"1e-6 apart is merged, first occurrence keeps its coordinates",
         {a, b, c, b + Vec3d(0, 1e-6, 0), d, c},
         {a, b, c, d},
         {0, 1, 2, 1, 3, 2}},
        {"first occurrence of a close pair comes from the later triangle's corner",
         {b + Vec3d(1e-6, 0, 0), d, c, a, b, c},
         {b + Vec3d(1e-6, 0, 0), d, c, a},
         {0, 1, 2, 3, 0, 2}},
        {"1e-5 apart is not merged",
         {a, b, c, b + Vec3d(0, 0, 1e-5), d, c},
         {a, b, c, b + Vec3d(0, 0, 1e-5), d},
         {0, 1, 2, 3, 4, 2}},
        {"-0 and +0 are one vertex",
         {Vec3d(-0.0, 0, 0), b, c, a, d, c},
         {Vec3d(-0.0, 0, 0), b, c, d},
         {0, 1, 2, 0, 3, 2}},
        {"a chain is not joined: 0 takes 1.5e-6, 3e-6 stays apart",
         {a, Vec3d(1.5e-6, 0, 0), Vec3d(3e-6, 0, 0)},
         {a, Vec3d(3e-6, 0, 0)},
         {0, 0, 1}},
        {"a trailing partial triangle is dropped", {a, b, c, d}, {a, b, c}, {0, 1, 2}},
        {"empty soup", {}, {}, {}},
        {"a corner with NaN is a vertex of its own every time",
         {Vec3d(nan, 0, 0), Vec3d(nan, 0, 0), a},
         {Vec3d(nan, 0, 0), Vec3d(nan, 0, 0), a},
         {0, 1, 2}},
    };
    for (const Case& t : cases) {
        std::vector<Vec3d> vertices;
        std::vector<std::uint64_t> indices;
        mergeCoincidentCorners(t.soup, vertices, indices);
        EXPECT_EQ(indices, t.indices) << t.name;
        ASSERT_EQ(vertices.size(), t.vertices.size()) << t.name;
        for (std::size_t i = 0; i < vertices.size(); ++i) {
            for (std::size_t k = 0; k < 3; ++k) {
                // Bitwise equal (NaN included): the first occurrence gives the coordinates.
                EXPECT_EQ(std::signbit(vertices[i][k]), std::signbit(t.vertices[i][k])) << t.name;
                if (!std::isnan(t.vertices[i][k])) {
                    EXPECT_EQ(vertices[i][k], t.vertices[i][k]) << t.name;
                }
            }
        }
    }
}

TEST(MergeCorners, RandomSoupsWithChainsMatchTheGreedyPass) {
    // Corners drawn from a few hundred sites, each corner moved by up to 2.5e-6 per axis:
    // pairs of corners fall on both sides of the radius and form chains, and many corners
    // are exact copies as in STL files.
    std::mt19937_64 rng(20261209);
    for (int round = 0; round < 20; ++round) {
        std::uniform_int_distribution<int> site(0, 40 + 20 * round);
        std::uniform_real_distribution<double> jitter(-2.5e-6, 2.5e-6);
        std::uniform_int_distribution<int> kind(0, 2);
        std::vector<Vec3d> soup;
        for (int t = 0; t < 3 * 200; ++t) {
            const int s = site(rng);
            Vec3d p(0.1 * (s % 7), 0.1 * ((s / 7) % 7), 0.1 * (s / 49));
            if (kind(rng) == 0) p = p + Vec3d(jitter(rng), jitter(rng), jitter(rng));
            soup.push_back(p);
        }
        std::vector<Vec3d> vertices, expectedVertices;
        std::vector<std::uint64_t> indices, expectedIndices;
        mergeCoincidentCorners(soup, vertices, indices);
        referenceMerge(soup, expectedVertices, expectedIndices);
        ASSERT_EQ(indices, expectedIndices) << "round " << round;
        ASSERT_EQ(vertices.size(), expectedVertices.size());
        for (std::size_t i = 0; i < vertices.size(); ++i)
            EXPECT_EQ((vertices[i] - expectedVertices[i]).squaredNorm(), 0.0);
    }
}

}  // namespace
