// File commands: format choice by suffix, the numbers of `info` against a brute-force
// computation on generated files, saving by suffix, and saves that fail or are aborted
// leaving the target as it was.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "TestHelpers.h"
#include "alg3D/matrix/GLPoint.h"
#include "commands/FileCommands.h"
#include "io/FileIOInfo.h"

namespace {

namespace fs = std::filesystem;
using alg3D::GLPoint;
using alg3D::Vec3d;
using tessaro::commands::DataKind;
using tessaro::commands::FileInfo;
using tessaro::commands::JobStatus;
using tessaro::commands::LoadedData;

constexpr std::chrono::milliseconds kFastPoll{1};

class TempDir {
  public:
    TempDir() {
        static int counter = 0;
        path_ = fs::temp_directory_path() / ("tessaro_commands_" + std::to_string(::getpid()) +
                                             "_" + std::to_string(counter++));
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    std::size_t entries() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(path_), {}));
    }

  private:
    fs::path path_;
};

std::string readAll(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeText(const std::string& fileName, const std::string& text) {
    std::ofstream(fileName, std::ios::binary) << text;
}

// Lines "%.6f\t%.6f\t%.6f" (plus colours), and the points those lines say, read with the
// correctly rounded strtod.
struct TextCloud {
    std::string text;
    std::vector<Vec3d> points;
    std::vector<alg3D::Color> colors;
};

TextCloud makeTextCloud(std::size_t n, std::uint64_t seed, bool withColors, double offset) {
    auto rng = testing_helpers::seededRng(seed);
    std::uniform_real_distribution<double> coord(-1000.0, 1000.0);
    std::uniform_int_distribution<int> channel(0, 255);
    TextCloud cloud;
    char line[160];
    for (std::size_t i = 0; i < n; ++i) {
        char xs[40], ys[40], zs[40];
        std::snprintf(xs, sizeof xs, "%.6f", offset + coord(rng));
        std::snprintf(ys, sizeof ys, "%.6f", coord(rng));
        std::snprintf(zs, sizeof zs, "%.6f", -offset + coord(rng));
        cloud.points.emplace_back(std::strtod(xs, nullptr), std::strtod(ys, nullptr),
                                  std::strtod(zs, nullptr));
        if (withColors) {
            const alg3D::Color c(static_cast<unsigned char>(channel(rng)),
                                 static_cast<unsigned char>(channel(rng)),
                                 static_cast<unsigned char>(channel(rng)));
            cloud.colors.push_back(c);
            std::snprintf(line, sizeof line, "%s\t%s\t%s\t%d\t%d\t%d\n", xs, ys, zs, c.r, c.g, c.b);
        } else {
            std::snprintf(line, sizeof line, "%s\t%s\t%s\n", xs, ys, zs);
        }
        cloud.text += line;
    }
    return cloud;
}

// A binary STL file of random triangles; returns the corners as the file holds them.
std::vector<Vec3d> writeBinaryStl(const std::string& fileName, std::uint32_t triangles,
                                  std::uint64_t seed) {
    auto rng = testing_helpers::seededRng(seed);
    std::uniform_real_distribution<float> coord(-50.0f, 250.0f);
    std::vector<Vec3d> corners;
    std::string bytes(80, '\0');
    bytes.append(reinterpret_cast<const char*>(&triangles), 4);
    for (std::uint32_t t = 0; t < triangles; ++t) {
        float record[12] = {0.0f, 0.0f, 1.0f};
        for (int k = 3; k < 12; ++k)
            record[k] = coord(rng);
        for (int c = 0; c < 3; ++c) {
            corners.emplace_back(record[3 + 3 * c], record[4 + 3 * c], record[5 + 3 * c]);
        }
        bytes.append(reinterpret_cast<const char*>(record), sizeof record);
        bytes.append(2, '\0');
    }
    writeText(fileName, bytes);
    return corners;
}

// The numbers `info` must give, computed the plain way in long double.
struct BruteForce {
    Vec3d lo, hi;
    long double sum[3] = {0, 0, 0};
    std::size_t n = 0;

    explicit BruteForce(const std::vector<Vec3d>& points) {
        n = points.size();
        lo = hi = points.front();
        for (const Vec3d& p : points) {
            for (std::size_t k = 0; k < 3; ++k) {
                lo[k] = std::min(lo[k], p[k]);
                hi[k] = std::max(hi[k], p[k]);
                sum[k] += p[k];
            }
        }
    }
    Vec3d centroid() const {
        return Vec3d(static_cast<double>(sum[0] / n), static_cast<double>(sum[1] / n),
                     static_cast<double>(sum[2] / n));
    }
};

void expectInfoMatches(const FileInfo& info, const std::vector<Vec3d>& truth) {
    const BruteForce bf(truth);
    ASSERT_EQ(info.points, truth.size());
    // Minimum and maximum pick input values: exact.
    EXPECT_EQ(info.bboxMin, bf.lo);
    EXPECT_EQ(info.bboxMax, bf.hi);
    const double scale = std::max(bf.lo.norm(), bf.hi.norm());
    EXPECT_VEC_NEAR(info.centroid, bf.centroid(), 1e-13 * scale);
}

// ---------------------------------------------------------------------------------------
// Format choice

TEST(FileCommands, SuffixIsLowerCaseTextAfterTheLastDotOfTheName) {
    using tessaro::commands::fileSuffix;
    EXPECT_EQ(fileSuffix("scan.XYZ"), "xyz");
    EXPECT_EQ(fileSuffix("dir/part.v2.Stl"), "stl");
    EXPECT_EQ(fileSuffix("dir.d/noext"), "");
    EXPECT_EQ(fileSuffix("noext"), "");
    EXPECT_EQ(fileSuffix("trailing."), "");
    EXPECT_EQ(fileSuffix("dir/.hidden"), "");
    EXPECT_EQ(fileSuffix("dir/.hidden.XYZC"), "xyzc");
}

TEST(FileCommands, ReadJobFollowsTheSuffixCaseInsensitively) {
    using namespace tessaro::io;
    using tessaro::commands::readJobForFile;
    EXPECT_EQ(readJobForFile("a.xyz"), kReadXyz);
    EXPECT_EQ(readJobForFile("a.XyZ"), kReadXyz);
    EXPECT_EQ(readJobForFile("a.XYZC"), kReadXyzc);
    EXPECT_EQ(readJobForFile("a.STL"), kReadStl);
    EXPECT_EQ(readJobForFile("a.pts"), kReadPts);
    EXPECT_EQ(readJobForFile("a.Psl"), kReadPsl);
    EXPECT_EQ(readJobForFile("a.scn"), kReadScanData);
}

TEST(FileCommands, UnknownSuffixNamesTheSuffix) {
    try {
        tessaro::commands::readJobForFile("mesh.off");
        FAIL();
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "Unknown file format: off");
    }
    try {
        tessaro::commands::readJobForFile("noext");
        FAIL();
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "Unknown file format: ");
    }
}

TEST(FileCommands, AscFilesAreProbedByColumnCount) {
    TempDir dir;
    using tessaro::commands::readJobForFile;
    writeText(dir.file("three.asc"), "1 2 3\n4 5 6\n");
    writeText(dir.file("seven.ASC"), "1 2 3 4 5 6 7\n");
    writeText(dir.file("two.asc"), "1 2\n3 4\n");
    EXPECT_EQ(readJobForFile(dir.file("three.asc")), tessaro::io::kReadXyz);
    EXPECT_EQ(readJobForFile(dir.file("seven.ASC")), tessaro::io::kReadXyzc);
    try {
        readJobForFile(dir.file("two.asc"));
        FAIL();
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "Unknown file format: asc");
    }
    try {
        readJobForFile(dir.file("missing.asc"));
        FAIL();
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "ALG3D::can not open file.\n");
    }
}

TEST(FileCommands, WriteJobAndSavability) {
    using namespace tessaro::io;
    using tessaro::commands::checkSavable;
    using tessaro::commands::writeJobForFile;
    EXPECT_EQ(writeJobForFile("a.XYZ"), kWriteXyz);
    EXPECT_EQ(writeJobForFile("a.xyzc"), kWriteXyzc);
    EXPECT_EQ(writeJobForFile("a.Stl"), kWriteStl);
    for (const char* name : {"a.pts", "a.asc", "a"}) {
        try {
            writeJobForFile(name);
            FAIL() << name;
        } catch (const std::exception& e) {
            EXPECT_STREQ(e.what(), "Unknown file format!");
        }
    }
    EXPECT_NO_THROW(checkSavable("m.stl", DataKind::kMesh));
    EXPECT_NO_THROW(checkSavable("m.xyz", DataKind::kMesh));
    EXPECT_NO_THROW(checkSavable("c.xyzc", DataKind::kPoints));
    for (DataKind kind : {DataKind::kPoints, DataKind::kColoredPoints}) {
        try {
            checkSavable("c.stl", kind);
            FAIL();
        } catch (const std::exception& e) {
            EXPECT_STREQ(e.what(), "Only meshes can be saved as STL.");
        }
    }
}

// ---------------------------------------------------------------------------------------
// Describing data

TEST(FileCommands, DescribeMatchesBruteForceForEveryKind) {
    auto rng = testing_helpers::seededRng(7);
    std::uniform_real_distribution<double> coord(-3.0, 5.0);
    for (double offset : {0.0, 1e6, -4e8}) {
        LoadedData plain;
        plain.format = "xyz";
        for (int i = 0; i < 20000; ++i) {
            plain.points.emplace_back(offset + coord(rng), coord(rng), offset * 0.5 + coord(rng));
        }
        const FileInfo a = tessaro::commands::describeData("p.xyz", plain);
        EXPECT_EQ(a.file, "p.xyz");
        EXPECT_EQ(a.format, "xyz");
        EXPECT_EQ(a.triangles, 0u);
        expectInfoMatches(a, plain.points);

        LoadedData mesh = plain;
        mesh.kind = DataKind::kMesh;
        mesh.points.resize(3 * 6000);
        const FileInfo m = tessaro::commands::describeData("m.stl", mesh);
        EXPECT_EQ(m.triangles, 6000u);
        expectInfoMatches(m, mesh.points);

        LoadedData colored;
        colored.kind = DataKind::kColoredPoints;
        for (const Vec3d& p : plain.points)
            colored.coloredPoints.emplace_back(p.x, p.y, p.z, 1, 2, 3);
        expectInfoMatches(tessaro::commands::describeData("c.xyzc", colored), plain.points);
    }
}

TEST(FileCommands, CentroidIsTheCorrectlyRoundedMeanWhenTheSumIsExact) {
    // Multiples of 1/1024 below 2^20 sum exactly in a double, so the mean is one
    // correctly rounded division; a compensated sum must hit it exactly.
    auto rng = testing_helpers::seededRng(11);
    std::uniform_int_distribution<int> units(-(1 << 20), 1 << 20);
    LoadedData data;
    long long sums[3] = {0, 0, 0};
    const int n = 30001;
    for (int i = 0; i < n; ++i) {
        const int u[3] = {units(rng), units(rng), units(rng)};
        data.points.emplace_back(u[0] / 1024.0, u[1] / 1024.0, u[2] / 1024.0);
        for (int k = 0; k < 3; ++k)
            sums[k] += u[k];
    }
    const FileInfo info = tessaro::commands::describeData("e.xyz", data);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(info.centroid[k], (static_cast<double>(sums[k]) / 1024.0) / n) << k;
    }
}

TEST(FileCommands, DescribeEmptyData) {
    LoadedData empty;
    empty.kind = DataKind::kMesh;
    const FileInfo info = tessaro::commands::describeData("e.stl", empty);
    EXPECT_EQ(info.points, 0u);
    EXPECT_EQ(info.triangles, 0u);
    EXPECT_EQ(info.centroid, Vec3d());
}

// ---------------------------------------------------------------------------------------
// Info from files

TEST(FileCommands, InfoOfTextFilesMatchesTheirText) {
    TempDir dir;
    const TextCloud plain = makeTextCloud(5000, 21, false, 250000.0);
    writeText(dir.file("plain.XYZ"), plain.text);
    FileInfo info;
    ASSERT_EQ(tessaro::commands::fileInfo(dir.file("plain.XYZ"), info), JobStatus::kCompleted);
    EXPECT_EQ(info.format, "xyz");
    EXPECT_EQ(info.kind, DataKind::kPoints);
    expectInfoMatches(info, plain.points);

    const TextCloud colored = makeTextCloud(3000, 22, true, 0.0);
    writeText(dir.file("colored.xyzc"), colored.text);
    ASSERT_EQ(tessaro::commands::fileInfo(dir.file("colored.xyzc"), info), JobStatus::kCompleted);
    EXPECT_EQ(info.format, "xyzc");
    EXPECT_EQ(info.kind, DataKind::kColoredPoints);
    expectInfoMatches(info, colored.points);

    writeText(dir.file("colored.asc"), colored.text);
    ASSERT_EQ(tessaro::commands::fileInfo(dir.file("colored.asc"), info), JobStatus::kCompleted);
    EXPECT_EQ(info.format, "xyzc");
    expectInfoMatches(info, colored.points);
}

TEST(FileCommands, InfoOfBinaryStlCountsCornersAndTriangles) {
    TempDir dir;
    const std::vector<Vec3d> corners = writeBinaryStl(dir.file("part.stl"), 4001, 31);
    FileInfo info;
    ASSERT_EQ(tessaro::commands::fileInfo(dir.file("part.stl"), info), JobStatus::kCompleted);
    EXPECT_EQ(info.format, "stl");
    EXPECT_EQ(info.kind, DataKind::kMesh);
    EXPECT_EQ(info.points, 3u * 4001u);
    EXPECT_EQ(info.triangles, 4001u);
    expectInfoMatches(info, corners);
}

TEST(FileCommands, LoadKeepsColoursAndFailuresCarryTheReaderText) {
    TempDir dir;
    const TextCloud colored = makeTextCloud(100, 23, true, 0.0);
    writeText(dir.file("c.xyzc"), colored.text);
    LoadedData data;
    ASSERT_EQ(tessaro::commands::loadFile(dir.file("c.xyzc"), data), JobStatus::kCompleted);
    ASSERT_EQ(data.coloredPoints.size(), 100u);
    for (std::size_t i = 0; i < 100; ++i) {
        EXPECT_EQ(data.coloredPoints[i].vec(), colored.points[i]);
        EXPECT_EQ(data.coloredPoints[i].color(), colored.colors[i]);
    }
    try {
        tessaro::commands::loadFile(dir.file("missing.xyz"), data);
        FAIL();
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "ALG3D::can not open file.\n");
    }
}

TEST(FileCommands, AbortedLoadLeavesNoData) {
    TempDir dir;
    std::string text;
    for (int i = 0; i < 400000; ++i)
        text += "12.500000\t-3.250000\t1000.125000\n";
    writeText(dir.file("big.xyz"), text);
    LoadedData data;
    data.points.emplace_back(1.0, 2.0, 3.0);
    const JobStatus status = tessaro::commands::loadFile(
        dir.file("big.xyz"), data, [](float) { return true; }, kFastPoll);
    EXPECT_EQ(status, JobStatus::kAborted);
    EXPECT_TRUE(data.points.empty());
    EXPECT_TRUE(data.coloredPoints.empty());
}

TEST(FileCommands, AbortPressedAfterTheLastPollStillDropsTheLoad) {
    // The file is read long before the first poll interval; the load asks once more.
    TempDir dir;
    writeText(dir.file("small.xyz"), "1 2 3\n4 5 6\n");
    LoadedData data;
    std::vector<float> seen;
    const JobStatus status = tessaro::commands::loadFile(
        dir.file("small.xyz"), data,
        [&seen](float percent) {
            seen.push_back(percent);
            return true;
        },
        std::chrono::hours(1));
    EXPECT_EQ(status, JobStatus::kAborted);
    EXPECT_EQ(seen, std::vector<float>{100.0f});
    EXPECT_TRUE(data.points.empty());
    ASSERT_EQ(tessaro::commands::loadFile(
                  dir.file("small.xyz"), data, [](float) { return false; }, std::chrono::hours(1)),
              JobStatus::kCompleted);
    EXPECT_EQ(data.points.size(), 2u);
}

// ---------------------------------------------------------------------------------------
// Saving

LoadedData randomCloud(std::size_t n, std::uint64_t seed, DataKind kind) {
    auto rng = testing_helpers::seededRng(seed);
    std::uniform_real_distribution<double> coord(-100.0, 100.0);
    std::uniform_int_distribution<int> channel(0, 255);
    LoadedData data;
    data.kind = kind;
    for (std::size_t i = 0; i < n; ++i) {
        const Vec3d p(coord(rng), coord(rng), coord(rng));
        if (kind == DataKind::kColoredPoints) {
            data.coloredPoints.emplace_back(p.x, p.y, p.z, static_cast<unsigned char>(channel(rng)),
                                            static_cast<unsigned char>(channel(rng)),
                                            static_cast<unsigned char>(channel(rng)));
        } else {
            data.points.push_back(p);
        }
    }
    return data;
}

// The double nearest to v in single precision. Through a volatile, because GCC 12 at -O2
// drops a float rounding that its SLP vectorizer pairs up with a widening back to double.
double roundToFloat(double v) {
    volatile float f = static_cast<float>(v);
    return f;
}

// Six decimals: half a unit of the last digit, plus the rounding of the value itself.
constexpr double kSixDecimals = 5e-7 + 1e-12;

TEST(FileCommands, SaveXyzRoundTripsToSixDecimals) {
    TempDir dir;
    for (DataKind kind : {DataKind::kPoints, DataKind::kColoredPoints, DataKind::kMesh}) {
        const LoadedData data = randomCloud(999, 41, kind);
        const std::string name = dir.file("out.XYZ");
        ASSERT_EQ(tessaro::commands::saveFile(name, data), JobStatus::kCompleted);
        LoadedData back;
        ASSERT_EQ(tessaro::commands::loadFile(name, back), JobStatus::kCompleted);
        ASSERT_EQ(back.points.size(), 999u);
        for (std::size_t i = 0; i < 999; ++i) {
            const Vec3d orig =
                kind == DataKind::kColoredPoints ? data.coloredPoints[i].vec() : data.points[i];
            EXPECT_VEC_NEAR(back.points[i], orig, kSixDecimals);
        }
    }
    EXPECT_EQ(dir.entries(), 1u);  // no temporary file left
}

TEST(FileCommands, SaveXyzcKeepsColoursAndGivesPlainPointsTheDefaultColour) {
    TempDir dir;
    const LoadedData colored = randomCloud(500, 42, DataKind::kColoredPoints);
    ASSERT_EQ(tessaro::commands::saveFile(dir.file("c.xyzc"), colored), JobStatus::kCompleted);
    LoadedData back;
    ASSERT_EQ(tessaro::commands::loadFile(dir.file("c.xyzc"), back), JobStatus::kCompleted);
    ASSERT_EQ(back.coloredPoints.size(), 500u);
    for (std::size_t i = 0; i < 500; ++i) {
        EXPECT_VEC_NEAR(back.coloredPoints[i].vec(), colored.coloredPoints[i].vec(), kSixDecimals);
        EXPECT_EQ(back.coloredPoints[i].color(), colored.coloredPoints[i].color());
    }

    const LoadedData plain = randomCloud(300, 43, DataKind::kPoints);
    ASSERT_EQ(tessaro::commands::saveFile(dir.file("p.xyzc"), plain), JobStatus::kCompleted);
    ASSERT_EQ(tessaro::commands::loadFile(dir.file("p.xyzc"), back), JobStatus::kCompleted);
    ASSERT_EQ(back.coloredPoints.size(), 300u);
    for (const GLPoint& p : back.coloredPoints)
        EXPECT_EQ(p.color(), alg3D::Color(255, 255, 255));

    tessaro::commands::SaveOptions options;
    options.defaultColor = alg3D::Color(10, 0, 200);
    ASSERT_EQ(tessaro::commands::saveFile(dir.file("p.xyzc"), plain, tessaro::commands::neverAbort,
                                          options),
              JobStatus::kCompleted);
    ASSERT_EQ(tessaro::commands::loadFile(dir.file("p.xyzc"), back), JobStatus::kCompleted);
    ASSERT_EQ(back.coloredPoints.size(), 300u);
    for (const GLPoint& p : back.coloredPoints)
        EXPECT_EQ(p.color(), alg3D::Color(10, 0, 200));
}

TEST(FileCommands, SaveStlWritesTheMeshCornersAsFloats) {
    TempDir dir;
    const LoadedData mesh = randomCloud(3 * 700, 44, DataKind::kMesh);
    ASSERT_EQ(tessaro::commands::saveFile(dir.file("m.stl"), mesh), JobStatus::kCompleted);
    EXPECT_EQ(fs::file_size(dir.file("m.stl")), 84u + 50u * 700u);
    LoadedData back;
    ASSERT_EQ(tessaro::commands::loadFile(dir.file("m.stl"), back), JobStatus::kCompleted);
    EXPECT_EQ(back.kind, DataKind::kMesh);
    ASSERT_EQ(back.points.size(), mesh.points.size());
    for (std::size_t i = 0; i < back.points.size(); ++i) {
        const Vec3d& p = mesh.points[i];
        EXPECT_EQ(back.points[i], Vec3d(roundToFloat(p.x), roundToFloat(p.y), roundToFloat(p.z)));
    }
}

TEST(FileCommands, EmptyCloudSavedAsXyzGivesAnEmptyFile) {
    TempDir dir;
    writeText(dir.file("e.xyz"), "1 2 3\n");
    ASSERT_EQ(tessaro::commands::saveFile(dir.file("e.xyz"), LoadedData{}), JobStatus::kCompleted);
    ASSERT_TRUE(fs::exists(dir.file("e.xyz")));
    EXPECT_EQ(fs::file_size(dir.file("e.xyz")), 0u);
    EXPECT_EQ(dir.entries(), 1u);
}

TEST(FileCommands, RefusedSaveLeavesTheTargetAsItWas) {
    TempDir dir;
    writeText(dir.file("keep.stl"), "previous");
    writeText(dir.file("keep.off"), "previous");
    const LoadedData cloud = randomCloud(30, 45, DataKind::kPoints);
    EXPECT_THROW(tessaro::commands::saveFile(dir.file("keep.stl"), cloud), std::runtime_error);
    EXPECT_THROW(tessaro::commands::saveFile(dir.file("keep.off"), cloud), std::runtime_error);
    EXPECT_THROW(tessaro::commands::saveFile(dir.file("new.stl"), cloud), std::runtime_error);
    EXPECT_EQ(readAll(dir.file("keep.stl")), "previous");
    EXPECT_EQ(readAll(dir.file("keep.off")), "previous");
    EXPECT_FALSE(fs::exists(dir.file("new.stl")));
    EXPECT_EQ(dir.entries(), 2u);
}

// Names that are not regular files, directly or behind a link: a FIFO (an open would
// wait for a writer for ever), a device and a folder. Load, info and save refuse them
// before anything is opened, and a save leaves the node as it was.
TEST(FileCommands, NonRegularFilesAreRefusedBeforeTheyAreOpened) {
    TempDir dir;
    ASSERT_EQ(::mkfifo(dir.file("pipe.xyz").c_str(), 0600), 0);
    fs::create_symlink("/dev/null", dir.file("device.xyz"));
    fs::create_symlink(dir.file("pipe.xyz"), dir.file("link to pipe.stl"));
    fs::create_directory(dir.file("folder.xyz"));
    const LoadedData cloud = randomCloud(10, 46, DataKind::kPoints);
    for (const char* name : {"pipe.xyz", "device.xyz", "link to pipe.stl", "folder.xyz"}) {
        const std::string path = dir.file(name);
        const std::string expected = tessaro::commands::kNotARegularFile + path;
        LoadedData data;
        FileInfo info;
        auto message = [](auto&& run) {
            try {
                run();
            } catch (const std::exception& e) {
                return std::string(e.what());
            }
            return std::string("no error");
        };
        EXPECT_EQ(message([&] { tessaro::commands::loadFile(path, data); }), expected);
        EXPECT_EQ(message([&] { tessaro::commands::fileInfo(path, info); }), expected);
        if (std::string(name).find(".stl") == std::string::npos) {
            EXPECT_EQ(message([&] { tessaro::commands::saveFile(path, cloud); }), expected);
        }
    }
    EXPECT_TRUE(fs::is_fifo(dir.file("pipe.xyz")));
    EXPECT_TRUE(fs::is_character_file(dir.file("device.xyz")));
    EXPECT_TRUE(fs::is_directory(dir.file("folder.xyz")));
    EXPECT_EQ(dir.entries(), 4u);  // no temporary file left behind
}

// What a killed save leaves behind is no data, whatever the target's suffix was.
TEST(FileCommands, TemporaryFileOfASaveIsNotLoaded) {
    TempDir dir;
    const std::string name = dir.file("scan.xyz.tmp-4242-0123456789ab");
    writeText(name, "1 2 3\n4 5 6\n");
    LoadedData data;
    try {
        tessaro::commands::loadFile(name, data);
        FAIL() << "loaded";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(e.what(), tessaro::commands::kUnfinishedSaveFile + name);
    }
    EXPECT_EQ(data.pointCount(), 0u);
}

TEST(FileCommands, FailedSaveThrowsTheWriterText) {
    TempDir dir;
    const LoadedData cloud = randomCloud(30, 46, DataKind::kPoints);
    try {
        tessaro::commands::saveFile(dir.file("no/such/dir/out.xyz"), cloud);
        FAIL();
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "ALG3D::can not write destination file.\n");
    }
    EXPECT_EQ(dir.entries(), 0u);
}

TEST(FileCommands, AbortedSaveLeavesTheTargetAsItWasAndNoTemporaryFile) {
    TempDir dir;
    const LoadedData big = randomCloud(600000, 47, DataKind::kPoints);
    for (const char* name : {"big.xyz", "big.xyzc"}) {
        // Without a previous file, and over one.
        EXPECT_EQ(tessaro::commands::saveFile(
                      dir.file(name), big, [](float) { return true; }, {}, kFastPoll),
                  JobStatus::kAborted);
        EXPECT_FALSE(fs::exists(dir.file(name)));
        EXPECT_EQ(dir.entries(), 0u);

        writeText(dir.file(name), "previous\n");
        EXPECT_EQ(tessaro::commands::saveFile(
                      dir.file(name), big, [](float) { return true; }, {}, kFastPoll),
                  JobStatus::kAborted);
        EXPECT_EQ(readAll(dir.file(name)), "previous\n");
        EXPECT_EQ(dir.entries(), 1u);
        fs::remove(dir.file(name));
    }
}

}  // namespace
