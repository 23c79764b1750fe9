// Text point writers: byte equality with printf formatting, empty containers,
// appending, round trips through the readers, and argument checks.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "alg3D/matrix/Alg3dException.h"
#include "io/FileIOInfo.h"
#include "io/TextPointWriters.h"
#include "tests/TestHelpers.h"
#include "tests/io/IoTestSupport.h"

using alg3D::Color;
using alg3D::GLPoint;
using alg3D::Vec3d;
using io_test::readFile;
using io_test::readJob;
using io_test::writeJob;
namespace tio = tessaro::io;

namespace {

std::string printfText(const char* format, double value) {
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

std::string fixedText(double value, int decimals) {
    char buffer[512];
    char* end = tio::formatFixed(buffer, value, decimals);
    return std::string(buffer, end);
}

// Values that stress the formatting: random bit patterns, random magnitudes, values
// that round at the sixth decimal, and special values.
std::vector<double> awkwardValues() {
    std::vector<double> values = {0.0,
                                  -0.0,
                                  1.0,
                                  -1.0,
                                  0.5e-6,
                                  -0.5e-6,
                                  1.5e-6,
                                  2.5e-6,
                                  0.0000005,
                                  0.0000015,
                                  0.1234565,
                                  0.1234575,
                                  9.9999995,
                                  999999.9999995,
                                  -999999.9999995,
                                  1e-300,
                                  -1e-300,
                                  DBL_MIN,
                                  std::numeric_limits<double>::denorm_min(),
                                  DBL_MAX,
                                  -DBL_MAX,
                                  1e22,
                                  1e23,
                                  4503599627370496.5,
                                  9007199254740993.0,
                                  std::numeric_limits<double>::infinity(),
                                  -std::numeric_limits<double>::infinity()};
    std::mt19937_64 rng(314159);
    std::uniform_int_distribution<std::uint64_t> bits;
    for (int i = 0; i < 20000; ++i) {
        std::uint64_t b = bits(rng);
        double v;
        std::memcpy(&v, &b, sizeof v);
        if (!std::isnan(v)) values.push_back(v);
    }
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::uniform_int_distribution<int> magnitude(-9, 15);
    for (int i = 0; i < 50000; ++i)
        values.push_back(unit(rng) * std::pow(10.0, magnitude(rng)));
    // Decimal halves at the sixth and fourth decimal, as near as doubles get.
    std::uniform_int_distribution<long long> mantissa(-99999999999LL, 99999999999LL);
    for (int i = 0; i < 20000; ++i) {
        values.push_back((static_cast<double>(mantissa(rng)) + 0.5) / 1e6);
        values.push_back((static_cast<double>(mantissa(rng)) + 0.5) / 1e4);
        values.push_back(std::nextafter((static_cast<double>(mantissa(rng)) + 0.5) / 1e6, 0.0));
    }
    // Exact ties: odd multiples of 1/128 end in a 5 at the seventh decimal, of 1/32
    // at the fifth; printf rounds them to even.
    for (int k = -3000; k <= 3000; ++k) {
        values.push_back(k / 128.0);
        values.push_back(k / 32.0);
        values.push_back(k / 128.0 + 1e6);
        values.push_back(std::ldexp(static_cast<double>(k), -30));
    }
    // Around the limits of the integer path.
    for (double edge : {1e12, 999999999999.99994, 4503599627370496.0, 9.2e18, 1.8e19}) {
        values.push_back(edge);
        values.push_back(-edge);
        values.push_back(std::nextafter(edge, 0.0));
        values.push_back(std::nextafter(edge, 1e300));
    }
    return values;
}

}  // namespace

TEST(FixedFormat, MatchesPrintfByteForByte) {
    for (double v : awkwardValues()) {
        ASSERT_EQ(fixedText(v, 6), printfText("%lf", v)) << printfText("%.17g", v);
        ASSERT_EQ(fixedText(v, 4), printfText("%.4lf", v)) << printfText("%.17g", v);
    }
    std::mt19937_64 rng(3);
    std::uniform_int_distribution<std::size_t> pick(0, 20000);
    const auto values = awkwardValues();
    char format[16];
    for (int decimals = 0; decimals <= 12; ++decimals) {
        std::snprintf(format, sizeof format, "%%.%df", decimals);
        for (int i = 0; i < 3000; ++i) {
            const double v = values[pick(rng) % values.size()];
            ASSERT_EQ(fixedText(v, decimals), printfText(format, v)) << format << " " << v;
        }
    }
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(fixedText(nan, 6), printfText("%lf", nan));
    EXPECT_EQ(fixedText(-nan, 6), printfText("%lf", -nan));
}

TEST(XyzWriter, WritesPrintfLines) {
    io_test::TempDir dir;
    const std::string name = dir.file("out.xyz");
    std::vector<Vec3d> points;
    std::string expected;
    char line[2048];
    for (double v : awkwardValues()) {
        if (points.size() == 30000) break;
        points.emplace_back(v, -v * 0.5, v * 1e-3);
        std::snprintf(line, sizeof line, "%lf\t%lf\t%lf\n", v, -v * 0.5, v * 1e-3);
        expected += line;
    }
    ASSERT_EQ(writeJob(name, tio::kWriteXyz, points), "");
    EXPECT_EQ(readFile(name), expected);

    // The same lines from coloured points.
    std::vector<GLPoint> coloured;
    for (const Vec3d& p : points)
        coloured.emplace_back(p.x, p.y, p.z, 1, 2, 3);
    ASSERT_EQ(writeJob(name, tio::kWriteXyz, coloured), "");
    EXPECT_EQ(readFile(name), expected);
}

TEST(XyzWriter, EmptyContainerCreatesNoFile) {
    io_test::TempDir dir;
    const std::string name = dir.file("out.xyz");
    ASSERT_EQ(writeJob(name, tio::kWriteXyz, std::vector<Vec3d>()), "");
    EXPECT_FALSE(io_test::fs::exists(name));
    io_test::writeFile(name, "old\n");
    ASSERT_EQ(writeJob(name, tio::kWriteXyz, std::vector<Vec3d>()), "");
    EXPECT_EQ(readFile(name), "old\n");
    EXPECT_EQ(dir.entries().size(), 1u);
}

TEST(XyzWriter, AppendAddsToTheFile) {
    io_test::TempDir dir;
    const std::string name = dir.file("out.xyz");
    io_test::writeFile(name, "first\n");
    ASSERT_EQ(writeJob(name, tio::kWriteXyz, std::vector<Vec3d>{Vec3d(1, 2, 3)}, true), "");
    EXPECT_EQ(readFile(name), "first\n1.000000\t2.000000\t3.000000\n");
    // Without append the file is replaced.
    ASSERT_EQ(writeJob(name, tio::kWriteXyz, std::vector<Vec3d>{Vec3d(4, 5, 6)}), "");
    EXPECT_EQ(readFile(name), "4.000000\t5.000000\t6.000000\n");
    // Appending to a file that does not exist creates it.
    const std::string fresh = dir.file("fresh.xyz");
    ASSERT_EQ(writeJob(fresh, tio::kWriteXyz, std::vector<Vec3d>{Vec3d(7, 8, 9)}, true), "");
    EXPECT_EQ(readFile(fresh), "7.000000\t8.000000\t9.000000\n");
}

TEST(XyzWriter, UnwritablePlaceGivesTheWriterError) {
    io_test::TempDir dir;
    const std::string name = dir.file("no-such-folder/out.xyz");
    EXPECT_EQ(writeJob(name, tio::kWriteXyz, std::vector<Vec3d>{Vec3d(1, 2, 3)}),
              io_test::alg3dText("can not write destination file.\n"));
    EXPECT_EQ(writeJob(name, tio::kWriteXyz, std::vector<Vec3d>{Vec3d(1, 2, 3)}, true),
              io_test::alg3dText("can not write destination file.\n"));
    EXPECT_TRUE(dir.entries().empty());
}

TEST(XyzWriter, RoundTripWithinSixDecimals) {
    io_test::TempDir dir;
    const std::string name = dir.file("round.xyz");
    std::mt19937_64 rng(4);
    std::uniform_real_distribution<double> coordinate(-1e4, 1e4);
    std::vector<Vec3d> points(5000);
    for (Vec3d& p : points)
        p = Vec3d(coordinate(rng), coordinate(rng), coordinate(rng) * 1e-4);
    ASSERT_EQ(writeJob(name, tio::kWriteXyz, points), "");
    std::vector<Vec3d> back;
    ASSERT_EQ(readJob(name, tio::kReadXyz, back), "");
    ASSERT_EQ(back.size(), points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
        // Six decimals: the error is at most half a unit of the last decimal (plus the
        // representation error of a double near 1e4).
        ASSERT_VEC_NEAR(back[i], points[i], 0.5e-6 + 1e-11);
        // And the reader gives exactly the double of the written text.
        Vec3d fromText(std::strtod(fixedText(points[i].x, 6).c_str(), nullptr),
                       std::strtod(fixedText(points[i].y, 6).c_str(), nullptr),
                       std::strtod(fixedText(points[i].z, 6).c_str(), nullptr));
        ASSERT_EQ(back[i], fromText);
    }
}

TEST(XyzcWriter, PlainPointsWithColoursUseSixDecimals) {
    io_test::TempDir dir;
    const std::string name = dir.file("out.xyzc");
    const std::vector<Vec3d> points = {Vec3d(1.25, -2, 3e-7), Vec3d(100, 0.0000005, -0.0)};
    const std::vector<Color> colors = {Color(0, 128, 255), Color(9, 10, 99)};
    tio::FileIOInfo info;
    info.fileName = name;
    info.type = tio::kWriteXyzc;
    tio::writeFileJob(&info, &points, &colors);
    ASSERT_EQ(io_test::errorText(info), "");
    char expected[512];
    std::snprintf(expected, sizeof expected,
                  "%lf\t%lf\t%lf\t%d\t%d\t%d\n%lf\t%lf\t%lf\t%d\t%d\t%d\n", 1.25, -2.0, 3e-7, 0,
                  128, 255, 100.0, 0.0000005, -0.0, 9, 10, 99);
    EXPECT_EQ(readFile(name), expected);
}

TEST(XyzcWriter, ColouredPointsUseFourDecimalsInFiveCharacters) {
    io_test::TempDir dir;
    const std::string name = dir.file("out.xyzc");
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<GLPoint> points = {GLPoint(1.23456, -0.00005, 12345.6789, 1, 22, 255),
                                   GLPoint(inf, -inf, 0.00015, 0, 0, 0)};
    std::string expected;
    char line[2048];
    for (const GLPoint& p : points) {
        std::snprintf(line, sizeof line, "%5.4lf\t%5.4lf\t%5.4lf\t%d\t%d\t%d\n", p.x, p.y, p.z, p.r,
                      p.g, p.b);
        expected += line;
    }
    for (double v : awkwardValues()) {
        if (points.size() == 20000) break;
        points.emplace_back(v, v * 3, -v, 7, 8, 9);
        std::snprintf(line, sizeof line, "%5.4lf\t%5.4lf\t%5.4lf\t%d\t%d\t%d\n", v, v * 3, -v, 7, 8,
                      9);
        expected += line;
    }
    ASSERT_EQ(writeJob(name, tio::kWriteXyzc, points), "");
    EXPECT_EQ(readFile(name), expected);
}

TEST(XyzcWriter, EmptyContainerGivesEmptyFile) {
    io_test::TempDir dir;
    const std::string name = dir.file("out.xyzc");
    io_test::writeFile(name, "old contents\n");
    ASSERT_EQ(writeJob(name, tio::kWriteXyzc, std::vector<GLPoint>()), "");
    ASSERT_TRUE(io_test::fs::exists(name));
    EXPECT_EQ(readFile(name), "");
}

TEST(XyzcWriter, OpenFailureHasItsOwnText) {
    io_test::TempDir dir;
    EXPECT_EQ(writeJob(dir.file("none/out.xyzc"), tio::kWriteXyzc,
                       std::vector<GLPoint>{GLPoint(1, 2, 3)}),
              "cannot open file for write operation!");
    const std::vector<GLPoint> points{GLPoint(1, 2, 3)};
    tio::FileIOInfo info;
    info.fileName = dir.file("none/out.xyzc");
    info.type = tio::kWriteXyzc;
    tio::writeFileJob(&info, &points);
    ASSERT_TRUE(info.error);
    try {
        std::rethrow_exception(info.error);
    } catch (const alg3D::Alg3dException&) {
        FAIL() << "not an Alg3dException";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "cannot open file for write operation!");
    }
}

TEST(XyzcWriter, ColourListMustMatchThePoints) {
    io_test::TempDir dir;
    const std::string name = dir.file("out.xyzc");
    const std::vector<Vec3d> points = {Vec3d(1, 2, 3)};
    const std::vector<Color> none;
    tio::FileIOInfo info;
    info.fileName = name;
    info.type = tio::kWriteXyzc;
    tio::writeFileJob(&info, &points, nullptr);
    EXPECT_NE(io_test::errorText(info), "");
    tio::writeFileJob(&info, &points, &none);
    EXPECT_NE(io_test::errorText(info), "");
    EXPECT_FALSE(io_test::fs::exists(name));
}

TEST(XyzcWriter, RoundTrip) {
    io_test::TempDir dir;
    const std::string name = dir.file("round.xyzc");
    std::mt19937_64 rng(8);
    std::uniform_real_distribution<double> coordinate(-1e3, 1e3);
    std::uniform_int_distribution<int> channel(0, 255);
    std::vector<GLPoint> points(3000);
    for (GLPoint& p : points) {
        p = GLPoint(coordinate(rng), coordinate(rng), coordinate(rng),
                    static_cast<unsigned char>(channel(rng)),
                    static_cast<unsigned char>(channel(rng)),
                    static_cast<unsigned char>(channel(rng)));
    }
    ASSERT_EQ(writeJob(name, tio::kWriteXyzc, points), "");
    std::vector<GLPoint> back;
    ASSERT_EQ(readJob(name, tio::kReadXyzc, back), "");
    ASSERT_EQ(back.size(), points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
        ASSERT_VEC_NEAR(back[i].vec(), points[i].vec(), 0.5e-4 + 1e-12);
        ASSERT_EQ(back[i].color(), points[i].color());
    }

    // Plain points with colours: six decimals.
    std::vector<Vec3d> plain;
    std::vector<Color> colors;
    for (const GLPoint& p : points) {
        plain.push_back(p.vec());
        colors.push_back(p.color());
    }
    tio::FileIOInfo info;
    info.fileName = name;
    info.type = tio::kWriteXyzc;
    tio::writeFileJob(&info, &plain, &colors);
    ASSERT_EQ(io_test::errorText(info), "");
    ASSERT_EQ(readJob(name, tio::kReadXyzc, back), "");
    ASSERT_EQ(back.size(), plain.size());
    for (std::size_t i = 0; i < plain.size(); ++i) {
        ASSERT_VEC_NEAR(back[i].vec(), plain[i], 0.5e-6 + 1e-12);
        ASSERT_EQ(back[i].color(), colors[i]);
    }
}
