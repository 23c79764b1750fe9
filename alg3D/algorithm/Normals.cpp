#include "alg3D/algorithm/Normals.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "alg3D/algorithm/KdTree.h"

namespace alg3D {
namespace algorithm {

namespace {

constexpr double kSqrt2 = 1.4142135623730951;

template <typename P>
using Entries = std::vector<const KdEntry<P>*>;

// The neighbours' coordinates from the tree's keys (in tree order, so mostly in cache)
// rather than through the element pointers (input order, scattered).
template <typename P>
void copyCoordinates(const KdTree<P>& tree, const Entries<P>& list, std::vector<Vec3d>& coords) {
    coords.resize(list.size());
    for (std::size_t i = 0; i < list.size(); ++i) {
        const KdKey& k = tree.keyAt(tree.positionOf(list[i]));
        coords[i] = Vec3d(k.v[0], k.v[1], k.v[2]);
    }
}

Vec3f toFloat(const Vec3d& n) {
    return Vec3f(static_cast<float>(n.x), static_cast<float>(n.y), static_cast<float>(n.z));
}

// The adaptive k-nearest normal at q: at most three attempts, k doubled after a
// neighbourhood that is degenerate to a line (or too small). `hint` is the thread's
// radius hint, carried from point to point.
template <typename P>
Vec3f adaptiveNormal(const KdTree<P>& tree, const Vec3d& q, std::size_t k, double& hint,
                     Entries<P>& list, std::vector<Vec3d>& coords) {
    Vec3f normal(0.0f, 0.0f, 0.0f);
    for (int attempt = 0; attempt < 3; ++attempt, k *= 2) {
        const double g = tree.findKNearest(q, k, hint, list);
        if (g < 1e-7 && list.size() >= k) return Vec3f(0.0f, 0.0f, 0.0f);  // all coincide
        if (list.size() >= 3 && g > 1e-8) {
            copyCoordinates(tree, list, coords);
            const NeighbourhoodAxes axes = analyseNeighbourhood(coords);
            normal = toFloat(axes.normal);
            const double w0 = axes.singularValues.x, w1 = axes.singularValues.y;
            if (w0 > 1e-8 && w1 > 0.25 * w0) {
                hint = g;
                return normal;
            }
            hint = g * kSqrt2;
        } else {
            normal = Vec3f(0.0f, 0.0f, 0.0f);
            hint *= kSqrt2;
        }
    }
    return normal;
}

}  // namespace

template <typename P>
void normalsRadius(const ProcessControl& control, const P* begin, const P* end, Vec3f* out,
                   double radius) {
    const long long n = (begin && end > begin) ? static_cast<long long>(end - begin) : 0;
    if (n < 3) {
        control.setProgress(100.0f);
        return;
    }
    KdTree<P> tree;
    tree.build(begin, end, control.abort);
    if (!tree.built()) return;
    const float step = 100.0f / static_cast<float>(n);
    const double r = radius + 1e-6;
#pragma omp parallel num_threads(control.teamSize())
    {
        Entries<P> list;
        std::vector<Vec3d> coords;
#pragma omp for schedule(dynamic, 1)
        for (long long i = 0; i < n; ++i) {
            if (control.aborted()) continue;
            control.addProgress(step);
            list.clear();
            tree.collectWithin(alg3D::coords(begin[i]), r, list);
            if (list.size() < 3) {
                out[i] = Vec3f(0.0f, 0.0f, 0.0f);
                continue;
            }
            copyCoordinates<P>(tree, list, coords);
            out[i] = toFloat(analyseNeighbourhood(coords).normal);
        }
    }
    if (!control.aborted()) control.setProgress(100.0f);
}

template <typename P>
Vec3f normalKNearestAt(const KdTree<P>& tree, const Vec3d& q, std::size_t k,
                       std::vector<Vec3d>* neighbourhood) {
    if (neighbourhood) neighbourhood->clear();
    if (tree.size() < 3 || k < 3) return Vec3f(0.0f, 0.0f, 0.0f);
    thread_local Entries<P> list;
    thread_local std::vector<Vec3d> coords;
    // Carried from call to call, as normalsKNearest carries it from point to point: the
    // callers ask for nearby points of one tree. It only affects the speed.
    thread_local double hint = 0.0;
    thread_local const void* hintTree = nullptr;
    if (hintTree != &tree) hint = 0.0, hintTree = &tree;
    std::vector<Vec3d>& out = neighbourhood ? *neighbourhood : coords;
    out.clear();
    return adaptiveNormal(tree, q, std::min(k, tree.size()), hint, list, out);
}

template <typename P>
void normalsKNearest(const ProcessControl& control, const P* begin, const P* end, Vec3f* out,
                     std::size_t k) {
    const long long n = (begin && end > begin) ? static_cast<long long>(end - begin) : 0;
    if (n < 3 || k < 3) {
        for (long long i = 0; i < n; ++i)
            out[i] = Vec3f(0.0f, 0.0f, 0.0f);
        control.setProgress(100.0f);
        return;
    }
    KdTree<P> tree;
    tree.build(begin, end, control.abort);
    if (!tree.built()) return;
    k = std::min(k, static_cast<std::size_t>(n));
    const float step = 100.0f / static_cast<float>(n);
#pragma omp parallel num_threads(control.teamSize())
    {
        Entries<P> list;
        std::vector<Vec3d> coords;
        double hint = 0.0;
#pragma omp for schedule(dynamic, 1)
        for (long long i = 0; i < n; ++i) {
            if (control.aborted()) continue;
            control.addProgress(step);
            out[i] = adaptiveNormal(tree, alg3D::coords(begin[i]), k, hint, list, coords);
        }
    }
    if (!control.aborted()) control.setProgress(100.0f);
}

template <typename P>
void normalsAuto(const ProcessControl& control, const P* begin, const P* end, Vec3f* out) {
    const std::size_t n = (begin && end > begin) ? static_cast<std::size_t>(end - begin) : 0;
    if (n <= kNormalsAutoMaxPointwise) {
        normalsKNearest(control, begin, end, out, kNormalsAutoK);
        return;
    }
    KdTree<P> tree;
    tree.build(begin, end, control.abort);
    if (!tree.built()) return;
    std::vector<typename KdTree<P>::Subtree> blocks;
    tree.collectSubtrees(kNormalsAutoDepth, blocks);
    const long long count = static_cast<long long>(blocks.size());
    const float step = 100.0f / static_cast<float>(std::max<long long>(count, 1));
    const std::size_t k = std::min(n, kNormalsAutoK);
#pragma omp parallel num_threads(control.teamSize())
    {
        Entries<P> list;
        std::vector<Vec3d> coords;
        double hint = 0.0;
#pragma omp for schedule(dynamic, 1)
        for (long long b = 0; b < count; ++b) {
            if (control.aborted()) continue;
            control.addProgress(step);
            const auto& block = blocks[static_cast<std::size_t>(b)];
            const Vec3f normal =
                adaptiveNormal(tree, alg3D::coords(*block.split), k, hint, list, coords);
            for (std::size_t pos = block.begin; pos < block.end; ++pos)
                out[tree.elementIndex(pos)] = normal;
        }
    }
    if (!control.aborted()) control.setProgress(100.0f);
}

template <typename P>
void calcNormals(ParamNormals<P>& param) {
    switch (param.mode) {
        case kNormalsRadius:
            normalsRadius(param.control, param.begin, param.end, param.out, param.radius);
            break;
        case kNormalsPointNumber:
            normalsKNearest(param.control, param.begin, param.end, param.out,
                            static_cast<std::size_t>(param.pointNumber));
            break;
        default:
            normalsAuto(param.control, param.begin, param.end, param.out);
            break;
    }
}

#define TESSARO_INSTANTIATE_NORMALS(P)                                                         \
    template void calcNormals<P>(ParamNormals<P>&);                                            \
    template void normalsAuto<P>(const ProcessControl&, const P*, const P*, Vec3f*);           \
    template void normalsRadius<P>(const ProcessControl&, const P*, const P*, Vec3f*, double); \
    template void normalsKNearest<P>(const ProcessControl&, const P*, const P*, Vec3f*,        \
                                     std::size_t);                                             \
    template Vec3f normalKNearestAt<P>(const KdTree<P>&, const Vec3d&, std::size_t,            \
                                       std::vector<Vec3d>*);
TESSARO_INSTANTIATE_NORMALS(Vec3d)
TESSARO_INSTANTIATE_NORMALS(GLPoint)
#undef TESSARO_INSTANTIATE_NORMALS

}  // namespace algorithm
}  // namespace alg3D
