// Superellipse start and fit on short point sets: the estimate on 80 points of a
// quarter arc (which runs the start search of partial arcs) against the estimate on
// 80 points of the full curve (no search) in the same run, and the whole
// Levenberg-Marquardt fit on the quarter arcs. Eight arcs of a superellipse with
// a = 10, b = 6 and shape factors 0.6 to 1.3 at different places on the curve, with
// Gaussian noise of 0.01 along the normal, are fitted in turn; reported is the mean
// wall time per arc (single thread: OMP_NUM_THREADS=1 gives figures that do not
// depend on the load of the machine).
#include <benchmark/benchmark.h>

#include <atomic>
#include <cmath>
#include <random>
#include <vector>

#include "alg3D/approximate/FitFramework.h"
#include "alg3D/approximate/FitObjSuperEllipse3D.h"

using namespace alg3D;
using namespace alg3D::approximate;

namespace {

constexpr double kPi = 3.141592653589793;

double signedPow(double v, double e) {
    return v < 0.0 ? -std::pow(-v, e) : std::pow(v, e);
}

// Eight point sets of `count` points over `span` radians of the curve parameter, each
// in a tilted plane far from the origin.
std::vector<std::vector<Vec3d>> arcs(double span, std::size_t count) {
    std::mt19937_64 rng(17);
    std::normal_distribution<double> noise(0.0, 0.01);
    std::uniform_real_distribution<double> uni(0.0, 2.0 * kPi);
    const Vec3d n = Vec3d(0.3, -0.2, 0.93).normalized();
    const Vec3d e1 = Vec3d(1.0, 0.0, 0.0).cross(n).normalized();
    const Vec3d e2 = n.cross(e1);
    const double factors[] = {0.6, 0.7, 0.8, 0.9, 1.0, 1.1, 1.2, 1.3};
    std::vector<std::vector<Vec3d>> sets;
    for (double k : factors) {
        const Vec3d centre(120.0, -40.0, 35.0);
        const double start = uni(rng);
        std::vector<Vec3d> pts;
        for (std::size_t i = 0; i < count; ++i) {
            const double t = start + span * (double(i) + 0.5) / double(count);
            const double c = std::cos(t), s = std::sin(t);
            const Vec3d p = centre + 10.0 * signedPow(c, k) * e1 + 6.0 * signedPow(s, k) * e2;
            const Vec3d g =
                (signedPow(c, 2.0 - k) / 10.0 * e1 + signedPow(s, 2.0 - k) / 6.0 * e2).normalized();
            pts.push_back(p + noise(rng) * g);
        }
        sets.push_back(pts);
    }
    return sets;
}

void runEstimate(benchmark::State& state, double span) {
    const auto sets = arcs(span, 80);
    std::size_t i = 0;
    for (auto _ : state) {
        const std::vector<Vec3d>& p = sets[i++ % sets.size()];
        FitObjSuperEllipse3D f;
        f.estimateInitial(p.data(), p.data() + p.size());
        benchmark::DoNotOptimize(f.a);
    }
}

void BM_SuperEllipseEstimateQuarterArc(benchmark::State& state) {
    runEstimate(state, 0.5 * kPi);
}

void BM_SuperEllipseEstimateFullCurve(benchmark::State& state) {
    runEstimate(state, 2.0 * kPi);
}

void BM_SuperEllipseFitQuarterArc(benchmark::State& state) {
    const auto sets = arcs(0.5 * kPi, 80);
    std::size_t i = 0;
    for (auto _ : state) {
        const std::vector<Vec3d>& p = sets[i++ % sets.size()];
        FitObjSuperEllipse3D f;
        const std::atomic<bool> abort{false};
        std::atomic<float> progress{0.0f};
        approximateLevenbergMarquardt(p.data(), p.data() + p.size(), f, 100, false, abort,
                                      progress);
        benchmark::DoNotOptimize(f.a);
    }
}

}  // namespace

BENCHMARK(BM_SuperEllipseEstimateQuarterArc)->Unit(benchmark::kMillisecond)->Iterations(16);
BENCHMARK(BM_SuperEllipseEstimateFullCurve)->Unit(benchmark::kMillisecond)->Iterations(16);
BENCHMARK(BM_SuperEllipseFitQuarterArc)->Unit(benchmark::kMillisecond)->Iterations(16);
BENCHMARK_MAIN();
