#include "alg3D/algorithm/MergeCorners.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "alg3D/algorithm/KdTree.h"
#include "alg3D/matrix/Alg3dException.h"

namespace alg3D {
namespace algorithm {

namespace {

constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();

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

// The distinct positions of the soup in order of first occurrence, by open addressing.
// A slot holds a position's number and 32 bits of its hash, so most probes decide
// without reading coordinates; the table grows with the distinct positions (not with
// the corners), which keeps it in cache for the usual six corners per vertex.
class PositionTable {
  public:
    explicit PositionTable(std::size_t expected) {
        std::size_t capacity = 1024;
        while (capacity < 2 * expected)
            capacity *= 2;
        slots_.assign(capacity, Slot{0, kNone});
    }

    // Number of the position of p, a new one when p is not known yet.
    std::uint32_t insert(const Vec3d& p) {
        const PositionKey key(p);
        const std::uint64_t h = key.hash();
        const std::uint32_t tag = static_cast<std::uint32_t>(h >> 32);
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t s = static_cast<std::size_t>(h) & mask;; s = (s + 1) & mask) {
            Slot& slot = slots_[s];
            if (slot.id == kNone) {
                if (positions.size() >= kNone - 1) throwAlg3dException("vector<T> too long");
                slot = Slot{tag, static_cast<std::uint32_t>(positions.size())};
                positions.push_back(p);
                const std::uint32_t id = slot.id;
                if (2 * positions.size() > slots_.size()) grow();
                return id;
            }
            if (slot.tag == tag && PositionKey(positions[slot.id]) == key) return slot.id;
        }
    }

    std::vector<Vec3d> positions;

  private:
    struct Slot {
        std::uint32_t tag;
        std::uint32_t id;
    };

    void grow() {
        std::vector<Slot> old(slots_.size() * 2, Slot{0, kNone});
        old.swap(slots_);
        const std::size_t mask = slots_.size() - 1;
        for (const Slot& slot : old) {
            if (slot.id == kNone) continue;
            std::size_t s = static_cast<std::size_t>(PositionKey(positions[slot.id]).hash()) & mask;
            while (slots_[s].id != kNone)
                s = (s + 1) & mask;
            slots_[s] = slot;
        }
    }

    std::vector<Slot> slots_;
};

}  // namespace

void mergeCoincidentCorners(const std::vector<Vec3d>& soup, std::vector<Vec3d>& vertices,
                            std::vector<std::uint64_t>& indices) {
    const std::size_t n = soup.size() / 3 * 3;
    vertices.clear();
    indices.assign(n, 0);
    if (n == 0) return;

    // Equal corners are always taken by the same query (whichever query reaches one of
    // them reaches all at distance zero from it), so the greedy pass can run over the
    // distinct positions in order of first occurrence and give the very same result.
    // A corner that is not finite is at no distance from anything, not even from a copy
    // of itself: it gets a position of its own.
    std::vector<std::uint32_t> position(n);
    PositionTable table(n / 6 + 1);
    for (std::size_t c = 0; c < n; ++c) {
        const Vec3d& p = soup[c];
        if (isFinite(p)) {
            position[c] = table.insert(p);
        } else {
            if (table.positions.size() >= kNone - 1) throwAlg3dException("vector<T> too long");
            position[c] = static_cast<std::uint32_t>(table.positions.size());
            table.positions.push_back(p);
        }
    }
    const std::vector<Vec3d>& positions = table.positions;
    const std::size_t m = positions.size();

    // The tree indexes the finite positions only.
    std::vector<Vec3d> coords;
    std::vector<std::uint32_t> positionOf;
    coords.reserve(m);
    positionOf.reserve(m);
    for (std::size_t i = 0; i < m; ++i) {
        if (!isFinite(positions[i])) continue;
        coords.push_back(positions[i]);
        positionOf.push_back(static_cast<std::uint32_t>(i));
    }
    KdTree<Vec3d, 3, 0> tree;
    tree.build(coords.data(), coords.data() + coords.size());

    // The other positions within the radius of each position, found in parallel (the
    // tree is only read). Most positions have none.
    const std::int64_t treeCount = static_cast<std::int64_t>(coords.size());
    std::vector<std::size_t> neighbourCount(m + 1, 0);
    std::vector<std::vector<std::pair<std::uint32_t, std::uint32_t>>> pairs;
#pragma omp parallel
    {
        std::vector<std::pair<std::uint32_t, std::uint32_t>> mine;
        std::vector<const KdEntry<Vec3d>*> found;
#pragma omp for schedule(dynamic, 4096)
        for (std::int64_t t = 0; t < treeCount; ++t) {
            found.clear();
            tree.collectWithin(coords[t], kMergeRadius, found);
            for (const KdEntry<Vec3d>* e : found) {
                const std::size_t other = static_cast<std::size_t>(e->element - coords.data());
                if (other != static_cast<std::size_t>(t))
                    mine.emplace_back(positionOf[t], positionOf[other]);
            }
        }
#pragma omp critical
        pairs.push_back(std::move(mine));
    }
    for (const auto& list : pairs)
        for (const auto& pr : list)
            ++neighbourCount[pr.first + 1];
    for (std::size_t i = 0; i < m; ++i)
        neighbourCount[i + 1] += neighbourCount[i];
    std::vector<std::uint32_t> neighbours(neighbourCount[m]);
    {
        std::vector<std::size_t> fill(neighbourCount.begin(), neighbourCount.end() - 1);
        for (const auto& list : pairs)
            for (const auto& pr : list)
                neighbours[fill[pr.first]++] = pr.second;
    }

    // The greedy pass: each position not yet merged, in order, takes every unmerged
    // position within the radius.
    std::vector<std::uint64_t> vertexOf(m, std::numeric_limits<std::uint64_t>::max());
    vertices.reserve(m);
    for (std::size_t i = 0; i < m; ++i) {
        if (vertexOf[i] != std::numeric_limits<std::uint64_t>::max()) continue;
        const std::uint64_t vertex = vertices.size();
        vertexOf[i] = vertex;
        for (std::size_t k = neighbourCount[i]; k < neighbourCount[i + 1]; ++k) {
            std::uint64_t& other = vertexOf[neighbours[k]];
            if (other == std::numeric_limits<std::uint64_t>::max()) other = vertex;
        }
        vertices.push_back(positions[i]);
    }

    const std::int64_t count = static_cast<std::int64_t>(n);
#pragma omp parallel for schedule(static)
    for (std::int64_t c = 0; c < count; ++c)
        indices[c] = vertexOf[position[c]];
}

}  // namespace algorithm
}  // namespace alg3D
