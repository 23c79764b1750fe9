// k-d tree against nanoflann on the same data: 1,000,000 points from a smooth
// closed surface with noise (a torus), a uniform random cube and an axis-parallel
// plane (z = const). Figures per data set: build time; 1,000,000 nearest-neighbour
// queries; 200,000 k-nearest queries (k = 30) without a hint and with the hint
// carried from the previous query of the same thread; 200,000 radius collections
// of about 30 neighbours. Queries run in an OpenMP loop on all cores for both
// trees. Each figure is the best of a few runs; the summary at the end gives
// ours / nanoflann.
#include <benchmark/benchmark.h>
#include <omp.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "NanoflannCloud.h"
#include "alg3D/algorithm/KdTree.h"
#include "alg3D/matrix/Matrix.h"

using alg3D::Vec3d;
using alg3D::algorithm::KdTree;

namespace {

using bench_support::CloudAdaptor;
using bench_support::NanoTree;

constexpr std::size_t kPoints = 1000000;
constexpr std::size_t kNearestQueries = 1000000;
constexpr std::size_t kKnnQueries = 200000;
constexpr std::size_t kRadiusQueries = 200000;
constexpr std::size_t kK = 30;
constexpr int kRuns = 3;
constexpr int kChunk = 64;
constexpr double kPi = 3.141592653589793;

struct DataSet {
    std::string name;
    std::vector<Vec3d> points;
    std::vector<Vec3d> queries;  // for the nearest-neighbour figure
    double radius30;             // radius with about 30 neighbours on average
};

// Torus (R = 0.5, r = 0.2) sampled uniformly by area, with normal noise; queries
// lie near the surface (noise 0.01).
std::vector<Vec3d> torus(std::size_t n, double noise, std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> angle(0.0, 2.0 * kPi), accept(0.0, 1.0);
    std::normal_distribution<double> jitter(0.0, noise);
    const double R = 0.5, r = 0.2;
    std::vector<Vec3d> pts;
    pts.reserve(n);
    while (pts.size() < n) {
        const double u = angle(rng), v = angle(rng);
        if (accept(rng) * (R + r) > R + r * std::cos(v)) continue;  // area weighting
        const double w = R + r * std::cos(v);
        pts.push_back(Vec3d(0.5 + w * std::cos(u) + jitter(rng),
                            0.5 + w * std::sin(u) + jitter(rng),
                            0.5 + r * std::sin(v) + jitter(rng)));
    }
    return pts;
}

std::vector<Vec3d> cube(std::size_t n, std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::vector<Vec3d> pts(n);
    for (Vec3d& p : pts)
        p = Vec3d(u(rng), u(rng), u(rng));
    return pts;
}

std::vector<Vec3d> plane(std::size_t n, double offset, std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0), dz(-offset, offset);
    std::vector<Vec3d> pts(n);
    for (Vec3d& p : pts)
        p = Vec3d(u(rng), u(rng), 0.5 + (offset > 0 ? dz(rng) : 0.0));
    return pts;
}

const std::vector<DataSet>& dataSets() {
    static const std::vector<DataSet> sets = [] {
        const double pi = kPi;
        const double torusArea = 4.0 * pi * pi * 0.5 * 0.2;
        std::vector<DataSet> s;
        s.push_back({"surface", torus(kPoints, 0.0005, 1), torus(kNearestQueries, 0.01, 2),
                     std::sqrt(kK * torusArea / (pi * kPoints))});
        s.push_back({"cube", cube(kPoints, 3), cube(kNearestQueries, 4),
                     std::cbrt(3.0 * kK / (4.0 * pi * kPoints))});
        s.push_back({"plane", plane(kPoints, 0.0, 5), plane(kNearestQueries, 0.01, 6),
                     std::sqrt(kK / (pi * kPoints))});
        return s;
    }();
    return sets;
}

// Best time per figure, in seconds, and a checksum of the answers.
struct Figure {
    double seconds = 1e300;
    double checksum = 0.0;
};
std::map<std::string, Figure>& figures() {
    static std::map<std::string, Figure> f;
    return f;
}
const char* kFigureNames[] = {"build", "nearest", "knn", "knn-hint", "radius"};

void record(benchmark::State& state, const std::string& key, double seconds, double checksum) {
    Figure& f = figures()[key];
    f.seconds = std::min(f.seconds, seconds);
    f.checksum = checksum;
    state.SetIterationTime(seconds);
    const std::string ours =
        key.substr(0, key.find('/')) + "/ours/" + key.substr(key.rfind('/') + 1);
    if (key.find("/nanoflann/") != std::string::npos && figures().count(ours))
        state.counters["ratio"] = figures()[ours].seconds / f.seconds;
}

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// -------------------------------------------------------------------- ours

struct OursFixture {
    KdTree<Vec3d, 3, 0> tree;
};

std::map<std::string, std::unique_ptr<OursFixture>>& oursTrees() {
    static std::map<std::string, std::unique_ptr<OursFixture>> t;
    return t;
}

KdTree<Vec3d, 3, 0>& oursTree(const DataSet& d) {
    auto& slot = oursTrees()[d.name];
    if (!slot) {
        slot = std::make_unique<OursFixture>();
        slot->tree.build(d.points.data(), d.points.data() + d.points.size());
    }
    return slot->tree;
}

void oursBuild(benchmark::State& state, const DataSet* d) {
    for (auto _ : state) {
        KdTree<Vec3d, 3, 0> tree;
        const double t0 = now();
        tree.build(d->points.data(), d->points.data() + d->points.size());
        const double t1 = now();
        record(state, d->name + "/ours/build", t1 - t0, double(tree.size()));
    }
}

void oursNearest(benchmark::State& state, const DataSet* d) {
    const auto& tree = oursTree(*d);
    const auto& q = d->queries;
    for (auto _ : state) {
        double sum = 0.0;
        const double t0 = now();
#pragma omp parallel for schedule(dynamic, kChunk) reduction(+ : sum)
        for (std::size_t i = 0; i < q.size(); ++i) {
            const Vec3d* p = tree.findNearest(q[i], 0.0);
            sum += (*p - q[i]).squaredNorm();
        }
        const double t1 = now();
        record(state, d->name + "/ours/nearest", t1 - t0, sum);
    }
}

void oursKnn(benchmark::State& state, const DataSet* d, bool carryHint) {
    const auto& tree = oursTree(*d);
    const auto& q = d->points;
    for (auto _ : state) {
        double sum = 0.0;
        const double t0 = now();
#pragma omp parallel reduction(+ : sum)
        {
            std::vector<const alg3D::algorithm::KdEntry<Vec3d>*> list;
            list.reserve(kK);
            double hint = 0.0;
#pragma omp for schedule(dynamic, kChunk)
            for (std::size_t i = 0; i < kKnnQueries; ++i) {
                const double g = tree.findKNearest(q[i], kK, hint, list);
                if (carryHint) hint = g;
                sum += g * g;
            }
        }
        const double t1 = now();
        record(state, d->name + "/ours/" + (carryHint ? "knn-hint" : "knn"), t1 - t0, sum);
    }
}

void oursRadius(benchmark::State& state, const DataSet* d) {
    const auto& tree = oursTree(*d);
    const auto& q = d->points;
    for (auto _ : state) {
        double count = 0.0;
        const double t0 = now();
#pragma omp parallel reduction(+ : count)
        {
            std::vector<const alg3D::algorithm::KdEntry<Vec3d>*> list;
#pragma omp for schedule(dynamic, kChunk)
            for (std::size_t i = 0; i < kRadiusQueries; ++i) {
                list.clear();
                tree.collectWithin(q[i], d->radius30, list);
                count += double(list.size());
            }
        }
        const double t1 = now();
        record(state, d->name + "/ours/radius", t1 - t0, count);
        state.counters["neighbours"] = count / double(kRadiusQueries);
    }
}

// -------------------------------------------------------------------- nanoflann

struct NanoFixture {
    CloudAdaptor adaptor;
    std::unique_ptr<NanoTree> tree;
};

std::map<std::string, std::unique_ptr<NanoFixture>>& nanoTrees() {
    static std::map<std::string, std::unique_ptr<NanoFixture>> t;
    return t;
}

const NanoTree& nanoTree(const DataSet& d) {
    auto& slot = nanoTrees()[d.name];
    if (!slot) {
        slot = std::make_unique<NanoFixture>();
        slot->adaptor.pts = &d.points;
        slot->tree = std::make_unique<NanoTree>(3, slot->adaptor);
    }
    return *slot->tree;
}

void nanoBuild(benchmark::State& state, const DataSet* d) {
    for (auto _ : state) {
        CloudAdaptor adaptor{&d->points};
        const double t0 = now();
        NanoTree tree(3, adaptor);
        const double t1 = now();
        record(state, d->name + "/nanoflann/build", t1 - t0,
               double(adaptor.kdtree_get_point_count()));
    }
}

void nanoNearest(benchmark::State& state, const DataSet* d) {
    const NanoTree& tree = nanoTree(*d);
    const auto& q = d->queries;
    for (auto _ : state) {
        double sum = 0.0;
        const double t0 = now();
#pragma omp parallel for schedule(dynamic, kChunk) reduction(+ : sum)
        for (std::size_t i = 0; i < q.size(); ++i) {
            std::uint32_t index;
            double d2;
            nanoflann::KNNResultSet<double, std::uint32_t> result(1);
            result.init(&index, &d2);
            tree.findNeighbors(result, q[i].data(), nanoflann::SearchParams());
            sum += d2;
        }
        const double t1 = now();
        record(state, d->name + "/nanoflann/nearest", t1 - t0, sum);
    }
}

void nanoKnn(benchmark::State& state, const DataSet* d, bool carryHint) {
    const NanoTree& tree = nanoTree(*d);
    const auto& q = d->points;
    for (auto _ : state) {
        double sum = 0.0;
        const double t0 = now();
#pragma omp parallel reduction(+ : sum)
        {
            std::uint32_t index[kK];
            double d2[kK];
#pragma omp for schedule(dynamic, kChunk)
            for (std::size_t i = 0; i < kKnnQueries; ++i) {
                const std::size_t found = tree.knnSearch(q[i].data(), kK, index, d2);
                sum += d2[found - 1];
            }
        }
        const double t1 = now();
        record(state, d->name + "/nanoflann/" + (carryHint ? "knn-hint" : "knn"), t1 - t0, sum);
    }
}

void nanoRadius(benchmark::State& state, const DataSet* d) {
    const NanoTree& tree = nanoTree(*d);
    const auto& q = d->points;
    const double r2 = d->radius30 * d->radius30;
    for (auto _ : state) {
        double count = 0.0;
        const double t0 = now();
#pragma omp parallel reduction(+ : count)
        {
            std::vector<std::pair<std::uint32_t, double>> matches;
            const nanoflann::SearchParams params(32, 0.0f, false);
#pragma omp for schedule(dynamic, kChunk)
            for (std::size_t i = 0; i < kRadiusQueries; ++i) {
                count += double(tree.radiusSearch(q[i].data(), r2, matches, params));
            }
        }
        const double t1 = now();
        record(state, d->name + "/nanoflann/radius", t1 - t0, count);
        state.counters["neighbours"] = count / double(kRadiusQueries);
    }
}

void registerAll() {
    for (const DataSet& d : dataSets()) {
        const DataSet* p = &d;
        auto reg = [](const std::string& name, auto fn) {
            benchmark::RegisterBenchmark(name.c_str(), fn)
                ->Iterations(kRuns)
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond);
        };
        reg(d.name + "/ours/build", [p](benchmark::State& s) { oursBuild(s, p); });
        reg(d.name + "/nanoflann/build", [p](benchmark::State& s) { nanoBuild(s, p); });
        reg(d.name + "/ours/nearest", [p](benchmark::State& s) { oursNearest(s, p); });
        reg(d.name + "/nanoflann/nearest", [p](benchmark::State& s) { nanoNearest(s, p); });
        reg(d.name + "/ours/knn", [p](benchmark::State& s) { oursKnn(s, p, false); });
        reg(d.name + "/nanoflann/knn", [p](benchmark::State& s) { nanoKnn(s, p, false); });
        reg(d.name + "/ours/knn-hint", [p](benchmark::State& s) { oursKnn(s, p, true); });
        reg(d.name + "/nanoflann/knn-hint", [p](benchmark::State& s) { nanoKnn(s, p, true); });
        reg(d.name + "/ours/radius", [p](benchmark::State& s) { oursRadius(s, p); });
        reg(d.name + "/nanoflann/radius", [p](benchmark::State& s) { nanoRadius(s, p); });
    }
}

// Both trees must give the same answers; a benchmark of wrong answers is void.
bool sameAnswers(const Figure& a, const Figure& b, const std::string& figure) {
    if (figure == "build") return true;
    const double scale = std::max(std::abs(a.checksum), std::abs(b.checksum));
    return std::abs(a.checksum - b.checksum) <= 1e-9 * scale;
}

void printSummary() {
    std::printf("\n%d threads. Times in ms (best of %d); ratio = ours / nanoflann.\n\n",
                omp_get_max_threads(), kRuns);
    std::printf("| data set | figure | ours | nanoflann | ratio |\n");
    std::printf("|---|---|---:|---:|---:|\n");
    bool allSame = true;
    for (const DataSet& d : dataSets()) {
        for (const char* f : kFigureNames) {
            const auto ours = figures().find(d.name + "/ours/" + f);
            const auto nano = figures().find(d.name + "/nanoflann/" + f);
            if (ours == figures().end() || nano == figures().end()) continue;
            const bool same = sameAnswers(ours->second, nano->second, f);
            allSame = allSame && same;
            std::printf("| %s | %s | %.1f | %.1f | %.2f |%s\n", d.name.c_str(), f,
                        ours->second.seconds * 1e3, nano->second.seconds * 1e3,
                        ours->second.seconds / nano->second.seconds, same ? "" : " ANSWERS DIFFER");
        }
    }
    if (!allSame) std::printf("\nThe trees' answers differ: the figures are void.\n");
}

}  // namespace

int main(int argc, char** argv) {
    registerAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    printSummary();
    return 0;
}
