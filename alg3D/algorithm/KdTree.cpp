#include "alg3D/algorithm/KdTree.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <new>
#include <stdexcept>
#include <type_traits>
#include <utility>

#include "alg3D/algorithm/TriangleGeometry.h"
#include "alg3D/matrix/Alg3dException.h"

namespace alg3D {
namespace algorithm {

namespace detail {

namespace {
constexpr std::size_t kHugePage = std::size_t(2) << 20;
// Arrays from this size on go to huge pages.
constexpr std::size_t kHugeArray = 4 * kHugePage;
}  // namespace

void* allocateKdArray(std::size_t bytes) {
    if (bytes < kHugeArray) return ::operator new(bytes);
    if (bytes > std::numeric_limits<std::size_t>::max() - kHugePage) throw std::bad_alloc();
    const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    void* p = std::aligned_alloc(kHugePage, rounded);
    if (p == nullptr) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    madvise(p, rounded, MADV_HUGEPAGE);  // only advice; small pages work as well
#endif
    return p;
}

void releaseKdArray(void* p, std::size_t bytes) noexcept {
    if (bytes < kHugeArray)
        ::operator delete(p);
    else
        std::free(p);
}

}  // namespace detail

namespace {

// Ranges of at most this many point elements are scanned as a whole: a few
// contiguous coordinates cost less than the nodes above them.
constexpr std::size_t kPointBucket = 8;
// Triangles are dearer per element; their bucket is small and prefiltered by box.
constexpr std::size_t kTriangleBucket = 2;
// Progress is added once per finished block of this many leaves, not per leaf,
// so the two build threads do not contend for it.
constexpr std::size_t kProgressChunk = 4096;
// Below this size a second thread costs more than it saves.
constexpr std::size_t kParallelMinimum = 8192;
// Width of the band around a splitting plane in which the approximate search
// looks on both sides.
constexpr double kPlaneBand = 1e-6;
// sqrt(2.220446049250313e-16): the allowance of the bounded nearest search.
constexpr double kSqrtEpsilon = 1.4901161193847656e-08;
// Allowance of the closest-point search on meshes.
constexpr double kMeshAllowance = 1e-6;
// Elements nearer than this are reported whatever the maximum distance.
constexpr double kCoincident = 1e-6;
constexpr double kSmallestHint = 1e-8;
constexpr std::size_t kMaxKnnPasses = 1000;
constexpr std::size_t kStackKnn = 64;
constexpr double kMaxDouble = std::numeric_limits<double>::max();
constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();
constexpr const char* kTooLong = "vector<T> too long";

template <typename T>
constexpr bool kIsTriangle = std::is_same_v<T, KdTriangleProxy<Vec3d>>;

// NaN keys would break the ordering the partition relies on; such an element is
// put at infinity instead, where no finite query ever reaches it.
inline double cleanKey(double v) {
    return v == v ? v : kInfinity;
}

inline void keyOf(const Vec3d& p, double* k) {
    k[0] = cleanKey(p.x);
    k[1] = cleanKey(p.y);
    k[2] = cleanKey(p.z);
}
inline void keyOf(const GLPoint& p, double* k) {
    k[0] = cleanKey(p.x);
    k[1] = cleanKey(p.y);
    k[2] = cleanKey(p.z);
}
inline void keyOf(const KdTriangleProxy<Vec3d>& t, double* k) {
    keyOf(t.centre, k);
}

struct Box {
    double lo[3];
    double hi[3];
};

inline Box merge(const Box& a, const Box& b) {
    Box m;
    for (int k = 0; k < 3; ++k) {
        m.lo[k] = std::min(a.lo[k], b.lo[k]);
        m.hi[k] = std::max(a.hi[k], b.hi[k]);
    }
    return m;
}

// Lower bounds of the distance from the query to a subtree, per axis. The sum
// is formed in the same order as a squared point distance, so that with each
// term no larger than the point's it can never exceed the point's distance.
struct Offsets {
    double o[3];
    double sum() const { return o[0] * o[0] + o[1] * o[1] + o[2] * o[2]; }
};

inline double squaredDistance(const double* q, const double* p) {
    const double dx = q[0] - p[0];
    const double dy = q[1] - p[1];
    const double dz = q[2] - p[2];
    return dx * dx + dy * dy + dz * dz;
}

inline void atomicAdd(std::atomic<float>& target, float value) {
    float current = target.load(std::memory_order_relaxed);
    while (!target.compare_exchange_weak(current, current + value, std::memory_order_relaxed)) {
    }
}

// Ranking along an axis: by the key on the axis, ties by the next axis, then by
// the one after it. A strict order, so the partition scans stop at the sentinels
// placed by the median of three.
template <int Axis>
inline bool ranksAbove(const KdKey& a, const KdKey& b) {
    constexpr int k1 = (Axis + 1) % 3;
    constexpr int k2 = (Axis + 2) % 3;
    if (a.v[Axis] != b.v[Axis]) return a.v[Axis] > b.v[Axis];
    if (a.v[k1] != b.v[k1]) return a.v[k1] > b.v[k1];
    return a.v[k2] > b.v[k2];
}

// The keys and the entries are permuted together.
template <typename E>
struct BuildArrays {
    KdKey* key;
    E* entry;
    void swap(std::size_t i, std::size_t j) const {
        std::swap(key[i], key[j]);
        std::swap(entry[i], entry[j]);
    }
};

// Quickselect with the median of three as pivot: puts the element of rank k
// (within l..r) at position k, smaller ranks before it and larger ones after it.
template <int Axis, typename E>
void selectSmall(const BuildArrays<E>& v, std::size_t l, std::size_t r, std::size_t k) {
    KdKey* key = v.key;
    while (r > l + 1) {
        const std::size_t m = l + (r - l) / 2;
        v.swap(m, l + 1);
        if (ranksAbove<Axis>(key[l], key[r])) v.swap(l, r);
        if (ranksAbove<Axis>(key[l + 1], key[r])) v.swap(l + 1, r);
        if (ranksAbove<Axis>(key[l], key[l + 1])) v.swap(l, l + 1);
        std::size_t i = l + 1;
        std::size_t j = r;
        const KdKey pivot = key[l + 1];
        const E pivotEntry = v.entry[l + 1];
        for (;;) {
            do {
                ++i;
            } while (ranksAbove<Axis>(pivot, key[i]));
            do {
                --j;
            } while (ranksAbove<Axis>(key[j], pivot));
            if (j < i) break;
            v.swap(i, j);
        }
        key[l + 1] = key[j];
        v.entry[l + 1] = v.entry[j];
        key[j] = pivot;
        v.entry[j] = pivotEntry;
        if (j >= k) r = j - 1;
        if (j <= k) l = i;
    }
    if (r == l + 1 && ranksAbove<Axis>(key[l], key[r])) v.swap(l, r);
}

// Ranges above this size are narrowed by Floyd and Rivest's sampling first.
constexpr std::ptrdiff_t kSampleSelect = 600;

// The same selection; on large ranges a pivot selected from a small sample lies
// so close to rank k that one partition pass leaves only a sliver, about half
// the comparisons of the plain quickselect. The result is the same partition.
template <int Axis, typename E>
void selectRank(const BuildArrays<E>& v, std::ptrdiff_t l, std::ptrdiff_t r, std::ptrdiff_t k) {
    KdKey* key = v.key;
    while (r - l > kSampleSelect) {
        const double n = static_cast<double>(r - l + 1);
        const double i = static_cast<double>(k - l + 1);
        const double z = std::log(n);
        const double s = 0.5 * std::exp(2.0 * z / 3.0);
        const double sd = 0.5 * std::sqrt(z * s * (n - s) / n) * (i < n / 2 ? -1.0 : 1.0);
        const auto newLeft = std::max(
            l, static_cast<std::ptrdiff_t>(std::floor(static_cast<double>(k) - i * s / n + sd)));
        const auto newRight = std::min(
            r,
            static_cast<std::ptrdiff_t>(std::floor(static_cast<double>(k) + (n - i) * s / n + sd)));
        selectRank<Axis>(v, newLeft, newRight, k);

        const KdKey pivot = key[k];
        std::ptrdiff_t a = l;
        std::ptrdiff_t b = r;
        v.swap(static_cast<std::size_t>(l), static_cast<std::size_t>(k));
        if (ranksAbove<Axis>(key[r], pivot))
            v.swap(static_cast<std::size_t>(r), static_cast<std::size_t>(l));
        while (a < b) {
            v.swap(static_cast<std::size_t>(a), static_cast<std::size_t>(b));
            ++a;
            --b;
            while (ranksAbove<Axis>(pivot, key[a]))
                ++a;
            while (ranksAbove<Axis>(key[b], pivot))
                --b;
        }
        if (!ranksAbove<Axis>(key[l], pivot) && !ranksAbove<Axis>(pivot, key[l])) {
            v.swap(static_cast<std::size_t>(l), static_cast<std::size_t>(b));
        } else {
            ++b;
            v.swap(static_cast<std::size_t>(b), static_cast<std::size_t>(r));
        }
        if (b <= k) l = b + 1;
        if (k <= b) r = b - 1;
    }
    if (l < r)
        selectSmall<Axis>(v, static_cast<std::size_t>(l), static_cast<std::size_t>(r),
                          static_cast<std::size_t>(k));
}

// A raw view of the query's coordinates.
struct Query {
    double q[3];
    Vec3d v;
    explicit Query(const Vec3d& p) : q{p.x, p.y, p.z}, v(p) {}
};

}  // namespace

template <typename T, int D, int V>
struct KdTree<T, D, V>::Impl {
    using Tree = KdTree<T, D, V>;
    static constexpr bool kTriangles = kIsTriangle<T>;
    static constexpr std::size_t kBucket = kTriangles ? kTriangleBucket : kPointBucket;

    // ---------------------------------------------------------------- building

    struct BuildContext {
        Tree& tree;
        BuildArrays<Entry> arrays;
        const std::atomic<bool>* abort;
        std::atomic<bool> stopped{false};
    };

    static bool stopRequested(BuildContext& c) {
        if (c.tree.cancel.load(std::memory_order_relaxed) ||
            (c.abort != nullptr && c.abort->load(std::memory_order_relaxed))) {
            c.stopped.store(true, std::memory_order_relaxed);
            return true;
        }
        return false;
    }

    static Box leafBox(const BuildContext& c, std::size_t i) {
        Box b;
        const KdKey& key = c.arrays.key[i];
        for (int k = 0; k < 3; ++k)
            b.lo[k] = b.hi[k] = key.v[k];
        if constexpr (kTriangles) {
            // The triangle lies within centre ± extent; a little slack keeps the
            // bound safe against the rounding of centre and extent.
            const Vec3d& e = c.arrays.entry[i].element->extent;
            for (int k = 0; k < 3; ++k) {
                const double centre = key.v[k];
                if (!std::isfinite(centre)) continue;
                const double ext = e[k];
                const double slack = (std::abs(centre) + ext) * 1e-12;
                b.lo[k] = centre - ext - slack;
                b.hi[k] = centre + ext + slack;
            }
        }
        return b;
    }

    // Splits a..b at its median along Axis and writes the node's split value.
    template <int Axis>
    static std::size_t splitRange(BuildContext& c, std::size_t a, std::size_t b) {
        const std::size_t mid = a + (b - a) / 2;
        selectRank<Axis>(c.arrays, static_cast<std::ptrdiff_t>(a), static_cast<std::ptrdiff_t>(b),
                         static_cast<std::ptrdiff_t>(mid));
        Node& node = c.tree.nodes_[mid];
        node.split = c.arrays.key[mid].v[Axis];
        node.flags = 0;
        return mid;
    }

    template <int Axis>
    static Box buildRange(BuildContext& c, std::size_t a, std::size_t b, bool counted) {
        const std::size_t count = b - a + 1;
        if (!counted && count <= kProgressChunk) {
            const Box box = buildRange<Axis>(c, a, b, true);
            atomicAdd(c.tree.progress, c.tree.progressStep_ * static_cast<float>(count));
            return box;
        }
        if (a == b) return leafBox(c, a);
        if (stopRequested(c)) return Box{};

        const std::size_t mid = splitRange<Axis>(c, a, b);
        constexpr int Next = (Axis + 1) % 3;
        const Box box =
            merge(buildRange<Next>(c, a, mid, counted), buildRange<Next>(c, mid + 1, b, counted));
        Node& node = c.tree.nodes_[mid];
        node.low = box.lo[Axis];
        node.high = box.hi[Axis];
        return box;
    }

    // The root's two halves are built on two threads; everything below them runs
    // serially inside its half, so no nested parallel region is ever opened.
    static void buildAll(BuildContext& c, std::size_t n) {
        if (n < kParallelMinimum) {
            buildRange<0>(c, 0, n - 1, false);
            return;
        }
        if (stopRequested(c)) return;
        const std::size_t mid = splitRange<0>(c, 0, n - 1);

        Box left{}, right{};
        std::exception_ptr leftError, rightError;
#pragma omp parallel sections num_threads(2)
        {
#pragma omp section
            {
                try {
                    left = buildRange<1>(c, 0, mid, false);
                } catch (...) {
                    leftError = std::current_exception();
                }
            }
#pragma omp section
            {
                try {
                    right = buildRange<1>(c, mid + 1, n - 1, false);
                } catch (...) {
                    rightError = std::current_exception();
                }
            }
        }
        if (leftError) std::rethrow_exception(leftError);
        if (rightError) std::rethrow_exception(rightError);
        const Box box = merge(left, right);
        Node& node = c.tree.nodes_[mid];
        node.low = box.lo[0];
        node.high = box.hi[0];
    }

    // ---------------------------------------------------------------- leaves

    static bool entryExcluded(const Tree& t, std::size_t i) {
        return (t.entries_[i].flags & kKdExcluded) != 0;
    }

    // Whether the whole range a..b is excluded, by the mark of its root.
    static bool rangeExcluded(const Tree& t, std::size_t a, std::size_t b) {
        if (a == b) return entryExcluded(t, a);
        return (t.nodes_[a + (b - a) / 2].flags & kKdExcluded) != 0;
    }

    // Squared distance from the query to the element at position i; for
    // triangles the closest point on the triangle goes to `closest`.
    static double leafDistance(const Tree& t, std::size_t i, const Query& q, Vec3d& closest) {
        if constexpr (kTriangles) {
            const KdTriangleProxy<Vec3d>& tri = *t.entries_[i].element;
            closest = closestPointOnTriangle(q.v, *tri.vertex0, *tri.vertex1, *tri.vertex2);
            const double c[3] = {closest.x, closest.y, closest.z};
            return squaredDistance(q.q, c);
        } else {
            (void)closest;
            return squaredDistance(q.q, t.points_[i].v);
        }
    }

    static double leafDistance(const Tree& t, std::size_t i, const Query& q) {
        Vec3d unused;
        return leafDistance(t, i, q, unused);
    }

    // A lower bound of the squared distance to the triangle at position i from
    // its box alone, to skip the closest-point computation of far triangles.
    static double triangleBoxDistance(const Tree& t, std::size_t i, const Query& q) {
        if constexpr (kTriangles) {
            const Vec3d& e = t.entries_[i].element->extent;
            const double* c = t.points_[i].v;
            Offsets o;
            for (int k = 0; k < 3; ++k) {
                const double d = std::abs(q.q[k] - c[k]) - e[k] * (1.0 + 1e-12);
                o.o[k] = d > 0.0 ? d : 0.0;
            }
            return o.sum();
        } else {
            (void)t;
            (void)i;
            (void)q;
            return 0.0;
        }
    }

    static double intervalOffset(double x, double lo, double hi) {
        if (x < lo) return lo - x;
        if (x > hi) return x - hi;
        return 0.0;
    }

    // Offsets of the query along a node's axis from its two children, and which
    // child to search first.
    struct Sides {
        double left;
        double right;
        bool rightFirst;
    };

    template <int Axis>
    static Sides sides(const Tree& t, const Query& q, const Node& node, std::size_t a,
                       std::size_t mid, std::size_t b) {
        const double qa = q.q[Axis];
        Sides s;
        bool tie;
        if constexpr (kTriangles) {
            // Triangles reach across the split: only the node's range bounds them.
            s.left = s.right = intervalOffset(qa, node.low, node.high);
            s.rightFirst = qa > node.split;
            tie = qa == node.split;
        } else {
            // Points of the left child lie within [low, split], of the right one
            // within [split, high].
            s.left = intervalOffset(qa, node.low, node.split);
            s.right = intervalOffset(qa, node.split, node.high);
            s.rightFirst = s.right < s.left;
            tie = s.right == s.left;
        }
        // On a tie (every split of a flat part along its normal) the partition
        // went by the next axis: the child whose range on it is nearer first.
        if (tie && mid - a >= kBucket && b - mid - 1 >= kBucket) {
            constexpr int Next = (Axis + 1) % 3;
            const Node& l = t.nodes_[a + (mid - a) / 2];
            const Node& r = t.nodes_[mid + 1 + (b - mid - 1) / 2];
            s.rightFirst =
                intervalOffset(q.q[Next], r.low, r.high) < intervalOffset(q.q[Next], l.low, l.high);
        }
        return s;
    }

    // ---------------------------------------------------------------- nearest

    struct Nearest {
        Nearest(const Query& query, double radius2) : q(query), r2(radius2) {}
        const Query& q;
        double r2;
        std::size_t best = kNone;
        Vec3d closest;
    };

    static void offerNearest(const Tree& t, Nearest& s, std::size_t i) {
        if constexpr (kTriangles) {
            if (triangleBoxDistance(t, i, s.q) > s.r2) return;
            Vec3d c;
            const double d2 = leafDistance(t, i, s.q, c);
            if (d2 <= s.r2) {
                s.r2 = d2;
                s.best = i;
                s.closest = c;
            }
        } else {
            const double d2 = squaredDistance(s.q.q, t.points_[i].v);
            if (d2 <= s.r2) {
                s.r2 = d2;
                s.best = i;
            }
        }
    }

    template <int Axis, bool Marks>
    static void nearest(const Tree& t, Nearest& s, std::size_t a, std::size_t b, Offsets o) {
        if (b - a < kBucket) {
            for (std::size_t i = a; i <= b; ++i) {
                if (Marks && entryExcluded(t, i)) continue;
                offerNearest(t, s, i);
            }
            return;
        }
        const std::size_t mid = a + (b - a) / 2;
        const Node& node = t.nodes_[mid];
        if (Marks && (node.flags & kKdExcluded)) return;
        const Sides side = sides<Axis>(t, s.q, node, a, mid, b);
        constexpr int Next = (Axis + 1) % 3;
        if (side.rightFirst) {
            o.o[Axis] = side.right;
            if (o.sum() > s.r2) return;
            nearest<Next, Marks>(t, s, mid + 1, b, o);
            o.o[Axis] = side.left;
            if (o.sum() <= s.r2) nearest<Next, Marks>(t, s, a, mid, o);
        } else {
            o.o[Axis] = side.left;
            if (o.sum() > s.r2) return;
            nearest<Next, Marks>(t, s, a, mid, o);
            o.o[Axis] = side.right;
            if (o.sum() <= s.r2) nearest<Next, Marks>(t, s, mid + 1, b, o);
        }
    }

    // The nearest element within squared distance r2 (inclusive).
    static Hit exactNearest(const Tree& t, const Query& q, double r2) {
        Hit hit;
        if (!t.built_ || !(r2 >= 0.0)) return hit;
        Nearest s(q, r2);
        const Offsets o{{0.0, 0.0, 0.0}};
        const std::size_t last = t.entries_.size() - 1;
        if (t.anyExcluded_)
            nearest<0, true>(t, s, 0, last, o);
        else
            nearest<0, false>(t, s, 0, last, o);
        if (s.best == kNone) return hit;
        return makeHit(t, s.best, s.r2, s.closest);
    }

    static Hit makeHit(const Tree& t, std::size_t i, double d2, const Vec3d& closest) {
        Hit hit;
        hit.entry = &t.entries_[i];
        hit.squaredDistance = d2;
        if constexpr (kTriangles) {
            hit.closest = closest;
        } else {
            (void)closest;
            hit.closest = Vec3d(t.points_[i].v[0], t.points_[i].v[1], t.points_[i].v[2]);
        }
        return hit;
    }

    // ---------------------------------------------------------------- descend

    template <int Axis, bool Marks>
    static void descendIn(const Tree& t, Nearest& s, std::size_t a, std::size_t b) {
        if (b - a < kBucket) {
            for (std::size_t i = a; i <= b; ++i) {
                if (Marks && entryExcluded(t, i)) continue;
                Vec3d c;
                const double d2 = leafDistance(t, i, s.q, c);
                // Points: a later leaf wins on equal distance; triangles keep the
                // first one unless a later one is strictly nearer.
                if (kTriangles ? d2 < s.r2 : d2 <= s.r2) {
                    s.r2 = d2;
                    s.best = i;
                    s.closest = c;
                }
            }
            return;
        }
        const std::size_t mid = a + (b - a) / 2;
        const Node& node = t.nodes_[mid];
        if (Marks && (node.flags & kKdExcluded)) return;
        const double qa = s.q.q[Axis];
        constexpr int Next = (Axis + 1) % 3;
        if constexpr (kTriangles) {
            const bool both = std::abs(qa - node.split) <= kPlaneBand;
            if (qa > node.split) {
                descendIn<Next, Marks>(t, s, mid + 1, b);
                if (both) descendIn<Next, Marks>(t, s, a, mid);
            } else {
                descendIn<Next, Marks>(t, s, a, mid);
                if (both) descendIn<Next, Marks>(t, s, mid + 1, b);
            }
        } else {
            if (node.split >= qa - kPlaneBand) descendIn<Next, Marks>(t, s, a, mid);
            if (node.split < qa + kPlaneBand) descendIn<Next, Marks>(t, s, mid + 1, b);
        }
    }

    // ---------------------------------------------------------------- radius

    template <int Axis, bool Marks>
    static void collect(const Tree& t, const Query& q, double r2, std::size_t a, std::size_t b,
                        Offsets o, std::vector<const Entry*>& out) {
        if (b - a < kBucket) {
            for (std::size_t i = a; i <= b; ++i) {
                if (Marks && entryExcluded(t, i)) continue;
                if constexpr (kTriangles) {
                    if (triangleBoxDistance(t, i, q) > r2) continue;
                }
                if (leafDistance(t, i, q) <= r2) out.push_back(&t.entries_[i]);
            }
            return;
        }
        const std::size_t mid = a + (b - a) / 2;
        const Node& node = t.nodes_[mid];
        if (Marks && (node.flags & kKdExcluded)) return;
        const Sides side = sides<Axis>(t, q, node, a, mid, b);
        constexpr int Next = (Axis + 1) % 3;
        o.o[Axis] = side.left;
        if (o.sum() <= r2) collect<Next, Marks>(t, q, r2, a, mid, o, out);
        o.o[Axis] = side.right;
        if (o.sum() <= r2) collect<Next, Marks>(t, q, r2, mid + 1, b, o, out);
    }

    // Collects and marks the unmarked entries within r2; returns whether the
    // range is entirely marked afterwards, so that parents can be marked too.
    template <int Axis>
    static bool collectAndExclude(Tree& t, const Query& q, double r2, std::size_t a, std::size_t b,
                                  Offsets o, std::vector<const Entry*>& out) {
        if (a == b) {
            Entry& e = t.entries_[a];
            if (e.flags & kKdExcluded) return true;
            if (leafDistance(t, a, q) <= r2) {
                e.flags |= kKdExcluded;
                out.push_back(&e);
                return true;
            }
            return false;
        }
        const std::size_t mid = a + (b - a) / 2;
        Node& node = t.nodes_[mid];
        if (node.flags & kKdExcluded) return true;
        const Sides side = sides<Axis>(t, q, node, a, mid, b);
        constexpr int Next = (Axis + 1) % 3;
        o.o[Axis] = side.left;
        const bool leftDone = o.sum() <= r2 ? collectAndExclude<Next>(t, q, r2, a, mid, o, out)
                                            : rangeExcluded(t, a, mid);
        o.o[Axis] = side.right;
        const bool rightDone = o.sum() <= r2 ? collectAndExclude<Next>(t, q, r2, mid + 1, b, o, out)
                                             : rangeExcluded(t, mid + 1, b);
        if (leftDone && rightDone) {
            node.flags |= kKdExcluded;
            return true;
        }
        return false;
    }

    // ---------------------------------------------------------------- k nearest

    struct KnnItem {
        double d2;
        std::size_t position;
    };
    struct KnnLess {
        bool operator()(const KnnItem& x, const KnnItem& y) const { return x.d2 < y.d2; }
    };

    // Bounded k-nearest collection: up to k entries within r. While it fills,
    // entries are appended; once full it is a max-heap and r shrinks to its
    // farthest entry.
    struct Knn {
        Knn(const Query& query, KnnItem* store, std::size_t capacity)
            : q(query), heap(store), k(capacity) {}
        const Query& q;
        double r2 = 0.0;
        KnnItem* heap;
        std::size_t k;
        std::size_t count = 0;
    };

    // Replaces the farthest entry of the full heap and restores the heap order.
    static void replaceFarthest(KnnItem* heap, std::size_t k, const KnnItem& item) {
        std::size_t hole = 0;
        for (;;) {
            std::size_t child = 2 * hole + 1;
            if (child >= k) break;
            if (child + 1 < k && heap[child + 1].d2 > heap[child].d2) ++child;
            if (!(heap[child].d2 > item.d2)) break;
            heap[hole] = heap[child];
            hole = child;
        }
        heap[hole] = item;
    }

    static void offerKnn(const Tree& t, Knn& s, std::size_t i) {
        if constexpr (kTriangles) {
            if (triangleBoxDistance(t, i, s.q) > s.r2) return;
        }
        const double d2 = leafDistance(t, i, s.q);
        if (!(d2 <= s.r2)) return;
        if (s.count < s.k) {
            s.heap[s.count++] = KnnItem{d2, i};
            if (s.count == s.k) {
                std::make_heap(s.heap, s.heap + s.k, KnnLess());
                s.r2 = s.heap[0].d2;
            }
            return;
        }
        if (!(d2 < s.r2)) return;  // a full list ignores ties with its farthest entry
        replaceFarthest(s.heap, s.k, KnnItem{d2, i});
        s.r2 = s.heap[0].d2;
    }

    template <int Axis, bool Marks>
    static void knn(const Tree& t, Knn& s, std::size_t a, std::size_t b, Offsets o) {
        if (b - a < kBucket) {
            for (std::size_t i = a; i <= b; ++i) {
                if (Marks && entryExcluded(t, i)) continue;
                offerKnn(t, s, i);
            }
            return;
        }
        const std::size_t mid = a + (b - a) / 2;
        const Node& node = t.nodes_[mid];
        if (Marks && (node.flags & kKdExcluded)) return;
        // The query's side first: its entries shrink the radius that then
        // prunes the other side.
        const Sides side = sides<Axis>(t, s.q, node, a, mid, b);
        constexpr int Next = (Axis + 1) % 3;
        if (side.rightFirst) {
            o.o[Axis] = side.right;
            if (o.sum() > s.r2) return;
            knn<Next, Marks>(t, s, mid + 1, b, o);
            o.o[Axis] = side.left;
            if (o.sum() <= s.r2) knn<Next, Marks>(t, s, a, mid, o);
        } else {
            o.o[Axis] = side.left;
            if (o.sum() > s.r2) return;
            knn<Next, Marks>(t, s, a, mid, o);
            o.o[Axis] = side.right;
            if (o.sum() <= s.r2) knn<Next, Marks>(t, s, mid + 1, b, o);
        }
    }

    static std::size_t knnPass(const Tree& t, Knn& s, double r) {
        s.r2 = r * r;
        s.count = 0;
        const Offsets o{{0.0, 0.0, 0.0}};
        const std::size_t last = t.entries_.size() - 1;
        if (t.anyExcluded_)
            knn<0, true>(t, s, 0, last, o);
        else
            knn<0, false>(t, s, 0, last, o);
        return s.count;
    }

    // ---------------------------------------------------------------- subtrees

    // The median element of a..b along an axis: the highest ranked element of
    // the left range, where the partition left it.
    static const T* medianElement(const Tree& t, std::size_t a, std::size_t b, unsigned axis) {
        const std::size_t mid = a + (b - a) / 2;
        std::size_t best = a;
        for (std::size_t i = a + 1; i <= mid; ++i) {
            const KdKey& x = t.points_[i];
            const KdKey& y = t.points_[best];
            const bool above = axis == 0   ? ranksAbove<0>(x, y)
                               : axis == 1 ? ranksAbove<1>(x, y)
                                           : ranksAbove<2>(x, y);
            if (above) best = i;
        }
        return t.entries_[best].element;
    }

    static void subtrees(const Tree& t, std::size_t a, std::size_t b, unsigned depth,
                         unsigned wanted, std::vector<Subtree>& out) {
        if (a == b) {
            out.push_back(Subtree{t.entries_[a].element, a, a + 1});
            return;
        }
        const std::size_t mid = a + (b - a) / 2;
        if (depth == wanted) {
            out.push_back(Subtree{medianElement(t, a, b, depth % 3), a, b + 1});
            return;
        }
        subtrees(t, a, mid, depth + 1, wanted, out);
        subtrees(t, mid + 1, b, depth + 1, wanted, out);
    }
};

// -------------------------------------------------------------------- build

template <typename T, int D, int V>
KdTree<T, D, V>::~KdTree() = default;

template <typename T, int D, int V>
void KdTree<T, D, V>::build(const T* first, const T* last, const std::atomic<bool>* abort) {
    if (first == nullptr || last == nullptr || !(first < last)) return;
    const std::size_t n = static_cast<std::size_t>(last - first);
    const std::size_t maxCount =
        std::min({nodes_.max_size(), entries_.max_size(), points_.max_size()});
    if (n > maxCount) throwAlg3dException(kTooLong);

    // Discard the previous index first, so that a failure leaves an empty tree.
    built_ = false;
    cancel.store(false);
    anyExcluded_ = false;
    auto discard = [this]() {
        KdArray<Node>().swap(nodes_);
        KdArray<Entry>().swap(entries_);
        KdArray<KdKey>().swap(points_);
    };
    discard();
    first_ = first;
    progress.store(0.0f);
    progressStep_ = 100.0f / static_cast<float>(n);

    try {
        // Every node is written by the build; only the single node of a
        // one-element tree stays as it is, zero.
        nodes_.resize(n > 1 ? n - 1 : 1);
        if (n == 1) nodes_[0] = Node{0.0, 0.0, 0.0, 0};
        entries_.resize(n);
        points_.resize(n);
    } catch (const std::length_error&) {
        discard();
        throwAlg3dException(kTooLong);
    } catch (const std::bad_alloc&) {
        discard();
        throwAlg3dException(errors::kAllocatingMemory);
    }

    auto stopRequested = [this, abort]() {
        return cancel.load(std::memory_order_relaxed) ||
               (abort != nullptr && abort->load(std::memory_order_relaxed));
    };

    // One entry per element in input order; the build then permutes the
    // entries together with their keys into tree order.
    for (std::size_t start = 0; start < n; start += kProgressChunk) {
        if (stopRequested()) {
            discard();
            return;
        }
        const std::size_t end = std::min(n, start + kProgressChunk);
        for (std::size_t i = start; i < end; ++i) {
            keyOf(first[i], points_[i].v);
            entries_[i].element = first + i;
            entries_[i].flags = kKdLeaf;
        }
        atomicAdd(progress, progressStep_ * static_cast<float>(end - start));
    }

    progress.store(0.0f);
    typename Impl::BuildContext context{*this, BuildArrays<Entry>{points_.data(), entries_.data()},
                                        abort};
    try {
        Impl::buildAll(context, n);
    } catch (const Alg3dException&) {
        discard();
        progress.store(0.0f);
        throw;
    } catch (const std::exception& e) {
        discard();
        progress.store(0.0f);
        throwAlg3dException(e.what());
    }
    if (context.stopped.load() || stopRequested()) {
        discard();
        return;
    }

    built_ = true;
    progress.store(100.0f);
}

// -------------------------------------------------------------------- queries

template <typename T, int D, int V>
const T* KdTree<T, D, V>::findNearest(const Vec3d& query, double maxDistance) const {
    if (!built_ || !(maxDistance >= 0.0)) return nullptr;
    const Query q(query);
    if (maxDistance == 0.0) {
        const Hit hit = Impl::exactNearest(*this, q, kInfinity);
        return hit ? hit.entry->element : nullptr;
    }
    // One exact search answers both rules: anything within the bound (with its
    // allowance), and anything closer than kCoincident whatever the bound.
    const double bound = maxDistance + kSqrtEpsilon;
    const double reach = std::max(bound, kCoincident);
    const Hit hit = Impl::exactNearest(*this, q, reach * reach);
    if (!hit) return nullptr;
    if (hit.squaredDistance >= kCoincident * kCoincident && hit.squaredDistance > bound * bound)
        return nullptr;
    return hit.entry->element;
}

template <typename T, int D, int V>
bool KdTree<T, D, V>::findClosestOnMesh(const Vec3d& query, double maxDistance, Vec3d& closestPoint,
                                        bool& front) const {
    if (!built_ || !(maxDistance >= 0.0)) return false;
    const Query q(query);
    double r2 = kInfinity;
    if (maxDistance > 0.0) {
        const double reach = maxDistance + kMeshAllowance;
        r2 = reach * reach;
    }
    const Hit hit = Impl::exactNearest(*this, q, r2);
    if (!hit) return false;
    closestPoint = hit.closest;
    Vec3d normal;
    if constexpr (kIsTriangle<T>) {
        const T& tri = *hit.entry->element;
        normal = triangleNormal(*tri.vertex0, *tri.vertex1, *tri.vertex2);
    }
    front = (query - closestPoint).dot(normal) > -1e-12;
    return true;
}

template <typename T, int D, int V>
typename KdTree<T, D, V>::Hit KdTree<T, D, V>::descend(const Vec3d& query) const {
    Hit hit;
    if (!built_) return hit;
    const Query q(query);
    typename Impl::Nearest s(q, kIsTriangle<T> ? kMaxDouble : kInfinity);
    const std::size_t last = entries_.size() - 1;
    if (anyExcluded_)
        Impl::template descendIn<0, true>(*this, s, 0, last);
    else
        Impl::template descendIn<0, false>(*this, s, 0, last);
    if (s.best == kNone) return hit;
    return Impl::makeHit(*this, s.best, s.r2, s.closest);
}

template <typename T, int D, int V>
typename KdTree<T, D, V>::Hit KdTree<T, D, V>::searchWithin(const Vec3d& query,
                                                            double radius) const {
    if (!built_ || !(radius >= 0.0)) return Hit();
    return Impl::exactNearest(*this, Query(query), radius * radius);
}

template <typename T, int D, int V>
void KdTree<T, D, V>::collectWithin(const Vec3d& query, double radius,
                                    std::vector<const Entry*>& list) const {
    if (!built_ || !(radius >= 0.0)) return;
    const Query q(query);
    const Offsets o{{0.0, 0.0, 0.0}};
    const std::size_t last = entries_.size() - 1;
    if (anyExcluded_)
        Impl::template collect<0, true>(*this, q, radius * radius, 0, last, o, list);
    else
        Impl::template collect<0, false>(*this, q, radius * radius, 0, last, o, list);
}

template <typename T, int D, int V>
double KdTree<T, D, V>::findKNearest(const Vec3d& query, std::size_t k, double radiusHint,
                                     std::vector<const Entry*>& list) const {
    list.clear();
    if (k == 0) return radiusHint;
    if (!built_) return 0.0;
    const Query q(query);
    const std::size_t n = entries_.size();

    if (k >= n) {
        // Every entry; the farthest one (a NaN distance counts as farthest) last.
        std::size_t far = 0;
        double farD2 = -1.0;
        for (std::size_t i = 0; i < n; ++i) {
            if (anyExcluded_ && Impl::entryExcluded(*this, i)) continue;
            const double d2 = Impl::leafDistance(*this, i, q);
            if (!(d2 <= farD2)) {
                farD2 = d2;
                far = list.size();
            }
            list.push_back(&entries_[i]);
        }
        if (list.empty()) return 0.0;
        std::swap(list[far], list.back());
        return std::sqrt(farD2);
    }

    std::array<typename Impl::KnnItem, kStackKnn> local;
    std::vector<typename Impl::KnnItem> heapStore;
    typename Impl::KnnItem* heap = local.data();
    if (k > kStackKnn) {
        heapStore.resize(k);
        heap = heapStore.data();
    }
    typename Impl::Knn s(q, heap, k);

    double r = radiusHint >= kSmallestHint ? radiusHint : kMaxDouble;
    for (std::size_t pass = 1;; ++pass) {
        const std::size_t found = Impl::knnPass(*this, s, r);
        if (found == k) break;
        // Nothing more can be found: excluded or non-finite elements.
        if (r >= kMaxDouble) break;
        if (pass >= kMaxKnnPasses) {
            r = kMaxDouble;
            continue;
        }
        if (found > 0 && (found > k / 3 || k < 4))
            r *= std::sqrt(static_cast<double>(k) / static_cast<double>(found));
        else
            r *= 2.0;
        if (!(r < kMaxDouble)) r = kMaxDouble;
    }

    if (s.count == 0) return 0.0;
    std::sort(heap, heap + s.count, typename Impl::KnnLess());
    list.reserve(s.count);
    for (std::size_t j = 0; j < s.count; ++j)
        list.push_back(&entries_[heap[j].position]);
    return std::sqrt(heap[s.count - 1].d2);
}

template <typename T, int D, int V>
void KdTree<T, D, V>::collectSubtrees(unsigned depth, std::vector<Subtree>& list) const {
    if (!built_) return;
    Impl::subtrees(*this, 0, entries_.size() - 1, 0, depth, list);
}

// -------------------------------------------------------------------- marks

template <typename T, int D, int V>
void KdTree<T, D, V>::markExcluded(std::size_t position) {
    if (!built_ || position >= entries_.size()) return;
    entries_[position].flags |= kKdExcluded;
    anyExcluded_ = true;
    // The ranges from the root down to the entry; then mark upwards as long as
    // both children of a node are marked.
    std::array<std::pair<std::size_t, std::size_t>, 2 * sizeof(std::size_t) * 8> path;
    std::size_t depth = 0;
    std::size_t a = 0;
    std::size_t b = entries_.size() - 1;
    while (a < b) {
        path[depth++] = {a, b};
        const std::size_t mid = a + (b - a) / 2;
        if (position <= mid)
            b = mid;
        else
            a = mid + 1;
    }
    while (depth > 0) {
        const auto [lo, hi] = path[--depth];
        const std::size_t mid = lo + (hi - lo) / 2;
        if (!Impl::rangeExcluded(*this, lo, mid) || !Impl::rangeExcluded(*this, mid + 1, hi)) break;
        nodes_[mid].flags |= kKdExcluded;
    }
}

template <typename T, int D, int V>
void KdTree<T, D, V>::clearExclusions() {
    for (Entry& e : entries_)
        e.flags = static_cast<std::uint8_t>(e.flags & ~kKdExcluded);
    for (Node& nd : nodes_)
        nd.flags = static_cast<std::uint8_t>(nd.flags & ~kKdExcluded);
    anyExcluded_ = false;
}

template <typename T, int D, int V>
void KdTree<T, D, V>::collectWithinAndExclude(const Vec3d& query, double radius,
                                              std::vector<const Entry*>& list) {
    if (!built_ || !(radius >= 0.0)) return;
    const Query q(query);
    const std::size_t before = list.size();
    Impl::template collectAndExclude<0>(*this, q, radius * radius, 0, entries_.size() - 1,
                                        Offsets{{0.0, 0.0, 0.0}}, list);
    if (list.size() > before) anyExcluded_ = true;
}

template class KdTree<GLPoint, 3, 0>;
template class KdTree<Vec3d, 3, 0>;
template class KdTree<KdTriangleProxy<Vec3d>, 3, 0>;

}  // namespace algorithm
}  // namespace alg3D
