#include "alg3D/algorithm/SurfaceFeatures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "alg3D/algorithm/KdTree.h"
#include "alg3D/matrix/ColorScale.h"
#include "alg3D/matrix/PointStatistics.h"

namespace alg3D {
namespace algorithm {

namespace {

constexpr double kPi = 3.141592653589793;

// Solves the symmetric 4x4 system a·x = b by Gaussian elimination with partial
// pivoting; false when it is singular.
bool solve4(double a[4][4], double b[4], double x[4]) {
    for (int c = 0; c < 4; ++c) {
        int pivot = c;
        for (int r = c + 1; r < 4; ++r)
            if (std::abs(a[r][c]) > std::abs(a[pivot][c])) pivot = r;
        if (!(std::abs(a[pivot][c]) > 1e-300)) return false;
        if (pivot != c) {
            for (int k = 0; k < 4; ++k)
                std::swap(a[c][k], a[pivot][k]);
            std::swap(b[c], b[pivot]);
        }
        for (int r = c + 1; r < 4; ++r) {
            const double f = a[r][c] / a[c][c];
            for (int k = c; k < 4; ++k)
                a[r][k] -= f * a[c][k];
            b[r] -= f * b[c];
        }
    }
    for (int r = 3; r >= 0; --r) {
        double s = b[r];
        for (int k = r + 1; k < 4; ++k)
            s -= a[r][k] * x[k];
        x[r] = s / a[r][r];
    }
    return std::isfinite(x[0]) && std::isfinite(x[1]) && std::isfinite(x[2]) && std::isfinite(x[3]);
}

// Least-squares sphere by Gauss-Newton on the residuals |p - c| - R; 0 when the
// points are degenerate (all within 1e-6 of their centroid) or a step is singular.
double fitSphereRadius(const std::vector<Vec3d>& n) {
    const std::size_t m = n.size();
    Vec3d c(0.0, 0.0, 0.0);
    for (const Vec3d& p : n)
        c += p;
    c /= static_cast<double>(m);
    double sum2 = 0.0, largest = 0.0;
    for (const Vec3d& p : n) {
        const double d2 = (p - c).squaredNorm();
        sum2 += d2;
        largest = std::max(largest, d2);
    }
    double radius = std::sqrt(sum2 / static_cast<double>(m));
    if (std::sqrt(largest) < 1e-6 || radius < 1e-6) return 0.0;
    for (int iteration = 0; iteration < 50; ++iteration) {
        // Normal equations JᵀJ·δ = -Jᵀr with the parameters (cx, cy, cz, R).
        double a[4][4] = {};
        double g[4] = {};
        for (const Vec3d& p : n) {
            const Vec3d d = p - c;
            const double len = d.norm();
            if (!(len > 0.0)) continue;  // a point at the centre has no gradient
            const double j[4] = {-d.x / len, -d.y / len, -d.z / len, -1.0};
            const double res = len - radius;
            for (int r = 0; r < 4; ++r) {
                g[r] -= j[r] * res;
                for (int k = 0; k < 4; ++k)
                    a[r][k] += j[r] * j[k];
            }
        }
        double delta[4];
        if (!solve4(a, g, delta)) break;
        c += Vec3d(delta[0], delta[1], delta[2]);
        radius += delta[3];
        const double stepLength = std::sqrt(delta[0] * delta[0] + delta[1] * delta[1] +
                                            delta[2] * delta[2] + delta[3] * delta[3]);
        if (stepLength < 1e-6) break;
    }
    return std::abs(radius);
}

// From the tree's keys (tree order, mostly in cache), not through the element pointers.
template <typename P>
void copyNeighbours(const KdTree<P>& tree, const std::vector<const KdEntry<P>*>& list,
                    std::vector<Vec3d>& out) {
    out.resize(list.size());
    for (std::size_t i = 0; i < list.size(); ++i) {
        const KdKey& k = tree.keyAt(tree.positionOf(list[i]));
        out[i] = Vec3d(k.v[0], k.v[1], k.v[2]);
    }
}

}  // namespace

double localEdges(const std::vector<Vec3d>& n, const Vec3d& x, double r) {
    if (n.empty() || !(r > 1e-8)) return 0.0;
    const double narrow = r / 4.5;
    Vec3d wide(0.0, 0.0, 0.0), close(0.0, 0.0, 0.0);
    double sw = 0.0, sv = 0.0;
    for (const Vec3d& p : n) {
        const double d2 = (p - x).squaredNorm();
        const double w = std::exp(-d2 / r);
        wide += w * p;
        sw += w;
        if (d2 <= narrow) {
            const double v = std::exp(-d2 / narrow);
            close += v * p;
            sv += v;
        }
    }
    if (sw <= 1e-8 || sv <= 1e-8) return 0.0;
    return (wide / sw - close / sv).norm();
}

double localPointDensity(const std::vector<Vec3d>& n, const Vec3d&, double r) {
    if (n.empty() || !(r > 1e-8) || kPi * r * r < 1e-8) return 0.0;
    return static_cast<double>(n.size()) / (kPi * r * r);
}

double intrinsicCurvature(const std::vector<Vec3d>& n, const Vec3d&, double r) {
    if (n.size() < 3 || !(r > 1e-8)) return 0.0;
    const Vec3d w = analyseNeighbourhood(n).singularValues;
    if (w.x <= 1e-8) return 0.0;
    return 3.0 * w.z / (w.x + w.y + w.z);
}

double extrinsicCurvature(const std::vector<Vec3d>& n, const Vec3d&, double r) {
    if (n.size() < 4 || !(r > 1e-8)) return 0.0;
    const double radius = fitSphereRadius(n);
    return radius > 0.25 * r ? 1.0 / radius : 0.0;
}

double featureValue(int feature, const std::vector<Vec3d>& n, const Vec3d& x, double r) {
    switch (feature) {
        case kFeatureDensity:
            return localPointDensity(n, x, r);
        case kFeatureIntrinsicCurvature:
            return intrinsicCurvature(n, x, r);
        case kFeatureExtrinsicCurvature:
            return extrinsicCurvature(n, x, r);
        default:
            return localEdges(n, x, r);
    }
}

template <typename P>
void calcEdges(ParamEdges<P>& param) {
    const ProcessControl& control = param.control;
    const P* begin = param.begin;
    const long long n =
        (begin && param.end > begin) ? static_cast<long long>(param.end - begin) : 0;
    if (n == 0) {
        control.setProgress(100.0f);
        return;
    }
    const bool radiusKernel = param.kernelMode == kKernelRadius;
    std::size_t k = param.kernelMode == kKernelPointNumber
                        ? static_cast<std::size_t>(param.pointNumber)
                        : kFeaturesAutoK;
    if (!radiusKernel && (n < 3 || k < 3)) {
        std::fill(param.out, param.out + n, 0.0);
        control.setProgress(100.0f);
        return;
    }
    KdTree<P> tree;
    tree.build(begin, param.end, control.abort);
    if (!tree.built()) return;
    k = std::min(k, static_cast<std::size_t>(n));
    const float step = 100.0f / static_cast<float>(n);
    const double r = param.radius + 1e-6;
    const int feature = param.feature;
    double* out = param.out;
#pragma omp parallel num_threads(control.teamSize())
    {
        std::vector<const KdEntry<P>*> list;
        std::vector<Vec3d> nb;
        double hint = std::numeric_limits<double>::max();
#pragma omp for schedule(dynamic, 1)
        for (long long i = 0; i < n; ++i) {
            if (control.aborted()) continue;
            control.addProgress(step);
            const Vec3d x = alg3D::coords(begin[i]);
            if (radiusKernel) {
                list.clear();
                tree.collectWithin(x, r, list);
                copyNeighbours<P>(tree, list, nb);
                out[i] = featureValue(feature, nb, x, r);
            } else {
                // The function gets the radius of this point's own neighbourhood; the
                // hint only speeds up the next search.
                const double f = tree.findKNearest(x, k, hint, list);
                copyNeighbours<P>(tree, list, nb);
                out[i] = featureValue(feature, nb, x, f);
                if (f > 1e-8) hint = f;
            }
        }
    }
    if (!control.aborted()) control.setProgress(100.0f);
}

FeatureEvaluation evaluateFeatures(const std::vector<double>& values) {
    FeatureEvaluation e;
    const std::size_t n = values.size();
    e.colors.assign(n, colorScale(0.0, 240.0));
    if (n == 0) return e;
    std::vector<double> sorted(values);
    std::sort(sorted.begin(), sorted.end());
    e.minimum = sorted.front();
    e.maximum = sorted.back();
    e.median = sorted[n / 2];
    const MeanAndDeviation md = meanAndStdDev(sorted);
    e.mean = md.mean;
    e.stdDev = md.sigma;
    e.low = e.mean - 3.0 * e.stdDev;
    e.high = e.mean + 3.0 * e.stdDev;
    if (e.minimum > e.low) {
        e.low = e.minimum;
    } else if (e.maximum < e.high) {
        e.high = e.maximum;
    }
    const double range = std::abs(e.high - e.low);
    if (range > 1e-8) {
        const long long count = static_cast<long long>(n);
#pragma omp parallel for schedule(static) if (count > 100000)
        for (long long i = 0; i < count; ++i) {
            const double a = std::clamp((values[i] - e.low) / range, 0.0, 1.0);
            e.colors[i] = colorScale(a, 240.0);
        }
    }
    return e;
}

std::string formatFeatureNumber(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

std::string featureStatisticsText(const FeatureEvaluation& e, const std::string& duration) {
    return "min.: " + formatFeatureNumber(e.minimum) + "\nmax.: " + formatFeatureNumber(e.maximum) +
           "\nmean: " + formatFeatureNumber(e.mean) + "\nmedian: " + formatFeatureNumber(e.median) +
           "\nstdDev.: " + formatFeatureNumber(e.stdDev) + "\nduration: " + duration;
}

template void calcEdges<Vec3d>(ParamEdges<Vec3d>&);
template void calcEdges<GLPoint>(ParamEdges<GLPoint>&);

}  // namespace algorithm
}  // namespace alg3D
