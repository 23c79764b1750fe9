// STL meshes: the binary writer, both readers, the choice between them, and round
// trips at float precision.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "alg3D/matrix/Alg3dException.h"
#include "io/FileIOInfo.h"
#include "io/StlFormat.h"
#include "io/StlReaders.h"
#include "io/StlWriter.h"
#include "tests/TestHelpers.h"
#include "tests/io/IoTestSupport.h"

using alg3D::GLPoint;
using alg3D::Vec3d;
using io_test::alg3dText;
using io_test::readFile;
using io_test::readJob;
using io_test::writeFile;
using io_test::writeJob;
namespace tio = tessaro::io;

namespace {

const std::string kUnknown = alg3dText("unknown file format.\n");

void putU32(std::string& s, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        s.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}

void putF32(std::string& s, float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, 4);
    putU32(s, u);
}

float getF32(const std::string& s, std::size_t offset) {
    std::uint32_t u = 0;
    for (int i = 0; i < 4; ++i) {
        u |= std::uint32_t(static_cast<unsigned char>(s[offset + i])) << (8 * i);
    }
    float f;
    std::memcpy(&f, &u, 4);
    return f;
}

// A binary STL with the given header text and corners (three per triangle).
std::string binaryStl(const std::string& header, const std::vector<Vec3d>& corners,
                      std::int64_t count = -1) {
    std::string s = header;
    s.resize(80, '\0');
    putU32(s, count < 0 ? static_cast<std::uint32_t>(corners.size() / 3)
                        : static_cast<std::uint32_t>(count));
    for (std::size_t t = 0; t + 2 < corners.size(); t += 3) {
        for (int k = 0; k < 3; ++k)
            putF32(s, 0.0f);
        for (int c = 0; c < 3; ++c) {
            for (int k = 0; k < 3; ++k)
                putF32(s, static_cast<float>(corners[t + c][k]));
        }
        s += std::string(2, '\0');
    }
    return s;
}

std::vector<Vec3d> readStlText(const io_test::TempDir& dir, const std::string& bytes,
                               std::string* error = nullptr) {
    const std::string name = dir.file("mesh.stl");
    writeFile(name, bytes);
    std::vector<Vec3d> points;
    const std::string e = readJob(name, tio::kReadStl, points);
    if (error != nullptr) {
        *error = e;
    } else {
        EXPECT_EQ(e, "");
    }
    return points;
}

const std::vector<Vec3d> kTwoTriangles = {Vec3d(0, 0, 0), Vec3d(1, 0, 0), Vec3d(0, 1, 0),
                                          Vec3d(1, 1, 1), Vec3d(2, 1, 1), Vec3d(1, 2, 1.5)};

const char* const kAsciiCube =
    "solid part one\n"
    "  facet normal 0 0 1\n"
    "    outer loop\n"
    "      vertex 0 0 0\n"
    "      vertex 1 0 0\n"
    "      vertex 0 1 0\n"
    "    endloop\n"
    "  endfacet\n"
    "  facet normal 0 0 1\n"
    "    outer loop\n"
    "      vertex 1 1 1\n"
    "      vertex 2 1 1\n"
    "      vertex 1 2 1.5\n"
    "    endloop\n"
    "  endfacet\n"
    "endsolid part one\n";

}  // namespace

TEST(StlWriter, WritesHeaderCountNormalsAndCorners) {
    io_test::TempDir dir;
    const std::string name = dir.file("mesh.stl");
    // The second triangle has two equal corners: its normal is zero.
    std::vector<Vec3d> points = {
        Vec3d(0, 0, 0), Vec3d(2, 0, 0), Vec3d(0, 3, 0), Vec3d(1, 1, 1),
        Vec3d(1, 1, 1), Vec3d(5, 0, 2), Vec3d(9, 9, 9)};  // a remainder point is not written
    ASSERT_EQ(writeJob(name, tio::kWriteStl, points), "");
    const std::string bytes = readFile(name);
    ASSERT_EQ(bytes.size(), 84u + 2 * 50u);
    const std::string header = "created with Stelvane by Halvorsk";
    EXPECT_EQ(bytes.substr(0, header.size()), header);
    EXPECT_EQ(bytes.substr(header.size(), 80 - header.size()),
              std::string(80 - header.size(), '\0'));
    EXPECT_EQ(static_cast<unsigned char>(bytes[80]), 2);
    EXPECT_EQ(bytes.substr(81, 3), std::string(3, '\0'));
    // (B - A) x (C - B) = (2,0,0) x (-2,3,0) = (0,0,6), normalised (0,0,1).
    EXPECT_EQ(getF32(bytes, 84), 0.0f);
    EXPECT_EQ(getF32(bytes, 88), 0.0f);
    EXPECT_EQ(getF32(bytes, 92), 1.0f);
    EXPECT_EQ(getF32(bytes, 96 + 12), 2.0f);  // B.x
    EXPECT_EQ(getF32(bytes, 96 + 28), 3.0f);  // C.y
    EXPECT_EQ(bytes.substr(84 + 48, 2), std::string(2, '\0'));
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(getF32(bytes, 134 + 4 * k), 0.0f);
    EXPECT_EQ(getF32(bytes, 134 + 36), 5.0f);
}

TEST(StlWriter, NormalIsOfUnitLength) {
    io_test::TempDir dir;
    const std::string name = dir.file("mesh.stl");
    std::vector<Vec3d> points = {Vec3d(0.3, -1, 2), Vec3d(4, 5, -6), Vec3d(-7, 8, 9.5)};
    ASSERT_EQ(writeJob(name, tio::kWriteStl, points), "");
    const std::string bytes = readFile(name);
    const Vec3d n = (points[1] - points[0]).cross(points[2] - points[1]).normalized();
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(getF32(bytes, 84 + 4 * k), static_cast<float>(n[k]));
}

TEST(StlWriter, FewerThanThreePointsGiveAnEmptyMesh) {
    io_test::TempDir dir;
    const std::string name = dir.file("mesh.stl");
    ASSERT_EQ(writeJob(name, tio::kWriteStl, std::vector<Vec3d>{Vec3d(1, 2, 3)}), "");
    EXPECT_EQ(io_test::fs::file_size(name), 84u);
    std::vector<Vec3d> back{Vec3d(1, 1, 1)};
    EXPECT_EQ(readJob(name, tio::kReadStl, back), "");
    EXPECT_TRUE(back.empty());
}

TEST(StlWriter, RoundTripAtFloatPrecision) {
    io_test::TempDir dir;
    const std::string name = dir.file("mesh.stl");
    std::mt19937_64 rng(21);
    std::uniform_real_distribution<double> coordinate(-1e3, 1e3);
    std::vector<GLPoint> points(3 * 2000);
    for (GLPoint& p : points)
        p = GLPoint(coordinate(rng), coordinate(rng), coordinate(rng), 1, 2, 3);
    ASSERT_EQ(writeJob(name, tio::kWriteStl, points), "");
    std::vector<Vec3d> back;
    ASSERT_EQ(readJob(name, tio::kReadStl, back), "");
    ASSERT_EQ(back.size(), points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
        for (int k = 0; k < 3; ++k) {
            ASSERT_EQ(back[i][k], static_cast<double>(static_cast<float>(points[i][k])));
        }
        ASSERT_VEC_NEAR(back[i], points[i].vec(), 1e3 * 6e-8);
    }
}

TEST(StlBinaryReader, ReadsCornersInFileOrder) {
    io_test::TempDir dir;
    const auto points = readStlText(dir, binaryStl("binary mesh", kTwoTriangles));
    EXPECT_EQ(points, kTwoTriangles);
}

TEST(StlBinaryReader, SolidHeaderWithMatchingSizeIsBinary) {
    // CAD programs write "solid" into binary headers.
    io_test::TempDir dir;
    const std::string bytes = binaryStl("solid exported by a CAD program", kTwoTriangles);
    writeFile(dir.file("mesh.stl"), bytes);
    EXPECT_EQ(tio::detectStlEncoding(dir.file("mesh.stl")), tio::StlEncoding::kBinary);
    EXPECT_EQ(readStlText(dir, bytes), kTwoTriangles);
}

TEST(StlBinaryReader, SolidHeaderWithOtherSizeGoesByKeyword) {
    io_test::TempDir dir;
    std::string error;
    const auto points = readStlText(dir, binaryStl("solid x", kTwoTriangles) + "junk", &error);
    EXPECT_EQ(error, kUnknown);
    EXPECT_TRUE(points.empty());
}

TEST(StlBinaryReader, CountMustMatchTheLength) {
    io_test::TempDir dir;
    std::string error;
    readStlText(dir, binaryStl("mesh", kTwoTriangles, 3), &error);
    EXPECT_EQ(error, kUnknown);
    readStlText(dir, binaryStl("mesh", kTwoTriangles, 1), &error);
    EXPECT_EQ(error, kUnknown);
    readStlText(dir, binaryStl("mesh", kTwoTriangles, 0x80000000u), &error);
    EXPECT_EQ(error, kUnknown);
    readStlText(dir, binaryStl("mesh", kTwoTriangles, 0xffffffffu), &error);
    EXPECT_EQ(error, kUnknown);
    // Up to 49 bytes beyond the last triangle are tolerated.
    EXPECT_EQ(readStlText(dir, binaryStl("mesh", kTwoTriangles) + std::string(49, 'x')),
              kTwoTriangles);
}

TEST(StlBinaryReader, EmptyMeshAndShortFiles) {
    io_test::TempDir dir;
    EXPECT_TRUE(readStlText(dir, binaryStl("empty", {})).empty());
    std::string error;
    readStlText(dir, binaryStl("empty", {}).substr(0, 83), &error);
    EXPECT_EQ(error, kUnknown);
    readStlText(dir, "", &error);
    EXPECT_EQ(error, kUnknown);
}

TEST(StlBinaryReader, MissingFileCannotBeOpened) {
    io_test::TempDir dir;
    std::vector<Vec3d> points;
    EXPECT_EQ(readJob(dir.file("none.stl"), tio::kReadStl, points),
              alg3dText("can not open file.\n"));
}

TEST(StlAsciiReader, ReadsThePublishedLayout) {
    io_test::TempDir dir;
    writeFile(dir.file("mesh.stl"), kAsciiCube);
    EXPECT_EQ(tio::detectStlEncoding(dir.file("mesh.stl")), tio::StlEncoding::kAscii);
    EXPECT_EQ(readStlText(dir, kAsciiCube), kTwoTriangles);
}

TEST(StlAsciiReader, LineBreaksAndBlankLinesDoNotMatter) {
    io_test::TempDir dir;
    // Everything on one line.
    std::string oneLine = kAsciiCube;
    for (char& c : oneLine) {
        if (c == '\n') c = ' ';
    }
    EXPECT_EQ(readStlText(dir, oneLine), kTwoTriangles);
    // Windows line ends, blank lines, tabs and keywords split over lines.
    const std::string odd =
        "solid\r\n\r\nfacet\r\nnormal 0 0 1 outer\tloop\r\n\r\n vertex 0\r\n0 0\r\n"
        "vertex 1 0 0 vertex 0 1 0 endloop\n\n\nendfacet\r\n"
        "facet normal nan -nan inf outer loop vertex +1 1e0 1 vertex 2 1 1 vertex 1 2 1.5 "
        "endloop endfacet\r\nendsolid\r\n";
    EXPECT_EQ(readStlText(dir, odd), kTwoTriangles);
}

TEST(StlAsciiReader, CoordinatesAreSinglePrecision) {
    io_test::TempDir dir;
    const auto points = readStlText(dir,
                                    "solid s\nfacet normal 0 0 0\nouter loop\n"
                                    "vertex 0.1 -0.3 1e-50\nvertex 1.5E+2 3 4\nvertex 7 8 9\n"
                                    "endloop\nendfacet\nendsolid s\n");
    ASSERT_EQ(points.size(), 3u);
    EXPECT_EQ(points[0].x, static_cast<double>(0.1f));
    EXPECT_EQ(points[0].y, static_cast<double>(-0.3f));
    EXPECT_EQ(points[0].z, 0.0);
    EXPECT_EQ(points[1].x, 150.0);
}

TEST(StlAsciiReader, SeveralSolidsAndMissingEndsolid) {
    io_test::TempDir dir;
    const std::string first = std::string(kAsciiCube);
    const std::string body =
        first.substr(first.find("  facet"), first.find("endsolid") - first.find("  facet"));
    // Two solids.
    auto points = readStlText(dir, first + "solid second\n" + body + "endsolid second\n");
    EXPECT_EQ(points.size(), 12u);
    // No endsolid at all.
    points = readStlText(dir, "solid a\n" + body);
    EXPECT_EQ(points, kTwoTriangles);
    // Something else after endsolid is not read.
    points = readStlText(dir, first + "trailing words 1 2 3\n");
    EXPECT_EQ(points, kTwoTriangles);
    // No facets.
    points = readStlText(dir, "solid empty\nendsolid empty\n");
    EXPECT_TRUE(points.empty());
}

TEST(StlAsciiReader, SolidLineMayBeTheSecond) {
    io_test::TempDir dir;
    EXPECT_EQ(readStlText(dir, std::string("\n") + kAsciiCube), kTwoTriangles);
    EXPECT_EQ(readStlText(dir, std::string("comment line\n") + kAsciiCube), kTwoTriangles);
}

TEST(StlAsciiReader, BadVertexIsAnUnknownFormat) {
    io_test::TempDir dir;
    const std::string good = kAsciiCube;
    const std::string vertex = "vertex 1 0 0";
    for (const char* bad : {"vertex 1.0abc 0 0", "vertex x 0 0", "vertex 1 0", "vertex 1 0 nan",
                            "vertex 1 inf 0", "vertex 1e39 0 0", "vertex --1 0 0", "vertex 1,5 0 0",
                            "vertex 0x10 0 0", "vertex", "vertice 1 0 0", "vertex 1 0 0 0"}) {
        std::string text = good;
        text.replace(text.find(vertex), vertex.size(), bad);
        std::string error;
        const auto points = readStlText(dir, text, &error);
        EXPECT_EQ(error, kUnknown) << bad;
        EXPECT_TRUE(points.empty()) << bad;
    }
}

TEST(StlAsciiReader, GrammarErrorsAreUnknownFormats) {
    io_test::TempDir dir;
    const std::string good = kAsciiCube;
    for (const auto& [from, to] : std::vector<std::pair<std::string, std::string>>{
             {"facet normal 0 0 1", "facet 0 0 1"},
             {"outer loop", "outer"},
             {"outer loop", "loop outer"},
             {"endloop", "end loop"},
             {"endfacet", ""},
             {"endloop", ""},
             {"facet normal", "FACET NORMAL"},
             {"solid part one", "solid part one\nsomething"}}) {
        std::string text = good;
        text.replace(text.find(from), from.size(), to);
        std::string error;
        readStlText(dir, text, &error);
        EXPECT_EQ(error, kUnknown) << from << " -> " << to;
    }
}

TEST(StlAsciiReader, TruncatedFacetIsAnUnknownFormat) {
    // Every cut inside a facet fails; cuts between facets keep whole triangles.
    io_test::TempDir dir;
    const std::string text = kAsciiCube;
    const std::size_t firstFacet = text.find("  facet");
    const std::size_t secondFacet = text.find("  facet", firstFacet + 1);
    for (std::size_t length = 0; length <= text.size(); ++length) {
        std::string error;
        const auto points = readStlText(dir, text.substr(0, length), &error);
        EXPECT_EQ(points.size() % 3, 0u) << length;
        if (error.empty()) {
            EXPECT_TRUE(points.empty() || points.size() == 3 || points == kTwoTriangles) << length;
        } else {
            EXPECT_EQ(error, kUnknown) << length;
            EXPECT_TRUE(points.empty());
        }
        if (length > firstFacet + 8 && length < secondFacet - 3) {
            EXPECT_EQ(error, kUnknown) << length;
        }
    }
}

TEST(StlAsciiReader, AbortedReadKeepsWholeTriangles) {
    io_test::TempDir dir;
    writeFile(dir.file("mesh.stl"), kAsciiCube);
    tio::FileIOInfo info;
    info.fileName = dir.file("mesh.stl");
    info.abort = true;
    std::vector<Vec3d> points{Vec3d(1, 1, 1)};
    tio::readStlAscii(info, points);
    EXPECT_TRUE(points.empty());
    writeFile(dir.file("mesh.stl"), binaryStl("m", kTwoTriangles));
    points.assign(1, Vec3d());
    tio::readStlBinary(info, points);
    EXPECT_TRUE(points.empty());
}

TEST(StlEncoding, KeywordRule) {
    io_test::TempDir dir;
    const std::string name = dir.file("mesh.stl");
    writeFile(name, "solid");
    EXPECT_EQ(tio::detectStlEncoding(name), tio::StlEncoding::kAscii);
    writeFile(name, "  ;solidname\n");
    EXPECT_EQ(tio::detectStlEncoding(name), tio::StlEncoding::kAscii);
    writeFile(name, "first\nsolid\n");
    EXPECT_EQ(tio::detectStlEncoding(name), tio::StlEncoding::kAscii);
    writeFile(name, "first\nsecond\nsolid\n");
    EXPECT_EQ(tio::detectStlEncoding(name), tio::StlEncoding::kBinary);
    writeFile(name, "soli");
    EXPECT_EQ(tio::detectStlEncoding(name), tio::StlEncoding::kBinary);
    writeFile(name, "");
    EXPECT_EQ(tio::detectStlEncoding(name), tio::StlEncoding::kBinary);
    writeFile(name, std::string(1000, 'x') + "\nsolid\n");
    EXPECT_EQ(tio::detectStlEncoding(name), tio::StlEncoding::kAscii);
    // Beyond 64 KiB a first line is not read to its end: a large file without newlines
    // is judged binary from its first bytes.
    writeFile(name, std::string(70000, 'x') + "\nsolid\n");
    EXPECT_EQ(tio::detectStlEncoding(name), tio::StlEncoding::kBinary);
    writeFile(name, std::string(65535, 'x') + "\nsolid\n");
    EXPECT_EQ(tio::detectStlEncoding(name), tio::StlEncoding::kAscii);
    EXPECT_THROW(tio::detectStlEncoding(dir.file("none.stl")), alg3D::Alg3dException);
}
