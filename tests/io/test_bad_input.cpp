// Bad input for every reader: empty files, every truncation of a small valid file,
// random bytes, and text where binary is expected and the reverse. Each case must
// end in the reader's error or a (possibly empty) result, never a crash.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "io/FileIOInfo.h"
#include "tests/io/IoTestSupport.h"

using alg3D::GLPoint;
using alg3D::Vec3d;
using io_test::alg3dText;
using io_test::readJob;
using io_test::writeFile;
namespace tio = tessaro::io;

namespace {

struct ReaderCase {
    int type;
    const char* suffix;
};

const ReaderCase kReaders[] = {{tio::kReadXyz, "xyz"},
                               {tio::kReadXyzc, "xyzc"},
                               {tio::kReadPts, "pts"},
                               {tio::kReadPsl, "psl"},
                               {tio::kReadStl, "stl"}};

const std::set<std::string>& knownErrors() {
    static const std::set<std::string> texts = {
        "",
        alg3dText("can not open file.\n"),
        alg3dText("unknown file format.\n"),
        alg3dText("file is empty.\n"),
        alg3dText("error allocating memory.\n"),
    };
    return texts;
}

// Reads `bytes` with the reader of `c`, and checks that it ends in a known way.
// Returns the error text.
std::string probe(const io_test::TempDir& dir, const ReaderCase& c, const std::string& bytes,
                  const std::string& what) {
    const std::string name = dir.file(std::string("probe.") + c.suffix);
    writeFile(name, bytes);
    std::string error;
    std::size_t count = 0;
    if (c.type == tio::kReadXyzc || c.type == tio::kReadPts) {
        std::vector<GLPoint> points;
        error = readJob(name, c.type, points);
        count = points.size();
    } else {
        std::vector<Vec3d> points;
        error = readJob(name, c.type, points);
        count = points.size();
    }
    EXPECT_TRUE(knownErrors().count(error)) << what << ": " << error;
    if (!error.empty()) {
        EXPECT_EQ(count, 0u) << what;
    }
    if (c.type == tio::kReadStl) {
        EXPECT_EQ(count % 3, 0u) << what;
    }
    // Never more points than lines or bytes could hold.
    EXPECT_LE(count, bytes.size()) << what;
    return error;
}

std::string sampleXyz() {
    return "x y z\n1 2 3\n4.5;5,5\t6e0\n-7 -8 -9\n";
}
std::string sampleXyzc() {
    return "1 2 3 10 20 30\n4 5 6 40 50 60\n";
}
std::string samplePts() {
    return "2\n1 2 3 0 10 20 30\n4 5 6 0 40 50 60\n";
}

std::string sampleAsciiStl() {
    return "solid s\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1 0\n"
           "endloop\nendfacet\nendsolid s\n";
}

std::string sampleBinaryStl() {
    std::string s(80, 'h');
    s += std::string("\x01\x00\x00\x00", 4);
    for (int i = 0; i < 12; ++i)
        s += std::string("\x00\x00\x80\x3f", 4);  // 1.0f
    s += std::string(2, '\0');
    return s;
}

std::string samplePsl() {
    std::string s(512, '\0');
    s[136] = 1;
    std::string profile(64, '\0');
    profile[0] = 1;
    std::string segment(64, '\0');
    segment[0] = 2;
    s += profile + segment + std::string(24, '\x40');
    return s;
}

std::string sampleFor(int type) {
    switch (type) {
        case tio::kReadXyz:
            return sampleXyz();
        case tio::kReadXyzc:
            return sampleXyzc();
        case tio::kReadPts:
            return samplePts();
        case tio::kReadPsl:
            return samplePsl();
        default:
            return sampleBinaryStl();
    }
}

}  // namespace

TEST(BadInput, EmptyFiles) {
    io_test::TempDir dir;
    EXPECT_EQ(probe(dir, kReaders[0], "", "xyz"), "");
    EXPECT_EQ(probe(dir, kReaders[1], "", "xyzc"), alg3dText("can not open file.\n"));
    EXPECT_EQ(probe(dir, kReaders[2], "", "pts"), alg3dText("file is empty.\n"));
    EXPECT_EQ(probe(dir, kReaders[3], "", "psl"), alg3dText("unknown file format.\n"));
    EXPECT_EQ(probe(dir, kReaders[4], "", "stl"), alg3dText("unknown file format.\n"));
}

TEST(BadInput, TruncatedAtEveryLength) {
    io_test::TempDir dir;
    for (const ReaderCase& c : kReaders) {
        const std::string full = sampleFor(c.type);
        for (std::size_t length = 0; length <= full.size(); ++length) {
            probe(dir, c, full.substr(0, length),
                  std::string(c.suffix) + " cut at " + std::to_string(length));
        }
    }
    const std::string ascii = sampleAsciiStl();
    for (std::size_t length = 0; length <= ascii.size(); ++length) {
        probe(dir, kReaders[4], ascii.substr(0, length),
              "ascii stl cut at " + std::to_string(length));
    }
}

TEST(BadInput, RandomBytes) {
    io_test::TempDir dir;
    std::mt19937_64 rng(1234);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> size(0, 2000);
    for (int trial = 0; trial < 60; ++trial) {
        std::string bytes(static_cast<std::size_t>(size(rng)), '\0');
        for (char& b : bytes)
            b = static_cast<char>(byte(rng));
        for (const ReaderCase& c : kReaders) {
            probe(dir, c, bytes, std::string(c.suffix) + " random " + std::to_string(trial));
        }
    }
    // Random changes to valid files reach deeper into the structures.
    for (const ReaderCase& c : kReaders) {
        const std::string full = sampleFor(c.type);
        for (int trial = 0; trial < 200; ++trial) {
            std::string bytes = full;
            std::uniform_int_distribution<std::size_t> at(0, bytes.size() - 1);
            for (int k = 0; k < 1 + trial % 4; ++k)
                bytes[at(rng)] = static_cast<char>(byte(rng));
            probe(dir, c, bytes, std::string(c.suffix) + " mutated " + std::to_string(trial));
        }
    }
}

TEST(BadInput, HugeCounts) {
    io_test::TempDir dir;
    // Binary STL claiming 2^31 and 2^32 - 1 triangles.
    for (std::uint32_t count : {0x80000000u, 0xffffffffu, 0x7fffffffu}) {
        std::string bytes = sampleBinaryStl();
        for (int i = 0; i < 4; ++i)
            bytes[80 + i] = static_cast<char>((count >> (8 * i)) & 0xff);
        EXPECT_EQ(probe(dir, kReaders[4], bytes, "stl count"), alg3dText("unknown file format.\n"));
    }
    // Profile files claiming 2^31 - 1 and 2^31 (negative) items at each level.
    for (std::size_t offset : {std::size_t(136), std::size_t(512), std::size_t(576)}) {
        for (std::uint32_t count : {0x80000000u, 0x7fffffffu, 0xffffffffu}) {
            std::string bytes = samplePsl();
            for (int i = 0; i < 4; ++i) {
                bytes[offset + i] = static_cast<char>((count >> (8 * i)) & 0xff);
            }
            EXPECT_EQ(probe(dir, kReaders[3], bytes, "psl count"),
                      alg3dText("unknown file format.\n"));
        }
    }
}

TEST(BadInput, TextWhereBinaryIsExpectedAndTheReverse) {
    io_test::TempDir dir;
    // Text as binary: .psl and .stl readers.
    for (const std::string& text :
         {sampleXyz(), sampleXyzc(), samplePts(), std::string(600, '7')}) {
        EXPECT_EQ(probe(dir, kReaders[3], text, "text as psl"),
                  alg3dText("unknown file format.\n"));
        EXPECT_EQ(probe(dir, kReaders[4], text, "text as stl"),
                  alg3dText("unknown file format.\n"));
    }
    // Binary as text: the text readers either fail or find nothing useful.
    for (const std::string& binary : {sampleBinaryStl(), samplePsl()}) {
        for (int k = 0; k < 3; ++k)
            probe(dir, kReaders[k], binary, "binary as text");
    }
    // An ASCII STL read as a point file yields no points.
    std::vector<Vec3d> points;
    writeFile(dir.file("mesh.xyz"), sampleAsciiStl());
    EXPECT_EQ(readJob(dir.file("mesh.xyz"), tio::kReadXyz, points), "");
    EXPECT_TRUE(points.empty());
}

TEST(BadInput, FolderInsteadOfFile) {
    io_test::TempDir dir;
    for (const ReaderCase& c : kReaders) {
        const std::string name = dir.file(std::string("folder.") + c.suffix);
        io_test::fs::create_directory(name);
        std::string error;
        if (c.type == tio::kReadXyzc || c.type == tio::kReadPts) {
            std::vector<GLPoint> points;
            error = readJob(name, c.type, points);
        } else {
            std::vector<Vec3d> points;
            error = readJob(name, c.type, points);
        }
        EXPECT_EQ(error, alg3dText("can not open file.\n")) << c.suffix;
    }
}
