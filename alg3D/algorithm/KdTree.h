// k-d tree: the spatial index of the library, over points (Vec3d, GLPoint) or mesh
// triangles (KdTriangleProxy<Vec3d>, keyed by the centre of the enclosing sphere).
//
// Input: a contiguous range [first, last) of elements; the tree keeps pointers into
//   it, so the range must stay alive and unchanged while the tree is used.
// Queries: nearest element (optionally within a maximum distance), closest point
//   on a mesh, all elements within a radius, the k nearest elements, and the
//   blocks of points below the nodes of a given depth.
// Errors: build throws Alg3dException ("vector<T> too long" for a count beyond what
//   the arrays can hold, "error allocating memory.\n" when memory runs out, and
//   "ALG3D::" plus the text of any other standard exception). Queries never throw.
// Cost: build O(n log n) on two threads; a nearest query O(log n) on average;
//   memory about 75 bytes per element (about 105 during the build).
//
// Layout: entries (element pointer + flags) and the coordinates of the elements lie
// in tree order (leaves left to right); the inner node of the positions a..b sits
// at index (a + b) / 2 and holds its split value and the range of its elements
// along its axis (depth modulo 3), so a search reads no element through a pointer.
// After a complete build the tree is read-only and may be queried from any number
// of threads at once; the exclusion marks are the only state that queries read and
// callers may change, and they must not be changed while other threads query.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

#include "alg3D/algorithm/KdTriangleProxy.h"
#include "alg3D/matrix/GLPoint.h"
#include "alg3D/matrix/Matrix.h"

namespace alg3D {
namespace algorithm {

// Bit 0 of `flags`: set on entries (leaves), clear on inner nodes.
inline constexpr std::uint8_t kKdLeaf = 1;
// Bit 1 of `flags`: the entry or the whole subtree is excluded from queries.
inline constexpr std::uint8_t kKdExcluded = 2;

// One per element, in tree order. `element - first` is the element's input index.
// No gap lies between the fields; the record is not byte-packed, so that
// `element` stays aligned and references to it are valid.
template <typename T>
struct KdEntry {
    const T* element;
    std::uint8_t flags;
};

// One per inner node, at the index of its median position. `split` is the key
// of the median element along the node's axis; the left subtree holds the keys
// up to it (the median included), the right one the keys from it on. Every
// element of the subtree has its key along the axis within [low, high] (for
// triangles the whole triangle lies within it). 32 bytes, two per cache line.
struct KdNode {
    double split;
    double low;
    double high;
    std::uint8_t flags;
};

// Coordinates of an element's key (a point, or a triangle's centre).
struct KdKey {
    double v[3];
};

// A block of the tree: the positions [begin, end) of the entries below one node,
// and the element that splits it (the element itself for a one-element block).
template <typename T>
struct KdSubtree {
    const T* split;
    std::size_t begin;
    std::size_t end;
};

// Result of the nearest searches: the entry, its squared distance from the query
// and the point found (the element itself, or the closest point on the triangle).
template <typename T>
struct KdHit {
    const KdEntry<T>* entry = nullptr;
    double squaredDistance = std::numeric_limits<double>::max();
    Vec3d closest;

    explicit operator bool() const { return entry != nullptr; }
};

namespace detail {
// Memory of the tree's arrays. Large arrays are aligned to and advised for huge
// pages: a build writes every byte of them once, and with small pages most of
// its time would go to page faults. Throws std::bad_alloc.
void* allocateKdArray(std::size_t bytes);
void releaseKdArray(void* p, std::size_t bytes) noexcept;
}  // namespace detail

// Allocator of the tree's arrays. It leaves trivial elements uninitialised on
// resize: the arrays of a build are written exactly once, not zero-filled first.
template <typename T>
struct KdDefaultInitAllocator {
    using value_type = T;

    KdDefaultInitAllocator() = default;
    template <typename U>
    KdDefaultInitAllocator(const KdDefaultInitAllocator<U>&) noexcept {}

    T* allocate(std::size_t n) {
        if (n > std::numeric_limits<std::size_t>::max() / sizeof(T))
            throw std::bad_array_new_length();
        return static_cast<T*>(detail::allocateKdArray(n * sizeof(T)));
    }
    void deallocate(T* p, std::size_t n) noexcept { detail::releaseKdArray(p, n * sizeof(T)); }

    template <typename U>
    void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>) {
        ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }

    friend bool operator==(const KdDefaultInitAllocator&, const KdDefaultInitAllocator&) {
        return true;
    }
    friend bool operator!=(const KdDefaultInitAllocator&, const KdDefaultInitAllocator&) {
        return false;
    }
};

// The tree's flat arrays.
template <typename T>
using KdArray = std::vector<T, KdDefaultInitAllocator<T>>;

template <typename T, int Dim = 3, int Variant = 0>
class KdTree {
    static_assert(Dim == 3 && Variant == 0, "only the three-dimensional tree exists");

  public:
    using Entry = KdEntry<T>;
    using Node = KdNode;
    using Hit = KdHit<T>;
    using Subtree = KdSubtree<T>;

    KdTree() = default;
    virtual ~KdTree();
    KdTree(const KdTree&) = delete;
    KdTree& operator=(const KdTree&) = delete;

    // Indexes [first, last), replacing any previous content; a range without a
    // whole element leaves the tree untouched. Stops, leaving the tree unbuilt,
    // when `cancel` or the optional caller's abort flag is set meanwhile.
    void build(const T* first, const T* last, const std::atomic<bool>* abort = nullptr);

    bool built() const { return built_; }
    // Number of indexed elements (0 unless built).
    std::size_t size() const { return built_ ? entries_.size() : 0; }
    // Start of the indexed range: an entry's element index is `element - first()`.
    const T* first() const { return first_; }
    // Entries in tree order (the leaves from left to right).
    const KdArray<Entry>& entries() const { return entries_; }
    const KdArray<Node>& nodes() const { return nodes_; }
    std::size_t positionOf(const Entry* entry) const {
        return static_cast<std::size_t>(entry - entries_.data());
    }
    std::size_t elementIndex(std::size_t position) const {
        return static_cast<std::size_t>(entries_[position].element - first_);
    }
    // Key of the entry at a position (tree order, so neighbouring entries' keys lie
    // next to each other in memory, unlike the elements).
    const KdKey& keyAt(std::size_t position) const { return points_[position]; }
    // 100 divided by the element count of the last build.
    float progressStep() const { return progressStep_; }

    // Nearest element; maxDistance 0 means unbounded, a positive value bounds the
    // search (with an allowance of sqrt(machine epsilon)), a negative one or an
    // unbuilt tree gives null. An element closer than 1e-6 is always reported.
    const T* findNearest(const Vec3d& query, double maxDistance = 0.0) const;

    // Closest point on the indexed triangles; same rules for maxDistance, with an
    // allowance of 1e-6. `front` tells whether the query lies on the side into
    // which the triangle's normal points (true for triangles without area).
    bool findClosestOnMesh(const Vec3d& query, double maxDistance, Vec3d& closestPoint,
                           bool& front) const;

    // Approximate search: the element of the leaf whose cell holds the query (of
    // several leaves when the query lies within 1e-6 of splitting planes). Not
    // necessarily the nearest; a cheap starting radius for searchWithin.
    Hit descend(const Vec3d& query) const;

    // Exact search: the nearest element whose squared distance is at most
    // radius² (on equal distances the one found later), or an empty hit.
    Hit searchWithin(const Vec3d& query, double radius) const;

    // Appends every entry within radius (distance <= radius) in tree order.
    void collectWithin(const Vec3d& query, double radius, std::vector<const Entry*>& list) const;

    // Fills `list` with the k nearest entries (the farthest of them last) and
    // returns its distance. radiusHint, when at least 1e-8, is where the search
    // starts; it only affects the speed. k = 0 returns radiusHint; k of at least
    // the element count gives all entries.
    double findKNearest(const Vec3d& query, std::size_t k, double radiusHint,
                        std::vector<const Entry*>& list) const;

    // Appends every inner node at the given depth and every leaf above it, left
    // to right, as the blocks of entries below them.
    void collectSubtrees(unsigned depth, std::vector<Subtree>& list) const;

    // Exclusion marks (bit 1 of flags): excluded entries are ignored by every
    // query; a node is marked as soon as both of its children are.
    void markExcluded(std::size_t position);
    bool isExcluded(std::size_t position) const {
        return (entries_[position].flags & kKdExcluded) != 0;
    }
    void clearExclusions();
    // Appends every entry within radius that is not excluded yet, in tree order,
    // and marks it excluded (the step of a connected-component sweep).
    void collectWithinAndExclude(const Vec3d& query, double radius,
                                 std::vector<const Entry*>& list);

    // Set from another thread to stop a running build.
    std::atomic<bool> cancel{false};
    // Percent of the build done; read from other threads while building.
    std::atomic<float> progress{0.0f};

  private:
    struct Impl;

    KdArray<Node> nodes_;
    KdArray<Entry> entries_;
    KdArray<KdKey> points_;  // keys of the entries, in tree order
    const T* first_ = nullptr;
    float progressStep_ = 0.0f;
    bool built_ = false;
    bool anyExcluded_ = false;
};

extern template class KdTree<GLPoint, 3, 0>;
extern template class KdTree<Vec3d, 3, 0>;
extern template class KdTree<KdTriangleProxy<Vec3d>, 3, 0>;

}  // namespace algorithm
}  // namespace alg3D
