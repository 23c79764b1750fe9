// Scene objects at workbench sizes, each against a baseline in the same run:
//  - merge of a 2,000,000-triangle soup (a closed torus grid of 1,000,000 vertices, float
//    coordinates as STL holds them) into vertices and indices: mergeCoincidentCorners
//    against the greedy pass with a k-d tree over all 6,000,000 corners;
//  - load of the same mesh from a binary STL file (written to /tmp, removed at the end)
//    plus the merge, against the load alone;
//  - click picking on a 10,000,000-point cloud: nearestPoint through the cloud's k-d tree
//    against the linear scan; the first click after a change (answered by the scan while
//    the tree is built on a worker thread) and the time until the tree is ready; the
//    same for the closest surface point of the 2,000,000-triangle mesh (tree and scan);
//  - lasso selection of a 200-vertex outline over the 10,000,000 points (select: mask,
//    count, colours), on all cores and on one thread, against the bare crossing test of
//    every point in the outline's box against all 200 edges on all cores.
// Each row is one run per iteration, wall time; run with --benchmark_repetitions=3.
#include <benchmark/benchmark.h>
#include <omp.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "OpenGL/GLObjPntsXYZ.h"
#include "OpenGL/GLObjSTL.h"
#include "alg3D/algorithm/KdTree.h"
#include "alg3D/algorithm/MergeCorners.h"
#include "io/FileIOInfo.h"
#include "io/StlReaders.h"
#include "io/StlWriter.h"

using alg3D::Vec3d;
namespace alg = alg3D::algorithm;

namespace {

constexpr double kPi = 3.141592653589793;
constexpr int kGrid = 1000;  // 1000 x 1000 vertices, 2,000,000 triangles
constexpr std::size_t kCloud = 10000000;

Vec3d torusVertex(int i, int j) {
    const double u = 2 * kPi * (i % kGrid) / kGrid, v = 2 * kPi * (j % kGrid) / kGrid;
    const double r = 10 + 3 * std::cos(v);
    // Rounded to single precision, as the corners of an STL file are.
    return Vec3d(float(r * std::cos(u)), float(r * std::sin(u)), float(3 * std::sin(v)));
}

const std::vector<Vec3d>& torusSoup() {
    static const std::vector<Vec3d> soup = [] {
        std::vector<Vec3d> s;
        s.reserve(6u * kGrid * kGrid);
        for (int i = 0; i < kGrid; ++i) {
            for (int j = 0; j < kGrid; ++j) {
                s.insert(s.end(),
                         {torusVertex(i, j), torusVertex(i + 1, j), torusVertex(i + 1, j + 1)});
                s.insert(s.end(),
                         {torusVertex(i, j), torusVertex(i + 1, j + 1), torusVertex(i, j + 1)});
            }
        }
        return s;
    }();
    return soup;
}

// The greedy pass as written down: a tree over every corner, one radius query per
// corner not yet merged.
void literalMerge(const std::vector<Vec3d>& soup, std::vector<Vec3d>& vertices,
                  std::vector<std::uint64_t>& indices) {
    const std::size_t n = soup.size() / 3 * 3;
    vertices.clear();
    vertices.reserve(n / 3);
    indices.assign(n, ~std::uint64_t(0));
    alg::KdTree<Vec3d, 3, 0> tree;
    tree.build(soup.data(), soup.data() + n);
    std::vector<const alg::KdEntry<Vec3d>*> found;
    for (std::size_t i = 0; i < n; ++i) {
        if (indices[i] != ~std::uint64_t(0)) continue;
        found.clear();
        tree.collectWithinAndExclude(soup[i], alg::kMergeRadius, found);
        for (const auto* e : found)
            indices[static_cast<std::size_t>(e->element - soup.data())] = vertices.size();
        indices[i] = vertices.size();
        vertices.push_back(soup[i]);
    }
}

void mergeOurs(benchmark::State& state) {
    const auto& soup = torusSoup();
    std::vector<Vec3d> vertices;
    std::vector<std::uint64_t> indices;
    for (auto _ : state)
        alg::mergeCoincidentCorners(soup, vertices, indices);
    state.counters["vertices"] = double(vertices.size());
}

void mergeLiteral(benchmark::State& state) {
    const auto& soup = torusSoup();
    std::vector<Vec3d> vertices, ours;
    std::vector<std::uint64_t> indices, ourIndices;
    for (auto _ : state)
        literalMerge(soup, vertices, indices);
    alg::mergeCoincidentCorners(soup, ours, ourIndices);
    if (ours != vertices || ourIndices != indices) state.SkipWithError("results differ");
    state.counters["vertices"] = double(vertices.size());
}

// The mesh as a binary STL file in /tmp, removed again when the program ends.
struct StlFile {
    std::string path = "/tmp/bench_scene_torus.stl";
    StlFile() {
        tessaro::io::FileIOInfo info;
        info.fileName = path;
        info.type = tessaro::io::kWriteStl;
        tessaro::io::writeFileJob(&info, &torusSoup());
    }
    ~StlFile() { std::remove(path.c_str()); }
};

const std::string& stlFile() {
    static const StlFile file;
    return file.path;
}

void loadStl(benchmark::State& state, bool merge) {
    const std::string& path = stlFile();
    for (auto _ : state) {
        tessaro::io::FileIOInfo info;
        info.fileName = path;
        std::vector<Vec3d> soup;
        tessaro::io::readStl(info, soup);
        if (merge) {
            std::vector<Vec3d> vertices;
            std::vector<std::uint64_t> indices;
            alg::mergeCoincidentCorners(soup, vertices, indices);
            benchmark::DoNotOptimize(vertices.data());
        }
        benchmark::DoNotOptimize(soup.data());
    }
}

// A height field over [-1, 1]² of 10,000,000 points.
GLObjPnts& bigCloud() {
    static GLObjPnts* cloud = [] {
        std::mt19937_64 rng(3);
        std::uniform_real_distribution<double> u(-1, 1);
        std::vector<Vec3d> pts(kCloud);
        for (Vec3d& p : pts) {
            const double x = u(rng), y = u(rng);
            p = Vec3d(x, y, 0.3 * std::sin(2 * x) * std::cos(2 * y));
        }
        auto* c = new GLObjPnts();
        c->setPoints(std::move(pts));
        return c;
    }();
    return *cloud;
}

// Points a click could give: near the surface.
std::vector<Vec3d> clickQueries(std::size_t n) {
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> u(-1, 1);
    std::vector<Vec3d> q(n);
    for (Vec3d& p : q) {
        const double x = u(rng), y = u(rng);
        p = Vec3d(x, y, 0.3 * std::sin(2 * x) * std::cos(2 * y) + 0.001 * u(rng));
    }
    return q;
}

// The first click after a change: answered by the scan, the tree build started.
void pickFirstClick(benchmark::State& state) {
    GLObjPnts& cloud = bigCloud();
    const Vec3d q = clickQueries(1)[0];
    for (auto _ : state) {
        state.PauseTiming();
        cloud.setPendingTransform(alg3D::Matrix4x4d::identity());
        cloud.applyTransform();  // drops the tree
        state.ResumeTiming();
        benchmark::DoNotOptimize(cloud.nearestPoint(q));
        state.PauseTiming();
        cloud.waitForSearchTree();
        state.ResumeTiming();
    }
}

// From the first click until the tree is there.
void pickTreeBuild(benchmark::State& state) {
    GLObjPnts& cloud = bigCloud();
    const Vec3d q = clickQueries(1)[0];
    for (auto _ : state) {
        state.PauseTiming();
        cloud.setPendingTransform(alg3D::Matrix4x4d::identity());
        cloud.applyTransform();
        state.ResumeTiming();
        benchmark::DoNotOptimize(cloud.nearestPoint(q));
        if (!cloud.waitForSearchTree()) state.SkipWithError("no tree");
    }
}

void pickTree(benchmark::State& state) {
    GLObjPnts& cloud = bigCloud();
    const std::vector<Vec3d> queries = clickQueries(1000);
    cloud.nearestPoint(queries[0]);
    if (!cloud.waitForSearchTree()) state.SkipWithError("no tree");
    std::size_t k = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(cloud.nearestPoint(queries[k++ % queries.size()]));
}

void pickScan(benchmark::State& state) {
    GLObjPnts& cloud = bigCloud();
    const std::vector<Vec3d> queries = clickQueries(1000);
    std::size_t k = 0;
    for (auto _ : state) {
        const Vec3d& q = queries[k++ % queries.size()];
        const Vec3d scan = cloud.nearestPointByScan(q);
        state.PauseTiming();
        if (!(cloud.nearestPoint(q) == scan)) state.SkipWithError("tree and scan differ");
        state.ResumeTiming();
    }
}

GLObjSTL& bigMesh() {
    static GLObjSTL* mesh = [] {
        auto* m = new GLObjSTL();
        std::vector<Vec3d> soup = torusSoup();
        m->setTriangles(std::move(soup));
        return m;
    }();
    return *mesh;
}

// Points a click on the torus could give: near its surface.
std::vector<Vec3d> meshClickQueries(std::size_t n) {
    std::mt19937_64 rng(9);
    std::uniform_real_distribution<double> u(0, 2 * kPi), e(-0.01, 0.01);
    std::vector<Vec3d> q(n);
    for (Vec3d& p : q) {
        const double a = u(rng), b = u(rng), r = 10 + 3 * std::cos(b);
        p = Vec3d(r * std::cos(a) + e(rng), r * std::sin(a) + e(rng), 3 * std::sin(b) + e(rng));
    }
    return q;
}

void meshPickTree(benchmark::State& state) {
    GLObjSTL& mesh = bigMesh();
    const std::vector<Vec3d> queries = meshClickQueries(1000);
    mesh.nearestPoint(queries[0]);
    if (!mesh.waitForSearchTree()) state.SkipWithError("no tree");
    std::size_t k = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(mesh.nearestPoint(queries[k++ % queries.size()]));
}

void meshPickScan(benchmark::State& state) {
    GLObjSTL& mesh = bigMesh();
    const std::vector<Vec3d> queries = meshClickQueries(1000);
    std::size_t k = 0;
    for (auto _ : state) {
        const Vec3d& q = queries[k++ % queries.size()];
        const Vec3d scan = mesh.nearestPointByScan(q);
        state.PauseTiming();
        if (!(mesh.nearestPoint(q) == scan)) state.SkipWithError("tree and scan differ");
        state.ResumeTiming();
    }
}

// A star-shaped lasso of 200 vertices around the middle of a 1000 x 1000 viewport that
// shows [-1, 1]² (orthographic, looking down z).
SelectionRegion starLasso() {
    SelectionRegion region;
    for (int k = 0; k < 200; ++k) {
        const double a = 2 * kPi * k / 200, r = 300 + 120 * std::sin(7 * a) + 40 * std::cos(23 * a);
        region.polygon.push_back({float(500 + r * std::cos(a)), float(500 + r * std::sin(a))});
    }
    region.updateBounds();
    return region;
}

// Baseline: the same projection and crossing test with every point against all edges,
// in parallel, into a mask of its own.
void lassoAllEdges(benchmark::State& state) {
    const auto& pts = bigCloud().getPoints();
    const SelectionRegion region = starLasso();
    const auto& poly = region.polygon;
    const std::size_t nv = poly.size();
    std::vector<unsigned char> mask(pts.size(), 0);
    const std::int64_t n = static_cast<std::int64_t>(pts.size());
    for (auto _ : state) {
#pragma omp parallel for schedule(static)
        for (std::int64_t i = 0; i < n; ++i) {
            const double sx = (pts[i].x + 1.0) * 1000 / 2, sy = (pts[i].y + 1.0) * 1000 / 2;
            if (sx < region.minX || sx > region.maxX || sy < region.minY || sy > region.maxY)
                continue;
            const float fx = float(sx), fy = float(sy);
            bool inside = false;
            for (std::size_t a = 0, b = nv - 1; a < nv; b = a++) {
                const float xi = poly[a].x, yi = poly[a].y, xj = poly[b].x, yj = poly[b].y;
                if ((fy < yj) != (fy < yi) && (xj - xi) * (fy - yi) / (yj - yi) > fx - xi)
                    inside = !inside;
            }
            if (inside) mask[i] = 1;
        }
    }
    std::size_t selected = 0;
    for (unsigned char m : mask)
        selected += m;
    state.counters["selected"] = double(selected);
}

void lasso(benchmark::State& state) {
    const int threads = static_cast<int>(state.range(0));
    GLObjPnts& cloud = bigCloud();
    const SelectionRegion region = starLasso();
    alg3D::Matrix4x4d view = alg3D::Matrix4x4d::identity(), projection = view;
    projection(2, 2) = -0.5;
    const double viewport[4] = {0, 0, 1000, 1000};
    const int before = omp_get_max_threads();
    omp_set_num_threads(threads);
    for (auto _ : state) {
        cloud.select(region, view, projection, viewport, 1);
        state.PauseTiming();
        cloud.clearSelection();
        state.ResumeTiming();
    }
    cloud.select(region, view, projection, viewport, 1);
    state.counters["selected"] = double(cloud.getSelectedCount());
    cloud.clearSelection();
    omp_set_num_threads(before);
}

}  // namespace

// clang-format off
BENCHMARK(mergeOurs)->Name("merge/2M-triangles/ours")
    ->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(mergeLiteral)->Name("merge/2M-triangles/tree-over-all-corners")
    ->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK_CAPTURE(loadStl, merge, true)->Name("stl/2M-triangles/load+merge")
    ->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK_CAPTURE(loadStl, load, false)->Name("stl/2M-triangles/load")
    ->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(pickFirstClick)->Name("pick/10M/first-click")
    ->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(pickTreeBuild)->Name("pick/10M/first-click-until-tree-ready")
    ->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(pickTree)->Name("pick/10M/tree")
    ->Unit(benchmark::kMicrosecond)->Iterations(1000)->UseRealTime();
BENCHMARK(pickScan)->Name("pick/10M/scan")
    ->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();
BENCHMARK(meshPickTree)->Name("pick/mesh-2M-triangles/tree")
    ->Unit(benchmark::kMicrosecond)->Iterations(1000)->UseRealTime();
BENCHMARK(meshPickScan)->Name("pick/mesh-2M-triangles/scan")
    ->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();
BENCHMARK(lassoAllEdges)->Name("lasso/200-vertices/10M/all-edges-baseline")
    ->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(lasso)->Name("lasso/200-vertices/10M/threads")->Arg(2)->Arg(1)
    ->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
// clang-format on

BENCHMARK_MAIN();
