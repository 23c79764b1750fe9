#include "alg3D/algorithm/Distances.h"

#include <omp.h>

#include <algorithm>
#include <cmath>

#include "alg3D/algorithm/KdTree.h"

namespace alg3D {
namespace algorithm {
namespace {

// Points per progress step: one atomic add per block keeps the counter off the hot path.
constexpr std::ptrdiff_t kBlock = 256;

void addProgress(std::atomic<float>& target, float value) {
    float current = target.load(std::memory_order_relaxed);
    while (!target.compare_exchange_weak(current, current + value, std::memory_order_relaxed)) {
    }
}

int threadsOf(const DistanceControl& c) {
    return c.threads > 0 ? c.threads : omp_get_num_procs();
}

// Runs body(i) for every test index in blocks on the control's threads, stopping when
// the abort flag is set.
template <typename Body>
void forEachTestPoint(DistanceControl& control, std::ptrdiff_t n, const Body& body) {
    if (n <= 0) return;
    const std::ptrdiff_t blocks = (n + kBlock - 1) / kBlock;
    const float step = 100.0f / static_cast<float>(n);
#pragma omp parallel for schedule(dynamic, 1) num_threads(threadsOf(control))
    for (std::ptrdiff_t b = 0; b < blocks; ++b) {
        if (control.abort.load(std::memory_order_relaxed)) continue;
        const std::ptrdiff_t first = b * kBlock;
        const std::ptrdiff_t last = std::min(n, first + kBlock);
        for (std::ptrdiff_t i = first; i < last; ++i)
            body(i);
        addProgress(control.progress, step * static_cast<float>(last - first));
    }
}

}  // namespace

template <typename P, typename Q>
void calcDistancesPts2Pts(ParamDistances<P, Q>& param) {
    param.control.progress.store(0.0f);
    const std::ptrdiff_t n = param.testEnd - param.testBegin;
    std::vector<double>& out = *param.result;
    out.assign(static_cast<std::size_t>(std::max<std::ptrdiff_t>(n, 0)), kDistanceUnset);
    KdTree<P> tree;
    if (param.referenceEnd > param.referenceBegin)
        tree.build(param.referenceBegin, param.referenceEnd);
    const double maxDistance = param.maxDistance;
    const Q* test = param.testBegin;
    forEachTestPoint(param.control, n, [&](std::ptrdiff_t i) {
        const Vec3d q = coords(test[i]);
        const P* found = tree.findNearest(q, maxDistance);
        out[static_cast<std::size_t>(i)] = found ? (coords(*found) - q).norm() : kDistanceNoPartner;
    });
    if (!param.control.abort.load()) param.control.progress.store(100.0f);
}

template <typename T, typename P>
void calcDistancesMesh(ParamDistances2Mesh<T, P>& param) {
    param.control.progress.store(0.0f);
    const std::ptrdiff_t n = param.testEnd - param.testBegin;
    std::vector<double>& out = *param.result;
    out.assign(static_cast<std::size_t>(std::max<std::ptrdiff_t>(n, 0)), kDistanceUnset);
    KdTree<T> tree;
    if (param.triangleEnd > param.triangleBegin) tree.build(param.triangleBegin, param.triangleEnd);
    const double maxDistance = param.maxDistance;
    const P* test = param.testBegin;
    forEachTestPoint(param.control, n, [&](std::ptrdiff_t i) {
        const Vec3d q = coords(test[i]);
        Vec3d closest;
        bool front = true;
        if (tree.findClosestOnMesh(q, maxDistance, closest, front)) {
            const double d = (closest - q).norm();
            out[static_cast<std::size_t>(i)] = front ? d : -d;
        }
    });
    if (!param.control.abort.load()) param.control.progress.store(100.0f);
}

std::vector<KdTriangleProxy<Vec3d>> makeTriangleProxies(const std::vector<Vec3d>& corners) {
    std::vector<KdTriangleProxy<Vec3d>> proxies;
    const std::size_t triangles = corners.size() / 3;
    proxies.reserve(triangles);
    for (std::size_t t = 0; t < triangles; ++t) {
        proxies.emplace_back(&corners[3 * t], &corners[3 * t + 1], &corners[3 * t + 2]);
    }
    return proxies;
}

template void calcDistancesPts2Pts(ParamDistances<Vec3d, Vec3d>&);
template void calcDistancesPts2Pts(ParamDistances<Vec3d, GLPoint>&);
template void calcDistancesPts2Pts(ParamDistances<GLPoint, Vec3d>&);
template void calcDistancesPts2Pts(ParamDistances<GLPoint, GLPoint>&);
template void calcDistancesMesh(ParamDistances2Mesh<KdTriangleProxy<Vec3d>, Vec3d>&);
template void calcDistancesMesh(ParamDistances2Mesh<KdTriangleProxy<Vec3d>, GLPoint>&);

}  // namespace algorithm
}  // namespace alg3D
