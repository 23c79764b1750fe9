// tessaro-cli end to end: the built binary runs with generated files, and the tests look
// at its exit code, stdout, stderr and the files it leaves.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "CliTestSupport.h"
#include "TestHelpers.h"
#include "commands/FileCommands.h"

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;
using cli_test::Outcome;
using cli_test::Process;
using cli_test::readFile;

class TempDir {
  public:
    explicit TempDir(const std::string& tag = "") {
        static int counter = 0;
        path_ = fs::temp_directory_path() / ("tessaro_cli_" + tag + std::to_string(::getpid()) +
                                             "_" + std::to_string(counter++));
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(path_))
            names.push_back(e.path().filename());
        return names;
    }

  private:
    fs::path path_;
};

void writeText(const std::string& fileName, const std::string& text) {
    std::ofstream(fileName, std::ios::binary) << text;
}

Outcome run(const std::vector<std::string>& args) {
    TempDir io("run");
    Process p(args, io.file("stdout.txt"), io.file("stderr.txt"));
    return p.wait();
}

// Random points as "%.6f" text lines.
void writeXyz(const std::string& fileName, std::size_t n, std::uint64_t seed) {
    auto rng = testing_helpers::seededRng(seed);
    std::uniform_real_distribution<double> coord(-500.0, 1500.0);
    std::string text;
    char line[128];
    for (std::size_t i = 0; i < n; ++i) {
        std::snprintf(line, sizeof line, "%.6f\t%.6f\t%.6f\n", coord(rng), coord(rng), coord(rng));
        text += line;
    }
    writeText(fileName, text);
}

// A binary STL file of random triangles; large files repeat a block of 1000 of them.
void writeBinaryStl(const std::string& fileName, std::uint32_t triangles, std::uint64_t seed) {
    auto rng = testing_helpers::seededRng(seed);
    std::uniform_real_distribution<float> coord(-50.0f, 250.0f);
    std::string block;
    for (std::uint32_t t = 0; t < std::min<std::uint32_t>(triangles, 1000); ++t) {
        float record[12] = {0.0f, 0.0f, 1.0f};
        for (int k = 3; k < 12; ++k)
            record[k] = coord(rng);
        block.append(reinterpret_cast<const char*>(record), sizeof record);
        block.append(2, '\0');
    }
    std::string bytes(80, '\0');
    bytes.append(reinterpret_cast<const char*>(&triangles), 4);
    bytes.reserve(84 + 50 * static_cast<std::size_t>(triangles));
    for (std::uint32_t t = 0; t < triangles; t += 1000) {
        bytes.append(block, 0,
                     50 * static_cast<std::size_t>(std::min<std::uint32_t>(1000, triangles - t)));
    }
    writeText(fileName, bytes);
}

std::size_t countLines(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

std::vector<std::string> keysOf(const Json& object) {
    std::vector<std::string> keys;
    for (auto it = object.begin(); it != object.end(); ++it)
        keys.push_back(it.key());
    return keys;
}

void expectVector(const Json& value, const alg3D::Vec3d& expected) {
    ASSERT_TRUE(value.is_array()) << value.dump();
    ASSERT_EQ(value.size(), 3u);
    for (std::size_t k = 0; k < 3; ++k) {
        // Exact: the printed text must read back as the same double.
        EXPECT_EQ(value[k].get<double>(), expected[k]) << value.dump();
    }
}

// ---------------------------------------------------------------------------------------
// Frame

TEST(Cli, HelpListsTheSubcommandsAndExitsZero) {
    const Outcome o = run({"--help"});
    EXPECT_EQ(o.exitCode, 0);
    EXPECT_NE(o.out.find("info"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("convert"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("--json"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("--threads"), std::string::npos) << o.out;
    EXPECT_EQ(run({"convert", "--help"}).exitCode, 0);
}

TEST(Cli, UsageErrorsExitTwo) {
    TempDir dir;
    writeXyz(dir.file("a.xyz"), 10, 1);
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"frobnicate"},
        {"--bogus", "info", dir.file("a.xyz")},
        {"info"},
        {"convert", dir.file("a.xyz")},
        {"convert", dir.file("a.xyz"), dir.file("b.xyz"), dir.file("c.xyz")},
        {"--threads", "0", "info", dir.file("a.xyz")},
        {"--threads", "many", "info", dir.file("a.xyz")},
        {"--threads", "100000", "info", dir.file("a.xyz")},
        {"convert", "--color", "1,2", dir.file("a.xyz"), dir.file("b.xyzc")},
        {"convert", "--color", "300,0,0", dir.file("a.xyz"), dir.file("b.xyzc")},
    };
    for (const auto& args : cases) {
        const Outcome o = run(args);
        std::string line;
        for (const std::string& a : args)
            line += a + " ";
        EXPECT_EQ(o.exitCode, 2) << line << "\n" << o.err;
        EXPECT_FALSE(o.err.empty()) << line;
    }
    EXPECT_FALSE(fs::exists(dir.file("b.xyz")));
    EXPECT_FALSE(fs::exists(dir.file("b.xyzc")));
}

TEST(Cli, JsonDoublesReadBackExactly) {
    // The JSON writer's shortest form must round-trip through a correct reader for
    // every double, so that info's numbers can be compared exactly.
    auto rng = testing_helpers::seededRng(99);
    std::uniform_int_distribution<std::uint64_t> bits;
    std::vector<double> values = {0.1,
                                  0.3,
                                  -0.0,
                                  1e-320,
                                  std::numeric_limits<double>::min(),
                                  std::numeric_limits<double>::max(),
                                  std::numeric_limits<double>::denorm_min(),
                                  123456.789012,
                                  1.0 / 3.0};
    for (int i = 0; i < 5000; ++i) {
        const std::uint64_t b = bits(rng);
        double v;
        std::memcpy(&v, &b, sizeof v);
        if (std::isfinite(v)) values.push_back(v);
    }
    for (double v : values) {
        const std::string text = Json(v).dump();
        EXPECT_EQ(std::strtod(text.c_str(), nullptr), v) << text;
        EXPECT_EQ(Json::parse(text).get<double>(), v) << text;
    }
}

// ---------------------------------------------------------------------------------------
// info

TEST(Cli, InfoJsonGivesOneObjectPerFileWithExactNumbers) {
    TempDir dir;
    writeXyz(dir.file("cloud.xyz"), 2000, 2);
    writeBinaryStl(dir.file("part.STL"), 333, 3);
    writeText(dir.file("col.xyzc"), "1.5 2.5 -3.25 1 2 3\n0.1 0.2 0.3 4 5 6\n");

    for (const bool jsonFirst : {true, false}) {
        std::vector<std::string> args = {"info", dir.file("cloud.xyz"), dir.file("part.STL"),
                                         dir.file("col.xyzc")};
        args.insert(jsonFirst ? args.begin() : args.end(), "--json");
        const Outcome o = run(args);
        ASSERT_EQ(o.exitCode, 0) << o.err;
        EXPECT_EQ(o.err, "");
        const Json list = Json::parse(o.out);
        ASSERT_TRUE(list.is_array());
        ASSERT_EQ(list.size(), 3u);

        for (std::size_t i = 0; i < 3; ++i) {
            const std::string file = args[jsonFirst ? i + 2 : i + 1];
            tessaro::commands::FileInfo truth;
            ASSERT_EQ(tessaro::commands::fileInfo(file, truth),
                      tessaro::commands::JobStatus::kCompleted);
            const Json& j = list[i];
            const bool mesh = truth.kind == tessaro::commands::DataKind::kMesh;
            const std::vector<std::string> expectedKeys =
                mesh ? std::vector<std::string>{"file",     "format",   "points",  "triangles",
                                                "bbox_min", "bbox_max", "centroid"}
                     : std::vector<std::string>{"file",     "format",   "points",
                                                "bbox_min", "bbox_max", "centroid"};
            EXPECT_EQ(keysOf(j), expectedKeys);
            EXPECT_EQ(j["file"], file);
            EXPECT_EQ(j["format"], truth.format);
            EXPECT_EQ(j["points"].get<std::size_t>(), truth.points);
            if (mesh) {
                EXPECT_EQ(j["triangles"].get<std::size_t>(), truth.triangles);
            }
            expectVector(j["bbox_min"], truth.bboxMin);
            expectVector(j["bbox_max"], truth.bboxMax);
            expectVector(j["centroid"], truth.centroid);
        }
        EXPECT_EQ(list[0]["points"], 2000);
        EXPECT_EQ(list[1]["format"], "stl");
        EXPECT_EQ(list[1]["points"], 999);
        EXPECT_EQ(list[1]["triangles"], 333);
        EXPECT_EQ(list[2]["format"], "xyzc");
        EXPECT_EQ(list[2]["bbox_min"], Json::parse("[0.1, 0.2, -3.25]"));
        EXPECT_EQ(list[2]["centroid"], Json::parse("[0.8, 1.35, -1.475]"));
    }
}

TEST(Cli, InfoTextPrintsEachFile) {
    TempDir dir;
    writeText(dir.file("two.xyz"), "0 0 0\n1 2 4\n");
    writeText(dir.file("empty.xyz"), "");
    const Outcome o = run({"info", dir.file("two.xyz"), dir.file("empty.xyz")});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(o.out, dir.file("two.xyz") +
                         "\n"
                         "  format:    xyz\n"
                         "  points:    2\n"
                         "  bbox min:  0 0 0\n"
                         "  bbox max:  1 2 4\n"
                         "  centroid:  0.5 1 2\n" +
                         dir.file("empty.xyz") +
                         "\n"
                         "  format:    xyz\n"
                         "  points:    0\n"
                         "  bbox min:  -\n"
                         "  bbox max:  -\n"
                         "  centroid:  -\n");
    const Outcome j = run({"info", "--json", dir.file("empty.xyz")});
    ASSERT_EQ(j.exitCode, 0);
    const Json list = Json::parse(j.out);
    EXPECT_TRUE(list[0]["bbox_min"].is_null());
    EXPECT_TRUE(list[0]["centroid"].is_null());
}

TEST(Cli, InfoReportsFailingFilesAndGoesOn) {
    TempDir dir;
    writeText(dir.file("good.xyz"), "1 2 3\n");
    writeText(dir.file("mesh.off"), "OFF\n");
    const std::string missing = dir.file("missing.xyz");
    const Outcome o = run({"--json", "info", missing, dir.file("good.xyz"), dir.file("mesh.off")});
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_EQ(o.err, "tessaro-cli: " + missing + ": ALG3D::can not open file.\n" +
                         "tessaro-cli: " + dir.file("mesh.off") + ": Unknown file format: off\n");
    const Json list = Json::parse(o.out);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0]["file"], dir.file("good.xyz"));
}

// ---------------------------------------------------------------------------------------
// convert

TEST(Cli, ConvertWritesEveryOutputFormat) {
    TempDir dir;
    writeBinaryStl(dir.file("in.stl"), 50, 4);
    writeXyz(dir.file("in.xyz"), 120, 5);

    Outcome o = run({"convert", dir.file("in.stl"), dir.file("out.XYZ")});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(countLines(readFile(dir.file("out.XYZ"))), 150u);
    EXPECT_NE(o.out.find("150 points, 50 triangles"), std::string::npos) << o.out;

    o = run({"convert", dir.file("in.stl"), dir.file("out.stl")});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(readFile(dir.file("out.stl")).size(), 84u + 50u * 50u);

    o = run({"convert", "--json", dir.file("in.xyz"), dir.file("out.xyzc")});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    const Json j = Json::parse(o.out);
    EXPECT_EQ(keysOf(j), (std::vector<std::string>{"input", "input_format", "output",
                                                   "output_format", "points"}));
    EXPECT_EQ(j["input"], dir.file("in.xyz"));
    EXPECT_EQ(j["input_format"], "xyz");
    EXPECT_EQ(j["output_format"], "xyzc");
    EXPECT_EQ(j["points"], 120);
    const std::string text = readFile(dir.file("out.xyzc"));
    EXPECT_EQ(countLines(text), 120u);
    EXPECT_NE(text.find("\t255\t255\t255\n"), std::string::npos);

    o = run({"convert", "--color", "0,128,255", dir.file("in.xyz"), dir.file("blue.xyzc")});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    tessaro::commands::LoadedData back;
    ASSERT_EQ(tessaro::commands::loadFile(dir.file("blue.xyzc"), back),
              tessaro::commands::JobStatus::kCompleted);
    ASSERT_EQ(back.coloredPoints.size(), 120u);
    for (const alg3D::GLPoint& p : back.coloredPoints) {
        EXPECT_EQ(p.color(), alg3D::Color(0, 128, 255));
    }

    o = run({"convert", dir.file("out.xyzc"), dir.file("again.xyz"), "--threads", "1"});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(countLines(readFile(dir.file("again.xyz"))), 120u);

    // In place: the file is read completely before it is replaced.
    o = run({"convert", dir.file("again.xyz"), dir.file("again.xyz")});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(countLines(readFile(dir.file("again.xyz"))), 120u);
}

TEST(Cli, ConvertingAMeshToPointsWritesEachVertexOnce) {
    TempDir dir;
    writeText(dir.file("box.stl"), testing_helpers::binaryStl(testing_helpers::boxTriangles()));
    for (const char* name : {"box.xyz", "box.xyzc"}) {
        const Outcome o = run({"convert", dir.file("box.stl"), dir.file(name)});
        ASSERT_EQ(o.exitCode, 0) << o.err;
        EXPECT_EQ(countLines(readFile(dir.file(name))), 8u) << name;
    }
}

// A FIFO as input or as target: refused at once (no open that waits for a writer), with
// the message and exit code 1, and the FIFO stays a FIFO.
TEST(Cli, AFifoIsRefusedAsInputAndAsTarget) {
    TempDir dir;
    writeXyz(dir.file("in.xyz"), 20, 7);
    ASSERT_EQ(::mkfifo(dir.file("pipe.xyz").c_str(), 0600), 0);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"info", dir.file("pipe.xyz")},
          std::vector<std::string>{"convert", dir.file("in.xyz"), dir.file("pipe.xyz")}}) {
        const Outcome o = run(args);
        EXPECT_EQ(o.exitCode, 1) << args[0];
        EXPECT_NE(o.err.find("Not a regular file: " + dir.file("pipe.xyz")), std::string::npos)
            << o.err;
    }
    EXPECT_TRUE(std::filesystem::is_fifo(dir.file("pipe.xyz")));
}

TEST(Cli, FailedConversionsLeaveNoNewFileAndKeepExistingOnes) {
    TempDir dir;
    writeXyz(dir.file("in.xyz"), 20, 6);
    writeText(dir.file("bad.stl"), std::string(80, 'x') + std::string("\x05\0\0\0", 4) + "short");
    writeText(dir.file("keep.xyz"), "previous content\n");
    writeText(dir.file("keep.stl"), "previous content\n");

    struct Case {
        std::vector<std::string> args;
        std::string err;
        std::string target;
    };
    const std::string missing = dir.file("missing.xyz");
    const std::vector<Case> cases = {
        {{"convert", missing, dir.file("new.xyz")},
         "tessaro-cli: " + missing + ": ALG3D::can not open file.\n",
         "new.xyz"},
        {{"convert", missing, dir.file("keep.xyz")},
         "tessaro-cli: " + missing + ": ALG3D::can not open file.\n",
         "keep.xyz"},
        {{"convert", dir.file("bad.stl"), dir.file("keep.xyz")},
         "tessaro-cli: " + dir.file("bad.stl") + ": ALG3D::unknown file format.\n",
         "keep.xyz"},
        {{"convert", dir.file("in.xyz"), dir.file("keep.stl")},
         "tessaro-cli: " + dir.file("keep.stl") + ": Only meshes can be saved as STL.\n",
         "keep.stl"},
        {{"convert", dir.file("in.xyz"), dir.file("new.stl")},
         "tessaro-cli: " + dir.file("new.stl") + ": Only meshes can be saved as STL.\n",
         "new.stl"},
        {{"convert", dir.file("in.xyz"), dir.file("new.off")},
         "tessaro-cli: " + dir.file("new.off") + ": Unknown file format!\n",
         "new.off"},
        {{"convert", dir.file("in.xyz"), dir.file("no/dir/new.xyz")},
         "tessaro-cli: " + dir.file("no/dir/new.xyz") +
             ": ALG3D::can not write destination file.\n",
         "no/dir/new.xyz"},
    };
    for (const Case& c : cases) {
        const Outcome o = run(c.args);
        EXPECT_EQ(o.exitCode, 1) << c.err;
        EXPECT_EQ(o.err, c.err);
        EXPECT_EQ(o.out, "");
        if (c.target.rfind("keep", 0) == 0) {
            EXPECT_EQ(readFile(dir.file(c.target)), "previous content\n") << c.err;
        } else {
            EXPECT_FALSE(fs::exists(dir.file(c.target))) << c.err;
        }
    }
    std::vector<std::string> left = dir.entries();
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"bad.stl", "in.xyz", "keep.stl", "keep.xyz"}));
}

// ---------------------------------------------------------------------------------------
// Interrupts

class CliInterrupt : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        input_ = new TempDir("input");
        // 1,500,000 corners: reading and writing them as text takes long enough to be hit.
        writeBinaryStl(input_->file("big.stl"), 500000, 7);
    }
    static void TearDownTestSuite() {
        delete input_;
        input_ = nullptr;
    }
    static std::string bigInput() { return input_->file("big.stl"); }

    template <typename Ready>
    static bool waitUntil(Process& p, Ready ready) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < deadline) {
            if (ready()) return true;
            if (!p.running()) return false;
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        return false;
    }

    static TempDir* input_;
};

TempDir* CliInterrupt::input_ = nullptr;

TEST_F(CliInterrupt, CtrlCDuringTheWriteExits130AndKeepsThePreviousFile) {
    for (const bool existing : {false, true}) {
        TempDir out("out");
        TempDir io("io");
        const std::string target = out.file("big.xyz");
        if (existing) writeText(target, "previous content\n");
        const std::size_t before = out.entries().size();
        Process p({"convert", bigInput(), target}, io.file("stdout.txt"), io.file("stderr.txt"));
        // A new entry in the output folder is the writer's temporary file.
        ASSERT_TRUE(waitUntil(p, [&] { return out.entries().size() > before; }))
            << "the conversion ended before its output appeared";
        ASSERT_EQ(::kill(p.pid(), SIGINT), 0);
        const Outcome o = p.wait();
        EXPECT_EQ(o.signal, 0) << "killed by the signal instead of handling it";
        EXPECT_EQ(o.exitCode, 130) << o.err;
        EXPECT_EQ(o.out, "");
        EXPECT_EQ(o.err, "tessaro-cli: interrupted\n");
        if (existing) {
            EXPECT_EQ(out.entries(), std::vector<std::string>{"big.xyz"});
            EXPECT_EQ(readFile(target), "previous content\n");
        } else {
            EXPECT_TRUE(out.entries().empty());
        }
    }
}

TEST_F(CliInterrupt, InterruptWhileReadingExitsWithoutOutput) {
    for (const int signal : {SIGINT, SIGTERM}) {
        TempDir out("out");
        TempDir io("io");
        Process p({"convert", bigInput(), out.file("big.xyzc")}, io.file("stdout.txt"),
                  io.file("stderr.txt"));
        // Reading has begun when the input is open; should the read already be over, the
        // interrupt hits the write, which must leave nothing behind either.
        ASSERT_TRUE(waitUntil(p, [&] { return p.hasOpen(bigInput()) || !out.entries().empty(); }));
        ASSERT_EQ(::kill(p.pid(), signal), 0);
        const Outcome o = p.wait();
        EXPECT_EQ(o.signal, 0);
        EXPECT_EQ(o.exitCode, 128 + signal) << o.err;
        EXPECT_EQ(o.err, "tessaro-cli: interrupted\n");
        EXPECT_TRUE(out.entries().empty());
    }
}

TEST_F(CliInterrupt, ProgressBarOnATerminalOnly) {
    // stderr on a pseudo terminal: a run long enough to be polled draws the bar and
    // clears it at the end of each step.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const int slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);
    ::fcntl(master, F_SETFL, O_NONBLOCK);

    TempDir out("out");
    TempDir io("io");
    Process p({"convert", bigInput(), out.file("big.xyz")}, io.file("stdout.txt"),
              io.file("stderr.txt"), slave);
    ::close(slave);
    std::string screen;
    auto drain = [&] {
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(master, buffer, sizeof buffer)) > 0)
            screen.append(buffer, n);
    };
    while (p.running()) {
        drain();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const Outcome o = p.wait();
    drain();
    ::close(master);
    EXPECT_EQ(o.exitCode, 0);
    EXPECT_EQ(out.entries(), std::vector<std::string>{"big.xyz"});
    EXPECT_TRUE(screen.find("Reading big.stl [") != std::string::npos ||
                screen.find("Writing big.xyz [") != std::string::npos)
        << screen;
    EXPECT_NE(screen.find("%"), std::string::npos) << screen;
    // Cleared at the end: the screen ends with the erase of the bar's line.
    EXPECT_GE(screen.size(), 4u);
    EXPECT_EQ(screen.substr(screen.size() - 4), "\r\033[K") << screen;

    // Not a terminal: nothing on stderr for a successful run (the other tests check
    // stderr == "" too).
    TempDir small;
    writeBinaryStl(small.file("s.stl"), 10, 8);
    const Outcome quiet = run({"convert", small.file("s.stl"), small.file("s.xyz")});
    EXPECT_EQ(quiet.exitCode, 0);
    EXPECT_EQ(quiet.err, "");
}

}  // namespace
