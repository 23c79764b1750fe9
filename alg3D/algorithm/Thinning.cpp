#include "alg3D/algorithm/Thinning.h"

#include <algorithm>
#include <cmath>

#include "alg3D/algorithm/KdTree.h"

namespace alg3D {
namespace algorithm {

namespace {

template <typename P>
std::size_t countOf(const P* begin, const P* end) {
    return (begin && end > begin) ? static_cast<std::size_t>(end - begin) : 0;
}

// floor(i·a) with a = n / m, the i-th kept position (i < m <= n), in integers: with a
// rounded to a double, i·a lands on the wrong side of a whole number once n·m reaches
// about 1e16 (clouds of some 1e8 points thinned by a few points), and two i then share
// a position, so fewer than m points would be kept. i·n/m = i·q + i·rem/m with
// q = n / m and rem = n % m < m.
std::size_t keptPosition(std::uint64_t i, std::uint64_t n, std::uint64_t m) {
    const std::uint64_t q = n / m, rem = n % m;
    std::uint64_t fraction;
    if (m <= (std::uint64_t(1) << 32)) {
        fraction = i * rem / m;  // i·rem < m² <= 2^64
    } else {
        fraction = static_cast<std::uint64_t>(static_cast<long double>(i) * rem / m);
    }
    return static_cast<std::size_t>(std::min(i * q + fraction, n - 1));
}

}  // namespace

template <typename P>
bool thinningToCount(const ProcessControl& control, const P* begin, const P* end,
                     std::uint64_t count, std::vector<std::uint8_t>& remove) {
    const std::size_t n = countOf(begin, end);
    remove.assign(n, 0);
    if (n <= 1 || count == 0 || n < count) {
        control.setProgress(100.0f);
        return !control.aborted();
    }
    KdTree<P> tree;
    tree.build(begin, end, control.abort);
    if (!tree.built()) return false;
    control.setProgress(50.0f);
    std::vector<std::uint8_t> bits(n, 1);
    for (std::uint64_t i = 0; i < count; ++i)
        bits[keptPosition(i, n, count)] = 0;
    control.setProgress(80.0f);
    if (control.aborted()) return false;
    for (std::size_t pos = 0; pos < n; ++pos)
        remove[tree.elementIndex(pos)] = bits[pos];
    control.setProgress(100.0f);
    return true;
}

template <typename P>
bool thinningToSpacing(const ProcessControl& control, const P* begin, const P* end, double spacing,
                       std::vector<std::uint8_t>& remove) {
    const std::size_t n = countOf(begin, end);
    remove.assign(n, 0);
    if (n <= 1) {
        control.setProgress(100.0f);
        return !control.aborted();
    }
    KdTree<P> tree;
    tree.build(begin, end, control.abort);
    if (!tree.built()) return false;
    std::vector<std::uint8_t> visited(n);
    for (std::size_t pos = 0; pos < n; ++pos)
        visited[pos] = tree.isExcluded(pos) ? 1 : 0;
    std::vector<const KdEntry<P>*> list;
    const double r = spacing + 1e-6;
    for (std::size_t pos = 0; pos < n; ++pos) {
        if (control.aborted()) return false;
        control.setProgress(
            static_cast<float>(static_cast<double>(pos) * 100.0 / static_cast<double>(n)));
        if (visited[pos]) {
            remove[tree.elementIndex(pos)] = 1;
            continue;
        }
        list.clear();
        tree.collectWithin(alg3D::coords(*tree.entries()[pos].element), r, list);
        for (const KdEntry<P>* e : list)
            visited[tree.positionOf(e)] = 1;
    }
    if (control.aborted()) return false;
    control.setProgress(100.0f);
    return true;
}

template <typename P>
std::size_t compactThinned(std::vector<P>& points, std::vector<Vec3f>* normals,
                           const std::vector<std::uint8_t>& remove) {
    const std::size_t n = std::min(points.size(), remove.size());
    const bool withNormals = normals && normals->size() == points.size();
    std::size_t kept = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (i < n && remove[i]) continue;
        points[kept] = points[i];
        if (withNormals) (*normals)[kept] = (*normals)[i];
        ++kept;
    }
    points.resize(kept);
    points.shrink_to_fit();
    if (withNormals) {
        normals->resize(kept);
        normals->shrink_to_fit();
    }
    return kept;
}

namespace {

template <typename P>
void markFlagged(P* begin, const std::vector<std::uint8_t>& remove) {
    const long long n = static_cast<long long>(remove.size());
#pragma omp parallel for schedule(static) if (n > 100000)
    for (long long i = 0; i < n; ++i)
        if (remove[i]) begin[i].x = kRemovedPointMark;
}

}  // namespace

template <typename P>
bool thinToCount(const ProcessControl& control, P* begin, P* end, std::uint64_t count) {
    std::vector<std::uint8_t> remove;
    if (!thinningToCount<P>(control, begin, end, count, remove)) return false;
    markFlagged(begin, remove);
    return true;
}

template <typename P>
bool thinToSpacing(const ProcessControl& control, P* begin, P* end, double spacing) {
    std::vector<std::uint8_t> remove;
    if (!thinningToSpacing<P>(control, begin, end, spacing, remove)) return false;
    markFlagged(begin, remove);
    return true;
}

template <typename P>
bool calcThinning(ParamThinning<P>& param) {
    if (param.mode == kThinCount)
        return thinToCount(param.control, param.begin, param.end, param.pointNumber);
    return thinToSpacing(param.control, param.begin, param.end, param.radius);
}

template <typename P>
std::size_t removeMarked(std::vector<P>& points, std::vector<Vec3f>* normals) {
    if (normals && normals->size() == points.size()) {
        // A normal is marked exactly when its point is; mark it from the point so the
        // two arrays are compacted alike.
        for (std::size_t i = 0; i < points.size(); ++i)
            if (points[i].x == kRemovedPointMark) (*normals)[i].x = kRemovedNormalMark;
    }
    std::vector<std::uint8_t> remove(points.size());
    for (std::size_t i = 0; i < points.size(); ++i)
        remove[i] = points[i].x == kRemovedPointMark ? 1 : 0;
    return compactThinned(points, normals, remove);
}

#define TESSARO_INSTANTIATE_THINNING(P)                                                        \
    template bool thinningToCount<P>(const ProcessControl&, const P*, const P*, std::uint64_t, \
                                     std::vector<std::uint8_t>&);                              \
    template bool thinningToSpacing<P>(const ProcessControl&, const P*, const P*, double,      \
                                       std::vector<std::uint8_t>&);                            \
    template std::size_t compactThinned<P>(std::vector<P>&, std::vector<Vec3f>*,               \
                                           const std::vector<std::uint8_t>&);                  \
    template bool thinToCount<P>(const ProcessControl&, P*, P*, std::uint64_t);                \
    template bool thinToSpacing<P>(const ProcessControl&, P*, P*, double);                     \
    template bool calcThinning<P>(ParamThinning<P>&);                                          \
    template std::size_t removeMarked<P>(std::vector<P>&, std::vector<Vec3f>*);
TESSARO_INSTANTIATE_THINNING(Vec3d)
TESSARO_INSTANTIATE_THINNING(GLPoint)
#undef TESSARO_INSTANTIATE_THINNING

}  // namespace algorithm
}  // namespace alg3D
