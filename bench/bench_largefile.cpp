// Memory of a large .xyz load: the peak resident memory the reader adds, against the
// points' own memory (n * sizeof(Vec3d)) measured the same way in the same run.
//
// Generates an .xyz file of TESSARO_LARGE_POINTS points (default 30,000,000, about
// 1 GB) in the temporary folder with the .xyz writer, then measures
//   PointsOwn: a vector of n points, filled (the baseline: the data themselves);
//   ReadXyz:   the .xyz reader, analysis pass included;
// each as the growth of the peak resident set (VmHWM, reset before each run through
// /proc/self/clear_refs) over the resident set at its start. Counters: MB of growth
// and the ratio to the points' own memory. Blocks of 1 MB and more are mapped and
// unmapped one by one (M_MMAP_THRESHOLD), so freed memory leaves the resident set. The
// file is deleted afterwards.
// Run: build/bench/bench_largefile   (TESSARO_LARGE_POINTS=1000000 for a quick run)
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "io/FileIOInfo.h"
#include "io/TextPointReaders.h"
#include "io/TextPointWriters.h"

namespace {

std::size_t gPoints = 30000000;
std::string gInput;

// A field of /proc/self/status in kB ("VmRSS", "VmHWM"); 0 when unavailable.
std::size_t statusKb(const std::string& field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, field.size() + 1, field + ":") == 0)
            return std::strtoull(line.c_str() + field.size() + 1, nullptr, 10);
    }
    return 0;
}

// Resets the peak resident set to the current one; false where the kernel refuses.
bool resetPeak() {
    std::ofstream out("/proc/self/clear_refs");
    out << "5";
    out.flush();
    return out.good();
}

// Runs `work` and reports its peak growth of the resident set against the points.
template <typename Work>
void measure(benchmark::State& state, Work work) {
    const double ownBytes = static_cast<double>(gPoints) * sizeof(alg3D::Vec3d);
    for (auto _ : state) {
        if (!resetPeak()) {
            state.SkipWithError("cannot reset the peak resident set (/proc/self/clear_refs)");
            return;
        }
        const std::size_t startKb = statusKb("VmRSS");
        const std::size_t points = work();
        const double grownBytes = (static_cast<double>(statusKb("VmHWM")) - startKb) * 1024.0;
        if (points != gPoints) state.SkipWithError("wrong point count");
        state.counters["peak_MB"] = grownBytes / 1e6;
        state.counters["points_MB"] = ownBytes / 1e6;
        state.counters["ratio"] = grownBytes / ownBytes;
    }
}

void PointsOwn(benchmark::State& state) {
    measure(state, [] {
        std::vector<alg3D::Vec3d> points(gPoints, alg3D::Vec3d(1, 2, 3));
        benchmark::DoNotOptimize(points.data());
        return points.size();
    });
}

void ReadXyz(benchmark::State& state) {
    measure(state, [] {
        tessaro::io::FileIOInfo info;
        info.fileName = gInput;
        std::vector<alg3D::Vec3d> points;
        tessaro::io::readXyz(info, points);
        benchmark::DoNotOptimize(points.data());
        return points.size();
    });
}

BENCHMARK(PointsOwn)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(ReadXyz)->Unit(benchmark::kMillisecond)->Iterations(1);

// The file in blocks of a million points, appended, so the generator's own memory stays
// small and is gone before the measurements.
void generateInput() {
    std::mt19937_64 rng(2024);
    std::uniform_real_distribution<double> coordinate(-999.0, 999.0);
    std::vector<alg3D::Vec3d> block;
    for (std::size_t done = 0; done < gPoints; done += block.size()) {
        block.resize(std::min<std::size_t>(gPoints - done, 1000000));
        for (alg3D::Vec3d& p : block)
            p = alg3D::Vec3d(coordinate(rng), coordinate(rng), coordinate(rng) * 0.01);
        tessaro::io::FileIOInfo info;
        info.fileName = gInput;
        info.append = done > 0;
        tessaro::io::writeXyz(info, block);
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    // Every large block its own mapping, returned to the system when freed: what one
    // measurement freed is not counted as resident at the start of the next.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    if (const char* n = std::getenv("TESSARO_LARGE_POINTS"))
        gPoints = std::strtoull(n, nullptr, 10);
    std::random_device device;
    gInput = (std::filesystem::temp_directory_path() /
              ("bench-largefile-" + std::to_string(device()) + ".xyz"))
                 .string();
    int status = 0;
    try {
        generateInput();
        std::printf("input: %s, %.1f MB, %zu points\n", gInput.c_str(),
                    static_cast<double>(std::filesystem::file_size(gInput)) / 1e6, gPoints);
        benchmark::RunSpecifiedBenchmarks();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_largefile: %s\n", e.what());
        status = 1;
    }
    std::error_code ec;
    std::filesystem::remove(gInput, ec);
    benchmark::Shutdown();
    return status;
}
