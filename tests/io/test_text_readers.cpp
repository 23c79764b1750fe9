// Text point readers (.xyz, .xyzc, .pts, .asc by analysis): the documented cases,
// the mended faults (last line without newline, long lines, .xyzc headers) and
// exact reproduction of the numbers in the text.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "io/FileIOInfo.h"
#include "io/TextPointReaders.h"
#include "tests/TestHelpers.h"
#include "tests/io/IoTestSupport.h"

using alg3D::GLPoint;
using alg3D::Vec3d;
using io_test::alg3dText;
using io_test::readJob;
using io_test::writeFile;
namespace tio = tessaro::io;

namespace {

std::vector<Vec3d> readXyzText(const io_test::TempDir& dir, const std::string& text,
                               std::string* error = nullptr) {
    const std::string name = dir.file("points.xyz");
    writeFile(name, text);
    std::vector<Vec3d> points;
    const std::string e = readJob(name, tio::kReadXyz, points);
    if (error != nullptr) {
        *error = e;
    } else {
        EXPECT_EQ(e, "");
    }
    return points;
}

std::vector<GLPoint> readColouredText(const io_test::TempDir& dir, const std::string& text,
                                      int type, std::string* error = nullptr) {
    const std::string name = dir.file(type == tio::kReadPts ? "points.pts" : "points.xyzc");
    writeFile(name, text);
    std::vector<GLPoint> points;
    const std::string e = readJob(name, type, points);
    if (error != nullptr) {
        *error = e;
    } else {
        EXPECT_EQ(e, "");
    }
    return points;
}

}  // namespace

TEST(XyzReader, CommaSemicolonExponentAndTab) {
    io_test::TempDir dir;
    const auto points = readXyzText(dir, "1,5;2.5e1\t-3\n");
    ASSERT_EQ(points.size(), 1u);
    EXPECT_EQ(points[0], Vec3d(1.5, 25, -3));
}

TEST(XyzReader, HeaderAndOtherUnparsableLinesAreSkipped) {
    io_test::TempDir dir;
    const auto points =
        readXyzText(dir, "X Y Z\n1 2 3\n\n4 5\nabc 1 2\n6 7 8 extra tokens\n 9;10;;11 \n");
    ASSERT_EQ(points.size(), 3u);
    EXPECT_EQ(points[0], Vec3d(1, 2, 3));
    EXPECT_EQ(points[1], Vec3d(6, 7, 8));
    EXPECT_EQ(points[2], Vec3d(9, 10, 11));
}

TEST(XyzReader, EmptyFileGivesEmptyCloud) {
    io_test::TempDir dir;
    std::string error;
    const auto points = readXyzText(dir, "", &error);
    EXPECT_EQ(error, "");
    EXPECT_TRUE(points.empty());
}

TEST(XyzReader, MissingFileCannotBeOpened) {
    io_test::TempDir dir;
    std::vector<Vec3d> points{Vec3d(1, 1, 1)};
    EXPECT_EQ(readJob(dir.file("none.xyz"), tio::kReadXyz, points),
              alg3dText("can not open file.\n"));
    EXPECT_TRUE(points.empty());
}

TEST(XyzReader, LongFirstLineCannotBeOpened) {
    io_test::TempDir dir;
    std::string error;
    readXyzText(dir, std::string(300, '7') + "\n1 2 3\n", &error);
    EXPECT_EQ(error, alg3dText("can not open file.\n"));
}

TEST(XyzReader, LastLineWithoutNewlineIsRead) {
    io_test::TempDir dir;
    auto points = readXyzText(dir, "1 2 3\n4 5 6");
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(points[1], Vec3d(4, 5, 6));
    points = readXyzText(dir, "7 8 9");
    ASSERT_EQ(points.size(), 1u);
    EXPECT_EQ(points[0], Vec3d(7, 8, 9));
}

TEST(XyzReader, CarriageReturnsDoNotMatter) {
    io_test::TempDir dir;
    const auto points = readXyzText(dir, "1 2 3\r\n4 5 6\r\n");
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(points[1], Vec3d(4, 5, 6));
}

TEST(XyzReader, LongLineIsOneLine) {
    // A line of 1000 characters is one point, not several pieces read as points.
    io_test::TempDir dir;
    std::string longLine = "1 2 3";
    while (longLine.size() < 1000)
        longLine += " 4 5 6";
    const auto points = readXyzText(dir, "0 0 0\n" + longLine + "\n7 8 9\n");
    ASSERT_EQ(points.size(), 3u);
    EXPECT_EQ(points[0], Vec3d(0, 0, 0));
    EXPECT_EQ(points[1], Vec3d(1, 2, 3));
    EXPECT_EQ(points[2], Vec3d(7, 8, 9));

    // A long run of blanks before the third number still leaves it on its line.
    const auto spaced = readXyzText(dir, "0 0 0\n1 2" + std::string(5000, ' ') + "3\n");
    ASSERT_EQ(spaced.size(), 2u);
    EXPECT_EQ(spaced[1], Vec3d(1, 2, 3));

    // A number cut at byte 255 of a long line must not become a point of its own.
    std::string filler(250, 'x');
    const auto cut = readXyzText(dir, "0 0 0\n" + filler + " 12 13 14 15\n");
    EXPECT_EQ(cut.size(), 1u);
}

TEST(XyzReader, ReproducesTheNumbersOfTheTextExactly) {
    io_test::TempDir dir;
    std::mt19937_64 rng(99);
    std::uniform_real_distribution<double> coordinate(-5000.0, 5000.0);
    std::string text;
    std::vector<Vec3d> expected;
    char line[256];
    for (int i = 0; i < 3000; ++i) {
        const double x = coordinate(rng), y = coordinate(rng) * 1e-7, z = coordinate(rng) * 1e9;
        if (i % 2 == 0) {
            std::snprintf(line, sizeof line, "%.6f\t%.6f\t%.6f\n", x, y, z);
        } else {
            std::snprintf(line, sizeof line, "%.17g %.17g %.17g\n", x, y, z);
        }
        text += line;
        char* p = line;
        Vec3d v;
        for (int k = 0; k < 3; ++k)
            v[k] = std::strtod(p, &p);
        expected.push_back(v);
    }
    const auto points = readXyzText(dir, text);
    ASSERT_EQ(points.size(), expected.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
        ASSERT_EQ(std::memcmp(&points[i], &expected[i], sizeof(Vec3d)), 0) << i;
    }
}

TEST(XyzReader, AbortedReadReturnsWhatWasRead) {
    io_test::TempDir dir;
    const std::string name = dir.file("points.xyz");
    writeFile(name, "1 2 3\n4 5 6\n");
    tio::FileIOInfo info;
    info.fileName = name;
    info.abort = true;  // tested before the first line
    std::vector<Vec3d> points{Vec3d(9, 9, 9)};
    tio::readXyz(info, points);
    EXPECT_TRUE(points.empty());
}

TEST(XyzcReader, ReadsCoordinatesAndColours) {
    io_test::TempDir dir;
    const auto points =
        readColouredText(dir, "1 2 3 10 20 30\n4;5;6;300;-1;255.9\n", tio::kReadXyzc);
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(points[0], GLPoint(1, 2, 3, 10, 20, 30));
    EXPECT_EQ(points[1], GLPoint(4, 5, 6, 44, 255, 255));
}

TEST(XyzcReader, HeaderLineIsSkipped) {
    // The header must not end the read with an empty cloud.
    io_test::TempDir dir;
    const auto points = readColouredText(
        dir, "X Y Z R G B\n1 2 3 4 5 6\nbad line here a b c\n7 8 9 1 2 3\n1 2 3 4 5\n",
        tio::kReadXyzc);
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(points[0], GLPoint(1, 2, 3, 4, 5, 6));
    EXPECT_EQ(points[1], GLPoint(7, 8, 9, 1, 2, 3));
}

TEST(XyzcReader, FewColumnsCannotBeOpened) {
    io_test::TempDir dir;
    std::string error;
    readColouredText(dir, "1 2 3 4 5\n1 2 3 4 5 6\n", tio::kReadXyzc, &error);
    EXPECT_EQ(error, alg3dText("can not open file.\n"));
    readColouredText(dir, "", tio::kReadXyzc, &error);
    EXPECT_EQ(error, alg3dText("can not open file.\n"));
}

TEST(XyzcReader, LastLineWithoutNewlineIsRead) {
    io_test::TempDir dir;
    const auto points = readColouredText(dir, "1 2 3 4 5 6\n7 8 9 10 11 12", tio::kReadXyzc);
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(points[1], GLPoint(7, 8, 9, 10, 11, 12));
}

TEST(PtsReader, SkipsCountLineAndIntensity) {
    io_test::TempDir dir;
    const auto points =
        readColouredText(dir, "2\n1 2 3 anything 10 20 30\n4 5 6 -7 300 0 1\n", tio::kReadPts);
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(points[0], GLPoint(1, 2, 3, 10, 20, 30));
    EXPECT_EQ(points[1], GLPoint(4, 5, 6, 44, 0, 1));
}

TEST(PtsReader, LinesOfSixTokensGiveNoPoints) {
    io_test::TempDir dir;
    const auto points = readColouredText(dir, "2\n1 2 3 4 5 6\n7 8 9 10 11 12\n", tio::kReadPts);
    EXPECT_TRUE(points.empty());
}

TEST(PtsReader, EmptyFileIsAnError) {
    io_test::TempDir dir;
    std::string error;
    readColouredText(dir, "", tio::kReadPts, &error);
    EXPECT_EQ(error, alg3dText("file is empty.\n"));
}

TEST(PtsReader, BadLinesAreSkipped) {
    io_test::TempDir dir;
    const auto points =
        readColouredText(dir, "3\n1 2 3 0 1 2 3\nx 2 3 0 1 2 3\n4 5 6 0 7 8 9", tio::kReadPts);
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(points[1], GLPoint(4, 5, 6, 7, 8, 9));
}

TEST(AscFiles, ColumnsOfTheFirstLineChooseTheReader) {
    io_test::TempDir dir;
    const std::string name = dir.file("scan.ASC");
    writeFile(name, "1 2 3\n");
    EXPECT_EQ(tio::fileTypeForName(name), tio::kReadXyz);
    writeFile(name, "1 2 3 4 5 6 7\n");
    EXPECT_EQ(tio::fileTypeForName(name), tio::kReadXyzc);
    writeFile(name, "1 2\n");
    EXPECT_EQ(tio::fileTypeForName(name), tio::kJobNone);
    EXPECT_EQ(tio::fileTypeForName(dir.file("missing.asc")), tio::kJobNone);

    // An .asc file with 7 columns loads through the .xyzc reader.
    writeFile(name, "1 2 3 4 5 6 7\n");
    std::vector<GLPoint> points;
    EXPECT_EQ(readJob(name, tio::fileTypeForName(name), points), "");
    ASSERT_EQ(points.size(), 1u);
    EXPECT_EQ(points[0], GLPoint(1, 2, 3, 4, 5, 6));
}

TEST(FileTypes, SuffixDecidesCaseInsensitively) {
    EXPECT_EQ(tio::fileTypeForName("a.xyz"), tio::kReadXyz);
    EXPECT_EQ(tio::fileTypeForName("/some/dir.v2/A.XYZ"), tio::kReadXyz);
    EXPECT_EQ(tio::fileTypeForName("a.XyZc"), tio::kReadXyzc);
    EXPECT_EQ(tio::fileTypeForName("a.psl"), tio::kReadPsl);
    EXPECT_EQ(tio::fileTypeForName("a.PTS"), tio::kReadPts);
    EXPECT_EQ(tio::fileTypeForName("a.Stl"), tio::kReadStl);
    EXPECT_EQ(tio::fileTypeForName("a.scn"), tio::kReadScanData);
    EXPECT_EQ(tio::fileTypeForName("a.txt"), tio::kJobNone);
    EXPECT_EQ(tio::fileTypeForName("xyz"), tio::kJobNone);
    EXPECT_EQ(tio::fileTypeForName("dir.xyz/file"), tio::kJobNone);
}

// A line of megabytes is read as its beginning: its point counts, the rest is skipped
// without being held in memory, and the next line is read as usual.
TEST(TextReaders, HugeLineIsReadAsItsBeginning) {
    io_test::TempDir dir;
    const std::string name = dir.file("huge.xyz");
    io_test::writeFile(name, "0 0 0\n1 2 3" + std::string(3 << 20, ' ') + "junk\n4 5 6\n");
    std::vector<alg3D::Vec3d> points;
    ASSERT_EQ(io_test::readJob(name, tessaro::io::kReadXyz, points), "");
    ASSERT_EQ(points.size(), 3u);
    EXPECT_EQ(points[1], alg3D::Vec3d(1, 2, 3));
    EXPECT_EQ(points[2], alg3D::Vec3d(4, 5, 6));
}
