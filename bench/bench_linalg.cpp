// Linear algebra kernels: the 3x3 SVD of covariance matrices (normals,
// registration), the normal-equation solve of the fits (7 unknowns), forming
// JᵀJ over a million rows, a minimax step of a Chebyshev fit, and the point
// statistics over a million points.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "alg3D/matrix/DMatrix.h"
#include "alg3D/matrix/LinearMinimax.h"
#include "alg3D/matrix/PointStatistics.h"
#include "alg3D/matrix/SVD.h"

using namespace alg3D;

namespace {

std::vector<Matrix3x3d> covarianceMatrices(std::size_t count) {
    std::mt19937_64 rng(1);
    std::normal_distribution<double> g;
    std::vector<Matrix3x3d> out(count);
    for (Matrix3x3d& m : out) {
        Matrix3x3d x;
        for (std::size_t k = 0; k < 9; ++k)
            x[k] = g(rng);
        m = x * x.transposed();
    }
    return out;
}

DMatrix randomMatrix(std::uint64_t rows, std::uint64_t cols, std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> g;
    DMatrix m(rows, cols);
    for (std::uint64_t k = 0; k < m.size(); ++k)
        m[k] = g(rng);
    return m;
}

std::vector<Vec3d> randomPoints(std::size_t n) {
    std::mt19937_64 rng(3);
    std::normal_distribution<double> g;
    std::vector<Vec3d> pts(n);
    for (Vec3d& p : pts)
        p = Vec3d(100 + g(rng), -50 + 2 * g(rng), 10 + 0.1 * g(rng));
    return pts;
}

void BM_Svd3x3(benchmark::State& state) {
    const std::vector<Matrix3x3d> ms = covarianceMatrices(1024);
    std::size_t i = 0;
    for (auto _ : state) {
        Matrix3x3d u, v;
        Vec3d w;
        svd(ms[i++ & 1023], u, w, v);
        benchmark::DoNotOptimize(w);
        benchmark::DoNotOptimize(u);
        benchmark::DoNotOptimize(v);
    }
}
BENCHMARK(BM_Svd3x3);

void BM_SvdSolve(benchmark::State& state) {
    const std::uint64_t n = std::uint64_t(state.range(0));
    const DMatrix j = randomMatrix(10 * n, n, 2);
    const DMatrix normal = transposedProduct(j, j);
    const DMatrix rhs = randomMatrix(n, 1, 4);
    for (auto _ : state)
        benchmark::DoNotOptimize(svdSolve(normal, rhs, 1e-6));
}
BENCHMARK(BM_SvdSolve)->Arg(3)->Arg(7)->Arg(12);

void BM_TransposedProduct(benchmark::State& state) {
    const DMatrix j = randomMatrix(1000000, 7, 5);
    const DMatrix r = randomMatrix(1000000, 1, 6);
    for (auto _ : state) {
        benchmark::DoNotOptimize(transposedProduct(j, j));
        benchmark::DoNotOptimize(transposedProduct(j, r));
    }
}
BENCHMARK(BM_TransposedProduct)->Unit(benchmark::kMillisecond);

void BM_LinearMinimax(benchmark::State& state) {
    // A damped plane step on a hull of a few hundred vertices: 5 unknowns plus
    // their damping rows.
    const std::uint64_t rows = std::uint64_t(state.range(0));
    DMatrix a = randomMatrix(rows + 5, 5, 7);
    for (std::uint64_t k = 0; k < 5; ++k) {
        for (std::uint64_t c = 0; c < 5; ++c)
            a(rows + k, c) = 0.0;
        a(rows + k, k) = 0.1;
    }
    const DMatrix b = randomMatrix(rows + 5, 1, 8);
    for (auto _ : state) {
        DMatrix h;
        benchmark::DoNotOptimize(linearMinimax(a, b, h));
    }
}
BENCHMARK(BM_LinearMinimax)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_CentroidAndCovariance(benchmark::State& state) {
    const std::vector<Vec3d> pts = randomPoints(1000000);
    for (auto _ : state) {
        const Vec3d c = centroid(pts);
        benchmark::DoNotOptimize(covariance(pts, c));
    }
}
BENCHMARK(BM_CentroidAndCovariance)->Unit(benchmark::kMillisecond);

void BM_MeanAndStdDev(benchmark::State& state) {
    const DMatrix v = randomMatrix(std::uint64_t(state.range(0)), 1, 9);
    for (auto _ : state)
        benchmark::DoNotOptimize(meanAndStdDev(v.data(), v.data() + v.size()));
}
BENCHMARK(BM_MeanAndStdDev)->Arg(1000000)->Arg(2000000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
