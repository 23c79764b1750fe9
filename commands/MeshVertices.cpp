#include "commands/MeshVertices.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

namespace tessaro {
namespace commands {

namespace {

// The bit patterns of a corner's coordinates; -0 is made +0 first so that equal
// coordinates always give equal keys.
using Key = std::array<std::uint64_t, 3>;

Key keyOf(const alg3D::Vec3d& p) {
    Key key;
    for (std::size_t k = 0; k < 3; ++k) {
        const double v = p[k] + 0.0;
        std::memcpy(&key[k], &v, sizeof v);
    }
    return key;
}

struct KeyHash {
    std::size_t operator()(const Key& key) const {
        // Mixing of each word (splitmix64's finaliser), combined in order.
        std::uint64_t h = 0x9e3779b97f4a7c15ULL;
        for (std::uint64_t word : key) {
            word ^= word >> 30;
            word *= 0xbf58476d1ce4e5b9ULL;
            word ^= word >> 27;
            word *= 0x94d049bb133111ebULL;
            word ^= word >> 31;
            h = (h ^ word) * 0x100000001b3ULL + (h >> 17);
        }
        return static_cast<std::size_t>(h);
    }
};

}  // namespace

std::vector<alg3D::Vec3d> meshVertices(const std::vector<alg3D::Vec3d>& corners) {
    std::vector<alg3D::Vec3d> vertices;
    // A closed mesh has about half as many vertices as triangles.
    std::unordered_set<Key, KeyHash> seen;
    seen.reserve(corners.size() / 6 + 1);
    for (const alg3D::Vec3d& p : corners) {
        if (seen.insert(keyOf(p)).second) vertices.push_back(p);
    }
    return vertices;
}

void indexMeshCorners(const std::vector<alg3D::Vec3d>& corners, std::vector<alg3D::Vec3d>& vertices,
                      std::vector<std::uint64_t>& indices) {
    vertices.clear();
    indices.clear();
    indices.reserve(corners.size());
    std::unordered_map<Key, std::uint64_t, KeyHash> seen;
    seen.reserve(corners.size() / 6 + 1);
    for (const alg3D::Vec3d& p : corners) {
        const auto inserted = seen.emplace(keyOf(p), vertices.size());
        if (inserted.second) vertices.push_back(p);
        indices.push_back(inserted.first->second);
    }
}

}  // namespace commands
}  // namespace tessaro
