// Least-squares cylinder and sphere fits to 1,000,000 and 10,000,000 noisy points, from
// the program's own estimate, with the workbench's default method ("Gauss":
// Levenberg-Marquardt) on the worker entry fitGeometry, as the fit command runs them.
// Reported: wall time per fit, the iterations it took and the time per point per
// iteration (the cost must grow linearly with the points: a fit of 10M points within 11
// times the time of 1M).
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <exception>
#include <random>
#include <vector>

#include "alg3D/approximate/FitFramework.h"
#include "alg3D/approximate/FitObjCylinder.h"
#include "alg3D/approximate/FitObjSphere.h"

using namespace alg3D;
using namespace alg3D::approximate;

namespace {

constexpr double kPi = 3.141592653589793;

// A cylinder of radius 25 and height 100 about a tilted axis far from the origin, with
// Gaussian noise of 0.05 (0.2% of the radius) along the surface normal.
std::vector<Vec3d> cylinderPoints(std::size_t n) {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> angle(0.0, 2 * kPi), height(-50.0, 50.0);
    std::normal_distribution<double> noise(0.0, 0.05);
    const Vec3d axis = Vec3d(0.2, -0.3, 0.9).normalized();
    const Vec3d u = Vec3d(1.0, 0.0, 0.0).cross(axis).normalized();
    const Vec3d v = axis.cross(u);
    const Vec3d origin(300.0, -120.0, 45.0);
    std::vector<Vec3d> pts(n);
    for (Vec3d& p : pts) {
        const double t = angle(rng), r = 25.0 + noise(rng);
        p = origin + height(rng) * axis + (r * std::cos(t)) * u + (r * std::sin(t)) * v;
    }
    return pts;
}

// A sphere of radius 40 with the same noise.
std::vector<Vec3d> spherePoints(std::size_t n) {
    std::mt19937_64 rng(8);
    std::normal_distribution<double> g(0.0, 1.0), noise(0.0, 0.05);
    const Vec3d center(-80.0, 210.0, 15.0);
    std::vector<Vec3d> pts(n);
    for (Vec3d& p : pts) {
        Vec3d d(g(rng), g(rng), g(rng));
        while (d.norm() < 1e-9)
            d = Vec3d(g(rng), g(rng), g(rng));
        p = center + (40.0 + noise(rng)) * d.normalized();
    }
    return pts;
}

template <class FitObj>
void runFit(benchmark::State& state, const std::vector<Vec3d>& pts) {
    double seconds = 0.0;
    std::uint64_t iterations = 0;
    std::uint64_t runs = 0;
    for (auto _ : state) {
        FitObj fit;  // every parameter from the estimate
        ParamFitGeometry<FitObj, Vec3d> param;
        param.method = kLevenbergMarquardt;
        param.begin = pts.data();
        param.end = pts.data() + pts.size();
        param.fitObj = &fit;
        std::atomic<bool> finished{false};
        std::exception_ptr error;
        const auto start = std::chrono::steady_clock::now();
        fitGeometry(param, finished, error);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (error) {
            state.SkipWithError("the fit failed");
            return;
        }
        iterations = param.iterations;
        ++runs;
        benchmark::DoNotOptimize(fit);
    }
    const double perFit = runs > 0 ? seconds / static_cast<double>(runs) : 0.0;
    state.counters["points"] = static_cast<double>(pts.size());
    state.counters["iterations"] = static_cast<double>(iterations);
    state.counters["ns_per_point_iteration"] =
        perFit * 1e9 /
        (static_cast<double>(pts.size()) * static_cast<double>(iterations > 0 ? iterations : 1));
}

void BM_FitCylinder(benchmark::State& state) {
    const std::vector<Vec3d> pts = cylinderPoints(static_cast<std::size_t>(state.range(0)));
    runFit<FitObjCylinder>(state, pts);
}

void BM_FitSphere(benchmark::State& state) {
    const std::vector<Vec3d> pts = spherePoints(static_cast<std::size_t>(state.range(0)));
    runFit<FitObjSphere>(state, pts);
}

}  // namespace

BENCHMARK(BM_FitCylinder)
    ->Arg(1000000)
    ->Arg(10000000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);
BENCHMARK(BM_FitSphere)
    ->Arg(1000000)
    ->Arg(10000000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

BENCHMARK_MAIN();
