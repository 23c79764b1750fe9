// Least-squares cylinder and sphere fits to 1,000,000 and 10,000,000 noisy points, from
// the program's own estimate, with the workbench's default method ("Gauss":
// Levenberg-Marquardt) on the worker entry fitGeometry, as the fit command runs them.
// Reported: the mean wall time per fit, the best of the runs (best_ms), the iterations it
// took, and the wall and processor time per point per iteration of the best run (the cost
// must grow linearly with the points: a fit of 10M points within 11 times the time of 1M).
//
// BM_FitAbort: the time from setting the abort flag (`delay` ms into a plane or cylinder
// fit of 10,000,000 points on a worker thread) until the worker has ended and is joined
// (abort_ms), the fit's own part of the window's "Abort".
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <exception>
#include <limits>
#include <random>
#include <thread>
#include <vector>

#include "alg3D/approximate/FitFramework.h"
#include "alg3D/approximate/FitObjCylinder.h"
#include "alg3D/approximate/FitObjPlane.h"
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

// A tilted plane patch of 200 x 100 with the same noise.
std::vector<Vec3d> planePoints(std::size_t n) {
    std::mt19937_64 rng(9);
    std::uniform_real_distribution<double> s(-100.0, 100.0), t(-50.0, 50.0);
    std::normal_distribution<double> noise(0.0, 0.05);
    const Vec3d normal = Vec3d(0.1, 0.2, 0.97).normalized();
    const Vec3d u = Vec3d(1.0, 0.0, 0.0).cross(normal).normalized();
    const Vec3d v = normal.cross(u);
    std::vector<Vec3d> pts(n);
    for (Vec3d& p : pts)
        p = Vec3d(50.0, 20.0, -10.0) + s(rng) * u + t(rng) * v + noise(rng) * normal;
    return pts;
}

template <class FitObj>
void runAbort(benchmark::State& state, const std::vector<Vec3d>& pts) {
    const auto delay = std::chrono::milliseconds(state.range(0));
    double worst = 0.0;
    for (auto _ : state) {
        FitObj fit;
        ParamFitGeometry<FitObj, Vec3d> param;
        param.method = kLevenbergMarquardt;
        param.begin = pts.data();
        param.end = pts.data() + pts.size();
        param.fitObj = &fit;
        std::atomic<bool> finished{false};
        std::exception_ptr error;
        std::thread worker([&] { fitGeometry(param, finished, error); });
        const auto start = std::chrono::steady_clock::now();
        while (!finished.load() && std::chrono::steady_clock::now() - start < delay)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const bool endedFirst = finished.load();
        const auto aborted = std::chrono::steady_clock::now();
        param.abort = true;
        while (!finished.load())
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        worker.join();
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - aborted).count();
        if (endedFirst || error) {
            state.SkipWithError(endedFirst ? "the fit ended before the abort" : "the fit failed");
            return;
        }
        state.SetIterationTime(seconds);
        worst = std::max(worst, seconds);
    }
    state.counters["worst_abort_ms"] = worst * 1e3;
}

void BM_FitAbortPlane(benchmark::State& state) {
    static const std::vector<Vec3d> pts = planePoints(10000000);
    runAbort<FitObjPlane>(state, pts);
}

void BM_FitAbortCylinder(benchmark::State& state) {
    static const std::vector<Vec3d> pts = cylinderPoints(10000000);
    runAbort<FitObjCylinder>(state, pts);
}

template <class FitObj>
void runFit(benchmark::State& state, const std::vector<Vec3d>& pts) {
    // The best of the runs: on a shared machine the other processes only ever add time.
    double best = std::numeric_limits<double>::infinity();
    double bestCpu = std::numeric_limits<double>::infinity();
    std::uint64_t iterations = 0;
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
        const std::clock_t cpuStart = std::clock();
        fitGeometry(param, finished, error);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double cpuSeconds =
            static_cast<double>(std::clock() - cpuStart) / static_cast<double>(CLOCKS_PER_SEC);
        if (error) {
            state.SkipWithError("the fit failed");
            return;
        }
        best = std::min(best, seconds);
        bestCpu = std::min(bestCpu, cpuSeconds);
        iterations = param.iterations;
        benchmark::DoNotOptimize(fit);
    }
    state.counters["points"] = static_cast<double>(pts.size());
    state.counters["iterations"] = static_cast<double>(iterations);
    state.counters["best_ms"] = best * 1e3;
    const double pointIterations =
        static_cast<double>(pts.size()) * static_cast<double>(iterations > 0 ? iterations : 1);
    state.counters["ns_per_point_iteration"] = best * 1e9 / pointIterations;
    // Processor time of all threads: unlike the wall time, it does not grow while other
    // processes hold the cores.
    state.counters["cpu_ns_per_point_iteration"] = bestCpu * 1e9 / pointIterations;
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
BENCHMARK(BM_FitAbortPlane)
    ->Arg(300)
    ->Arg(1000)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);
BENCHMARK(BM_FitAbortCylinder)
    ->Arg(300)
    ->Arg(1000)
    ->Arg(3000)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);
BENCHMARK(BM_FitSphere)
    ->Arg(1000000)
    ->Arg(10000000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

int main(int argc, char** argv) {
    // Every run takes its large buffers (Jacobian, residuals) fresh from the system, as the
    // first fit in a process does. Otherwise the C library keeps freed blocks of up to
    // 32 MB for the next run, so repeated 1M-point fits would skip the page faults that
    // every 10M-point fit pays, and comparing the two sizes would measure the allocator.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
