// Convex hull against qhull in the same run: 1,000,000 random points in a ball and
// 100,000 on a sphere (every point a vertex: the hard case). Target: ours/qhull <= 1.5.
// Also the Chebyshev plane and cylinder on 100,000 points: time and iterations.
// Reported counters: vertices of the hull; iterations of the Chebyshev fits.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cmath>
#include <random>
#include <vector>

#include "HullTestUtils.h"
#include "alg3D/approximate/ChebyshevFit.h"
#include "alg3D/approximate/ConvexHull.h"
#include "alg3D/approximate/FitObjCylinder.h"
#include "alg3D/approximate/FitObjPlane.h"

using namespace alg3D;
using namespace alg3D::approximate;

namespace {

constexpr double kPi = 3.141592653589793;

const std::vector<Vec3d>& ballPoints() {
    static const std::vector<Vec3d> points = [] {
        std::mt19937_64 rng(1);
        return hull_test::randomInBall(1000000, rng, 10.0);
    }();
    return points;
}

const std::vector<Vec3d>& spherePoints() {
    static const std::vector<Vec3d> points = [] {
        std::mt19937_64 rng(2);
        return hull_test::randomOnSphere(100000, rng, 10.0);
    }();
    return points;
}

void runOurs(benchmark::State& state, const std::vector<Vec3d>& points) {
    std::size_t vertices = 0;
    for (auto _ : state) {
        ConvexHull hull;
        hull.build(points.data(), points.size(), 1e-6);
        std::vector<Vec3d> v;
        std::vector<std::uint64_t> idx;
        hull.extract(v, idx, false);
        vertices = v.size();
        benchmark::DoNotOptimize(idx.data());
    }
    state.counters["vertices"] = static_cast<double>(vertices);
}

void runQhull(benchmark::State& state, const std::vector<Vec3d>& points) {
    std::size_t vertices = 0;
    for (auto _ : state) {
        const hull_test::QhullResult q = hull_test::qhullOf(points);
        vertices = q.vertices.size();
        benchmark::DoNotOptimize(q.volume);
    }
    state.counters["vertices"] = static_cast<double>(vertices);
}

void BM_HullBall1M(benchmark::State& s) {
    runOurs(s, ballPoints());
}
void BM_QhullBall1M(benchmark::State& s) {
    runQhull(s, ballPoints());
}
void BM_HullSphere100k(benchmark::State& s) {
    runOurs(s, spherePoints());
}
void BM_QhullSphere100k(benchmark::State& s) {
    runQhull(s, spherePoints());
}

BENCHMARK(BM_HullBall1M)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_QhullBall1M)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_HullSphere100k)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_QhullSphere100k)->Unit(benchmark::kMillisecond)->Iterations(5);

// 100,000 points of a plane 100 x 100 with uniform noise ±0.05.
void BM_ChebyshevPlane100k(benchmark::State& state) {
    std::mt19937_64 rng(3);
    std::uniform_real_distribution<double> u(-50.0, 50.0), e(-0.05, 0.05);
    std::vector<Vec3d> points;
    for (int i = 0; i < 100000; ++i)
        points.emplace_back(u(rng), u(rng), 0.3 * u(rng) / 50.0 + e(rng));
    std::uint64_t iterations = 0;
    for (auto _ : state) {
        FitObjPlane plane;
        std::atomic<bool> abort{false};
        std::atomic<float> progress{0.0f};
        iterations = approximateChebyshev(points.data(), points.data() + points.size(), plane, 100,
                                          abort, progress);
    }
    state.counters["iterations"] = static_cast<double>(iterations);
}
BENCHMARK(BM_ChebyshevPlane100k)->Unit(benchmark::kMillisecond)->Iterations(3);

// 100,000 points of a cylinder of radius 25, height 100, uniform noise ±0.05.
void BM_ChebyshevCylinder100k(benchmark::State& state) {
    std::mt19937_64 rng(4);
    std::uniform_real_distribution<double> t(0.0, 2 * kPi), h(-50.0, 50.0), e(-0.05, 0.05);
    std::vector<Vec3d> points;
    for (int i = 0; i < 100000; ++i) {
        const double a = t(rng), r = 25.0 + e(rng);
        points.emplace_back(r * std::cos(a), r * std::sin(a), h(rng));
    }
    std::uint64_t iterations = 0;
    for (auto _ : state) {
        FitObjCylinder cylinder;
        std::atomic<bool> abort{false};
        std::atomic<float> progress{0.0f};
        iterations = approximateChebyshev(points.data(), points.data() + points.size(), cylinder,
                                          100, abort, progress);
    }
    state.counters["iterations"] = static_cast<double>(iterations);
}
BENCHMARK(BM_ChebyshevCylinder100k)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
