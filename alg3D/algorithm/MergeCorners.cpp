#include "alg3D/algorithm/MergeCorners.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "alg3D/algorithm/KdTree.h"

namespace alg3D {
namespace algorithm {

namespace {

constexpr std::uint64_t kNoVertex = std::numeric_limits<std::uint64_t>::max();

bool isFinite(const Vec3d& p) {
    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

// Bit patterns of the coordinates, -0 made +0 (they are the same position).
struct PositionKey {
    std::uint64_t w[3];
    explicit PositionKey(const Vec3d& p) {
        for (std::size_t k = 0; k < 3; ++k) {
            const double v = p[k] + 0.0;
            std::memcpy(&w[k], &v, sizeof v);
        }
    }
    bool operator==(const PositionKey& o) const {
        return w[0] == o.w[0] && w[1] == o.w[1] && w[2] == o.w[2];
    }
    std::uint64_t hash() const {
        std::uint64_t h = 0x9e3779b97f4a7c15ULL;
        for (std::uint64_t word : w) {
            word ^= word >> 30;
            word *= 0xbf58476d1ce4e5b9ULL;
            word ^= word >> 27;
            word *= 0x94d049bb133111ebULL;
            word ^= word >> 31;
            h = (h ^ word) * 0x100000001b3ULL;
        }
        return h ^ (h >> 29);
    }
};

// Distinct positions of the soup in order of first occurrence: `position[c]` is the
// number of corner c's position. Open addressing over the positions' first corners.
// Corners with a non-finite coordinate are at no distance from anything (not even
// from themselves) and each get a position of their own.
void distinctPositions(const std::vector<Vec3d>& soup, std::size_t n,
                       std::vector<std::uint64_t>& position, std::vector<std::size_t>& firsts) {
    std::size_t capacity = 16;
    while (capacity < 2 * n)
        capacity *= 2;
    const std::size_t mask = capacity - 1;
    std::vector<std::uint64_t> slots(capacity, kNoVertex);  // position numbers
    position.resize(n);
    firsts.clear();
    for (std::size_t c = 0; c < n; ++c) {
        const Vec3d& p = soup[c];
        if (!isFinite(p)) {
            position[c] = firsts.size();
            firsts.push_back(c);
            continue;
        }
        const PositionKey key(p);
        std::size_t s = static_cast<std::size_t>(key.hash()) & mask;
        for (;;) {
            const std::uint64_t id = slots[s];
            if (id == kNoVertex) {
                slots[s] = firsts.size();
                position[c] = firsts.size();
                firsts.push_back(c);
                break;
            }
            if (PositionKey(soup[firsts[id]]) == key) {
                position[c] = id;
                break;
            }
            s = (s + 1) & mask;
        }
    }
}

}  // namespace

void mergeCoincidentCorners(const std::vector<Vec3d>& soup, std::vector<Vec3d>& vertices,
                            std::vector<std::uint64_t>& indices) {
    const std::size_t n = soup.size() / 3 * 3;
    vertices.clear();
    vertices.reserve(n / 3);
    indices.assign(n, 0);
    if (n == 0) return;

    // Equal corners are always taken by the same query (whichever query reaches one of
    // them reaches all at distance zero from it), so the greedy pass can run over the
    // distinct positions in order of first occurrence and give the very same result.
    std::vector<std::uint64_t> position;
    std::vector<std::size_t> firsts;
    distinctPositions(soup, n, position, firsts);
    const std::size_t m = firsts.size();
    // The tree indexes the finite positions only.
    std::vector<Vec3d> coords;
    std::vector<std::size_t> positionOf;
    coords.reserve(m);
    positionOf.reserve(m);
    for (std::size_t i = 0; i < m; ++i) {
        if (!isFinite(soup[firsts[i]])) continue;
        coords.push_back(soup[firsts[i]]);
        positionOf.push_back(i);
    }

    std::vector<std::uint64_t> vertexOf(m, kNoVertex);
    KdTree<Vec3d, 3, 0> tree;
    tree.build(coords.data(), coords.data() + coords.size());
    std::vector<const KdEntry<Vec3d>*> found;
    for (std::size_t i = 0; i < m; ++i) {
        if (vertexOf[i] != kNoVertex) continue;
        const Vec3d& p = soup[firsts[i]];
        const std::uint64_t vertex = vertices.size();
        vertexOf[i] = vertex;  // a non-finite position is not even found by its own query
        if (isFinite(p)) {
            found.clear();
            tree.collectWithinAndExclude(p, kMergeRadius, found);
            for (const KdEntry<Vec3d>* e : found)
                vertexOf[positionOf[static_cast<std::size_t>(e->element - coords.data())]] = vertex;
        }
        vertices.push_back(p);
    }

    const std::int64_t count = static_cast<std::int64_t>(n);
#pragma omp parallel for schedule(static)
    for (std::int64_t c = 0; c < count; ++c)
        indices[c] = vertexOf[position[c]];
}

}  // namespace algorithm
}  // namespace alg3D
