#include "alg3D/algorithm/Smoothing.h"

#include <cmath>

#include "alg3D/algorithm/KdTree.h"

namespace alg3D {
namespace algorithm {

Vec3d smoothGauss(const std::vector<Vec3d>& n, const Vec3d& x, double r) {
    if (n.empty() || !(r > 1e-8)) return x;
    Vec3d sum(0.0, 0.0, 0.0);
    double sw = 0.0;
    for (const Vec3d& p : n) {
        const double w = std::exp(-(x - p).squaredNorm() / r);
        sum += w * p;
        sw += w;
    }
    return sw > 1e-6 ? sum / sw : x;
}

namespace {

// The Gauss mean m, the neighbourhood's axes and x projected onto the plane
// through m across the smallest axis.
struct Projection {
    Vec3d mean;
    NeighbourhoodAxes axes;
    Vec3d projected;
};

Projection project(const std::vector<Vec3d>& n, const Vec3d& x, double r) {
    Projection p;
    p.mean = smoothGauss(n, x, r);
    p.axes = analyseNeighbourhood(n);
    const Vec3d& normal = p.axes.normal;
    p.projected = x - ((x - p.mean).dot(normal)) * normal;
    return p;
}

}  // namespace

Vec3d smoothShapePreserving(const std::vector<Vec3d>& n, const Vec3d& x, double r) {
    if (n.empty() || !(r > 1e-8)) return x;
    if (n.size() < 3) return smoothGauss(n, x, r);
    return project(n, x, r).projected;
}

Vec3d smoothFeaturePreserving(const std::vector<Vec3d>& n, const Vec3d& x, double r) {
    if (n.size() < 3 || !(r > 1e-8)) return x;
    const Projection p = project(n, x, r);
    const Vec3d& w = p.axes.singularValues;
    double d = 0.0;
    if (w.x > 1e-8) {
        const double sigma = 3.0 * w.z / (w.x + w.y + w.z);
        d = sigma < 0.1 ? std::pow(sigma, 0.25) : 0.975;
    }
    return d * x + (1.0 - d) * p.projected;
}

template <typename P>
void calcSmoothing(ParamSmoothing<P>& param) {
    const ProcessControl& control = param.control;
    const P* begin = param.begin;
    const long long n =
        (begin && param.end > begin) ? static_cast<long long>(param.end - begin) : 0;
    Vec3d* out = param.out;
#pragma omp parallel for schedule(static) num_threads(control.teamSize()) if (n > 100000)
    for (long long i = 0; i < n; ++i)
        out[i] = Vec3d(begin[i].x, begin[i].y, begin[i].z);
    if (n < 2) {
        control.setProgress(100.0f);
        return;
    }
    Vec3d (*function)(const std::vector<Vec3d>&, const Vec3d&, double) = smoothGauss;
    if (param.function == kSmoothShapePreserving) function = smoothShapePreserving;
    if (param.function == kSmoothFeaturePreserving) function = smoothFeaturePreserving;

    KdTree<P> tree;
    tree.build(begin, param.end, control.abort);
    if (!tree.built()) return;
    const float step = 100.0f / static_cast<float>(n);
    const double r = param.radius;
#pragma omp parallel num_threads(control.teamSize())
    {
        std::vector<const KdEntry<P>*> list;
        std::vector<Vec3d> nb;
#pragma omp for schedule(dynamic, 1)
        for (long long i = 0; i < n; ++i) {
            if (control.aborted()) continue;
            control.addProgress(step);
            const Vec3d x = alg3D::coords(begin[i]);
            list.clear();
            tree.collectWithin(x, r + 1e-6, list);
            nb.resize(list.size());
            for (std::size_t j = 0; j < list.size(); ++j) {
                const KdKey& k = tree.keyAt(tree.positionOf(list[j]));
                nb[j] = Vec3d(k.v[0], k.v[1], k.v[2]);
            }
            out[i] = function(nb, x, r);
        }
    }
    if (!control.aborted()) control.setProgress(100.0f);
}

template void calcSmoothing<Vec3d>(ParamSmoothing<Vec3d>&);
template void calcSmoothing<GLPoint>(ParamSmoothing<GLPoint>&);

}  // namespace algorithm
}  // namespace alg3D
