// Point-to-plane against point-to-point registration on independent scans. In one run:
//   overlap: two independent 100,000-point samples of a bumpy height field, the
//     reference over x in [-10, 6], the data over x in [-6, 10] (three quarters overlap),
//     the data turned by 10 degrees about an oblique axis and shifted. Point-to-point
//     (registerGauss) and point-to-plane (registerPointToPlane), both with 2,000 samples
//     and with all points; each time includes everything a run needs from the raw
//     points: the reference tree, and for point-to-plane the k = 30 normals of the
//     reference points that get paired (computed when first needed).
//   noisy: the overlap case with normal noise of 0.01 along z on both samples, 2,000
//     samples each.
//   full: 1,000,000 <-> 1,000,000 points of the same surface (full overlap, 3 degrees),
//     point-to-plane with all points paired (tree and normals included), and with Tukey
//     weights on the overlap case with all points.
// The notes give iterations, code and the rotation error against the known motion; the
// summary prints a table for docs/performance.md and the ratios of the overlap case.
#include <benchmark/benchmark.h>
#include <omp.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "alg3D/algorithm/IcpRegistration.h"
#include "alg3D/algorithm/KdTree.h"
#include "alg3D/algorithm/Normals.h"
#include "alg3D/algorithm/RegisterPointToPlane.h"

using alg3D::Matrix3x3d;
using alg3D::Vec3d;
using alg3D::Vec3f;
using namespace alg3D::algorithm;

namespace {

constexpr double kPi = 3.141592653589793;

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::map<std::string, double>& best() {
    static std::map<std::string, double> b;
    return b;
}
std::map<std::string, std::string>& notes() {
    static std::map<std::string, std::string> n;
    return n;
}
std::map<std::string, double>& errors() {
    static std::map<std::string, double> e;
    return e;
}

void record(benchmark::State& state, const std::string& key, double seconds) {
    state.SetIterationTime(seconds);
    auto it = best().find(key);
    if (it == best().end() || seconds < it->second) best()[key] = seconds;
}

// Independent samples of a bumpy height field over [x0, x1] x [-10, 10], with normally
// distributed noise of standard deviation `noise` along z.
std::vector<Vec3d> bumps(std::size_t n, double x0, double x1, std::uint64_t seed,
                         double noise = 0.0) {
    std::mt19937_64 rng(seed), noiseRng(seed + 1000);
    std::uniform_real_distribution<double> ux(x0, x1), uy(-10.0, 10.0);
    std::normal_distribution<double> g(0.0, noise > 0.0 ? noise : 1.0);
    std::vector<Vec3d> pts(n);
    for (Vec3d& p : pts) {
        const double x = ux(rng), y = uy(rng);
        p = Vec3d(x, y, 1.5 * std::sin(0.5 * x) * std::cos(0.3 * y + 0.2 * x) + 0.1 * x);
        if (noise > 0.0) p.z += g(noiseRng);
    }
    return pts;
}

struct Motion {
    Matrix3x3d rotation;
    Vec3d translation;
};

Motion motion(double degrees) {
    const Vec3d k = Vec3d(1.0, 2.0, 2.0) / 3.0;
    const double a = degrees * kPi / 180.0, c = std::cos(a), s = std::sin(a), C = 1 - c;
    Motion m;
    Matrix3x3d& R = m.rotation;
    R(0, 0) = c + k.x * k.x * C;
    R(0, 1) = k.x * k.y * C - k.z * s;
    R(0, 2) = k.x * k.z * C + k.y * s;
    R(1, 0) = k.y * k.x * C + k.z * s;
    R(1, 1) = c + k.y * k.y * C;
    R(1, 2) = k.y * k.z * C - k.x * s;
    R(2, 0) = k.z * k.x * C - k.y * s;
    R(2, 1) = k.z * k.y * C + k.x * s;
    R(2, 2) = c + k.z * k.z * C;
    m.translation = Vec3d(0.3, -0.2, 0.25);
    return m;
}

// The data as the sensor saw them: the inverse motion of surface points, so that the
// registration onto the reference is the motion itself.
std::vector<Vec3d> seen(const std::vector<Vec3d>& surface, const Motion& m) {
    std::vector<Vec3d> d(surface.size());
    for (std::size_t i = 0; i < d.size(); ++i)
        d[i] = m.rotation.transposed() * (surface[i] - m.translation);
    return d;
}

double degreesBetween(const Matrix3x3d& A, const Matrix3x3d& B) {
    const Matrix3x3d D = A * B.transposed();
    const double c = std::clamp((D(0, 0) + D(1, 1) + D(2, 2) - 1.0) / 2.0, -1.0, 1.0);
    const Vec3d s(D(2, 1) - D(1, 2), D(0, 2) - D(2, 0), D(1, 0) - D(0, 1));
    return std::atan2(s.norm() / 2.0, c) * 180.0 / kPi;
}

struct Case {
    std::vector<Vec3d> reference;
    std::vector<Vec3d> data;
    Motion truth;
};

const Case& overlapCase() {
    static const Case c = [] {
        Case k;
        k.truth = motion(10.0);
        k.reference = bumps(100000, -10.0, 6.0, 4);
        k.data = seen(bumps(100000, -6.0, 10.0, 5), k.truth);
        return k;
    }();
    return c;
}

// The overlap case as a scanner gives it: noise of 0.01 (a sixth of the point spacing).
const Case& noisyCase() {
    static const Case c = [] {
        Case k;
        k.truth = motion(10.0);
        k.reference = bumps(100000, -10.0, 6.0, 4, 0.01);
        k.data = seen(bumps(100000, -6.0, 10.0, 5, 0.01), k.truth);
        return k;
    }();
    return c;
}

const Case& fullCase() {
    static const Case c = [] {
        Case k;
        k.truth = motion(3.0);
        k.reference = bumps(1000000, -10.0, 10.0, 6);
        k.data = seen(bumps(1000000, -10.0, 10.0, 7), k.truth);
        return k;
    }();
    return c;
}

void note(const std::string& key, const IcpState& s, int code, const Motion& truth) {
    const double error = degreesBetween(s.transform().rotation, truth.rotation);
    errors()[key] = error;
    char text[160];
    std::snprintf(text, sizeof text, "%llu iterations, code %d, rotation error %.3g deg",
                  static_cast<unsigned long long>(s.iterations), code, error);
    notes()[key] = text;
}

void pointToPoint(benchmark::State& state, const Case& c, const std::string& key, int samples) {
    for (auto _ : state) {
        const double t0 = now();
        KdTree<Vec3d> tree;
        tree.build(c.reference.data(), c.reference.data() + c.reference.size());
        IcpState s;
        const int code = registerGauss(s, c.data.data(), c.data.data() + c.data.size(), samples,
                                       0.0, 100, 0.0, icpNearestPoint(tree));
        record(state, key, now() - t0);
        note(key, s, code, c.truth);
    }
}

void pointToPlane(benchmark::State& state, const Case& c, const std::string& key, int samples,
                  int robust = kIcpRobustNone) {
    for (auto _ : state) {
        const double t0 = now();
        KdTree<Vec3d> tree;
        tree.build(c.reference.data(), c.reference.data() + c.reference.size());
        // As the registration command does it: each normal when a pair first needs it.
        IcpLocalSurfaces<Vec3d> normals(tree, kNormalsAutoK);
        normals.allocate();
        const double t1 = now();
        IcpState s;
        PointToPlaneOptions options;
        options.robust = robust;
        const int code = registerPointToPlane(s, c.data.data(), c.data.data() + c.data.size(),
                                              samples, 0.0, 100, 0.0, normals.nearest(), options);
        const double t2 = now();
        record(state, key, t2 - t0);
        note(key, s, code, c.truth);
        char text[128];
        std::snprintf(text, sizeof text, "; tree %.0f ms, run %.0f ms with %zu normals",
                      (t1 - t0) * 1e3, (t2 - t1) * 1e3, normals.computed());
        notes()[key] += text;
    }
}

}  // namespace

int main(int argc, char** argv) {
    const auto reg = [](const char* name, auto fn, int runs) {
        benchmark::RegisterBenchmark(name, fn)->Iterations(runs)->UseManualTime()->Unit(
            benchmark::kMillisecond);
    };
    reg(
        "overlap/point-to-point-2000",
        [](benchmark::State& s) {
            pointToPoint(s, overlapCase(), "overlap/point-to-point-2000", 2000);
        },
        3);
    reg(
        "overlap/point-to-plane-2000",
        [](benchmark::State& s) {
            pointToPlane(s, overlapCase(), "overlap/point-to-plane-2000", 2000);
        },
        3);
    reg(
        "overlap/point-to-plane-2000-tukey",
        [](benchmark::State& s) {
            pointToPlane(s, overlapCase(), "overlap/point-to-plane-2000-tukey", 2000,
                         kIcpRobustTukey);
        },
        3);
    reg(
        "overlap/point-to-point-all",
        [](benchmark::State& s) {
            pointToPoint(s, overlapCase(), "overlap/point-to-point-all", 0);
        },
        1);
    reg(
        "overlap/point-to-plane-all",
        [](benchmark::State& s) {
            pointToPlane(s, overlapCase(), "overlap/point-to-plane-all", 0);
        },
        1);
    reg(
        "overlap/point-to-plane-all-tukey",
        [](benchmark::State& s) {
            pointToPlane(s, overlapCase(), "overlap/point-to-plane-all-tukey", 0, kIcpRobustTukey);
        },
        1);
    reg(
        "noisy/point-to-point-2000",
        [](benchmark::State& s) {
            pointToPoint(s, noisyCase(), "noisy/point-to-point-2000", 2000);
        },
        3);
    reg(
        "noisy/point-to-plane-2000",
        [](benchmark::State& s) {
            pointToPlane(s, noisyCase(), "noisy/point-to-plane-2000", 2000);
        },
        3);
    reg(
        "full/point-to-plane-all",
        [](benchmark::State& s) { pointToPlane(s, fullCase(), "full/point-to-plane-all", 0); }, 1);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::printf("\n%d threads. Times in ms (best run).\n\n", omp_get_max_threads());
    std::printf("| figure | ms | note |\n|---|---:|---|\n");
    for (const auto& [key, seconds] : best())
        std::printf("| %s | %.1f | %s |\n", key.c_str(), seconds * 1e3, notes()[key].c_str());
    for (const char* n : {"overlap/%s-2000", "overlap/%s-all", "noisy/%s-2000"}) {
        char p[64], q[64];
        std::snprintf(p, sizeof p, n, "point-to-point");
        std::snprintf(q, sizeof q, n, "point-to-plane");
        if (best().count(p) && best().count(q))
            std::printf("\n%s: point-to-plane %.1fx faster, %.0fx more accurate\n", q,
                        best()[p] / best()[q], errors()[p] / std::max(errors()[q], 1e-12));
    }
    return 0;
}
