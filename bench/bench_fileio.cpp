// Reading and writing large .xyz files: the file layer against plain baselines.
//
// Generates a 5,000,000-point .xyz file ("%.6f" columns, about 150 MB) in the
// temporary folder, then measures
//   read:  ReadFloor (read the file in large blocks and count newlines),
//          ReadXyz (the .xyz reader, with its analysis pass), ReadGetlineStod
//          (std::getline and std::stod per line);
//   write: WriteFloor (fwrite of the finished text), WriteXyz (the .xyz writer,
//          through its temporary file and rename), WriteFprintf (fprintf per point);
//   PLY:   ReadPlyBinary (the PLY reader on the same points as a binary little-endian
//          file with double coordinates, written by the PLY writer), against ReadXyz;
// and prints the ratios at the end. All files are deleted afterwards.
// Run: build-*/bench/bench_fileio [--benchmark_filter=Read]
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "io/FileIOInfo.h"
#include "io/PlyReader.h"
#include "io/PlyWriter.h"
#include "io/TextPointReaders.h"
#include "io/TextPointWriters.h"

namespace {

constexpr std::size_t kPoints = 5000000;

std::string gInput;                 // the generated .xyz file
std::string gOutput;                // where the write benchmarks write
std::string gPly;                   // the same points as a binary PLY file
std::vector<alg3D::Vec3d> gPoints;  // the points of the generated file, for writing

std::string tempName(const char* stem) {
    std::random_device device;
    return (std::filesystem::temp_directory_path() /
            (std::string(stem) + "-" + std::to_string(device()) + ".xyz"))
        .string();
}

void generateInput() {
    std::mt19937_64 rng(2024);
    std::uniform_real_distribution<double> coordinate(-999.0, 999.0);
    gPoints.resize(kPoints);
    std::FILE* f = std::fopen(gInput.c_str(), "wb");
    if (f == nullptr) throw std::runtime_error("cannot create " + gInput);
    for (alg3D::Vec3d& p : gPoints) {
        p = alg3D::Vec3d(coordinate(rng), coordinate(rng), coordinate(rng) * 0.01);
        std::fprintf(f, "%.6f\t%.6f\t%.6f\n", p.x, p.y, p.z);
    }
    std::fclose(f);
}

void ReadFloor(benchmark::State& state) {
    std::vector<char> block(std::size_t(1) << 20);
    for (auto _ : state) {
        std::FILE* f = std::fopen(gInput.c_str(), "rb");
        std::size_t lines = 0, bytes = 0, got;
        while ((got = std::fread(block.data(), 1, block.size(), f)) > 0) {
            bytes += got;
            const char* p = block.data();
            const char* end = p + got;
            while ((p = static_cast<const char*>(std::memchr(p, '\n', end - p))) != nullptr) {
                ++lines;
                ++p;
            }
        }
        std::fclose(f);
        benchmark::DoNotOptimize(lines);
        state.SetBytesProcessed(state.bytes_processed() + bytes);
    }
}

void ReadXyz(benchmark::State& state) {
    for (auto _ : state) {
        tessaro::io::FileIOInfo info;
        info.fileName = gInput;
        std::vector<alg3D::Vec3d> points;
        tessaro::io::readXyz(info, points);
        if (points.size() != kPoints) state.SkipWithError("wrong point count");
        benchmark::DoNotOptimize(points.data());
    }
}

void ReadGetlineStod(benchmark::State& state) {
    for (auto _ : state) {
        std::ifstream in(gInput);
        std::vector<alg3D::Vec3d> points;
        std::string line;
        while (std::getline(in, line)) {
            try {
                std::size_t used = 0, at = 0;
                alg3D::Vec3d p;
                for (int k = 0; k < 3; ++k) {
                    p[k] = std::stod(line.substr(at), &used);
                    at += used;
                }
                points.push_back(p);
            } catch (const std::exception&) {
            }
        }
        if (points.size() != kPoints) state.SkipWithError("wrong point count");
        benchmark::DoNotOptimize(points.data());
    }
}

void generatePly() {
    tessaro::io::PlySource source;
    source.points = &gPoints;
    tessaro::io::FileIOInfo info;
    info.fileName = gPly;
    tessaro::io::writePly(info, source);
}

void ReadPlyBinary(benchmark::State& state) {
    for (auto _ : state) {
        tessaro::io::FileIOInfo info;
        info.fileName = gPly;
        tessaro::io::PlyData data;
        tessaro::io::readPly(info, data);
        if (data.vertices.size() != kPoints) state.SkipWithError("wrong point count");
        benchmark::DoNotOptimize(data.vertices.data());
    }
}

void WriteFloor(benchmark::State& state) {
    // The finished text of the same points, written with large fwrite calls.
    std::ifstream in(gInput, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (auto _ : state) {
        std::FILE* f = std::fopen(gOutput.c_str(), "wb");
        for (std::size_t at = 0; at < text.size(); at += std::size_t(1) << 20) {
            std::fwrite(text.data() + at, 1, std::min(text.size() - at, std::size_t(1) << 20), f);
        }
        std::fclose(f);
    }
}

void WriteXyz(benchmark::State& state) {
    for (auto _ : state) {
        tessaro::io::FileIOInfo info;
        info.fileName = gOutput;
        tessaro::io::writeXyz(info, gPoints);
    }
}

void WriteFprintf(benchmark::State& state) {
    for (auto _ : state) {
        std::FILE* f = std::fopen(gOutput.c_str(), "wb");
        for (const alg3D::Vec3d& p : gPoints)
            std::fprintf(f, "%lf\t%lf\t%lf\n", p.x, p.y, p.z);
        std::fclose(f);
    }
}

BENCHMARK(ReadFloor)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(ReadXyz)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(ReadGetlineStod)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(ReadPlyBinary)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(WriteFloor)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(WriteXyz)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(WriteFprintf)->Unit(benchmark::kMillisecond)->Iterations(1);

// Console output plus the ratios the targets are stated in.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            times_[run.benchmark_name()] = run.GetAdjustedRealTime();
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        auto ratio = [this](const char* a, const char* b) {
            const auto ia = times_.find(a), ib = times_.find(b);
            if (ia == times_.end() || ib == times_.end() || ib->second <= 0) return;
            std::printf("%-34s %6.2f\n", (std::string(a) + " / " + b).c_str(),
                        ia->second / ib->second);
        };
        ratio("ReadGetlineStod/iterations:1", "ReadXyz/iterations:3");
        ratio("ReadXyz/iterations:3", "ReadFloor/iterations:5");
        ratio("ReadXyz/iterations:3", "ReadPlyBinary/iterations:5");
        ratio("WriteFprintf/iterations:1", "WriteXyz/iterations:3");
        ratio("WriteXyz/iterations:3", "WriteFloor/iterations:3");
    }

  private:
    std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    gInput = tempName("bench-fileio-input");
    gOutput = tempName("bench-fileio-output");
    gPly = tempName("bench-fileio-input") + ".ply";
    int status = 0;
    try {
        generateInput();
        generatePly();
        std::printf("input: %s, %.1f MB, %zu points\n", gInput.c_str(),
                    static_cast<double>(std::filesystem::file_size(gInput)) / 1e6, kPoints);
        RatioReporter reporter;
        benchmark::RunSpecifiedBenchmarks(&reporter);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_fileio: %s\n", e.what());
        status = 1;
    }
    std::error_code ec;
    std::filesystem::remove(gInput, ec);
    std::filesystem::remove(gOutput, ec);
    std::filesystem::remove(gPly, ec);
    benchmark::Shutdown();
    return status;
}
