// Files beyond 2 GiB: sizes, counts and seeks in 64 bits. The files are sparse (a few
// bytes of content and a hole), so they take no disk space; where a file system cannot
// hold such a file the test is skipped.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "IoTestSupport.h"
#include "alg3D/matrix/Alg3dException.h"
#include "io/Cscandata_io.h"
#include "io/FileAnalysis.h"
#include "io/FileIOInfo.h"

namespace {

using namespace io_test;
namespace io = tessaro::io;
namespace errors = alg3D::errors;

constexpr std::uint64_t kTwoGiB = std::uint64_t(1) << 31;
constexpr std::uint64_t kFourGiB = std::uint64_t(1) << 32;

// Writes `content` and extends the file with a hole to `size` bytes; false when the file
// system refuses.
bool writeSparse(const std::string& path, const std::string& content, std::uint64_t size) {
    writeFile(path, content);
    std::error_code ec;
    fs::resize_file(path, size, ec);
    return !ec && fs::file_size(path, ec) == size;
}

void appendLe(std::string& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// A last line of 2 GiB of NUL bytes without a newline: the analysis counts every byte
// and the line, the reader takes the two points before it and skips the rest.
TEST(LargeFileSlow, XyzBeyondTwoGiBIsCountedAndRead) {
    TempDir dir;
    const std::string path = dir.file("large.xyz");
    const std::string lines = "1 2 3\n4.5 -5 6e1\n";
    const std::uint64_t size = kTwoGiB + 4096 + lines.size();
    if (!writeSparse(path, lines, size)) GTEST_SKIP() << "no sparse file of " << size << " bytes";

    io::FileAnalysis analysis;
    ASSERT_TRUE(io::analyzeFile(path, analysis));
    EXPECT_EQ(analysis.size, size);
    EXPECT_EQ(analysis.lines, 3u);
    EXPECT_EQ(analysis.columns, 3);

    std::vector<alg3D::Vec3d> points;
    ASSERT_EQ(readJob(path, io::kReadXyz, points), "");
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(points[1], alg3D::Vec3d(4.5, -5, 60));
}

// Counts whose payload needs more than 2^31 (or 2^32) bytes, in a file one byte too short
// (or 2^32 bytes too long): arithmetic in 32 bits would wrap and accept them.
struct OversizedCount {
    const char* name;
    const char* suffix;
    std::string head;    // the header with the count
    std::uint64_t size;  // the file's size
    std::string error;   // the refusal
};

void PrintTo(const OversizedCount& c, std::ostream* os) {
    *os << c.name;
}

std::vector<OversizedCount> oversizedCounts() {
    std::vector<OversizedCount> cases;

    // Binary STL: one triangle announced, 2^32 bytes more than one triangle present.
    std::string stl(80, '\0');
    appendLe(stl, 1, 4);
    cases.push_back({"StlCountAgainstSizeAbove4GiB", "stl", stl, kFourGiB + 84 + 50,
                     alg3dText(errors::kUnknownFileFormat)});

    // .psl: one profile, one segment of N points, N * 12 just above 2^31 bytes.
    const std::uint64_t pslPoints = kTwoGiB / 12 + 1;
    std::string psl(512, '\0');
    psl[136] = 1;
    std::string profile(64, '\0');
    profile[0] = 1;
    std::string segment;
    appendLe(segment, pslPoints, 4);
    segment.resize(64, '\0');
    psl += profile + segment;
    cases.push_back({"PslSegmentAbove2GiB", "psl", psl, psl.size() + pslPoints * 12 - 1,
                     alg3dText(errors::kUnknownFileFormat)});

    // SCNBIN: one point list of N points, N * 24 just above 2^32 bytes.
    const std::uint64_t scnPoints = kFourGiB / 24 + 1;
    std::string scn = "SCNBIN";
    scn.push_back('\2');
    appendLe(scn, 0x10203040, 4);
    appendLe(scn, 0, 4);  // scan value
    for (int section = 0; section < 3; ++section)
        appendLe(scn, 0, 4);  // no info strings, entries, fixed records
    appendLe(scn, 1, 4);
    appendLe(scn, scnPoints, 4);
    cases.push_back(
        {"ScnBinListAbove4GiB", "scn", scn, scn.size() + scnPoints * 24 - 1, io::kDataFormatError});
    return cases;
}

class LargeFileCountSlow : public ::testing::TestWithParam<OversizedCount> {};

TEST_P(LargeFileCountSlow, IsRefusedWithoutReadingOrAllocating) {
    const OversizedCount& c = GetParam();
    TempDir dir;
    const std::string path = dir.file(std::string("large.") + c.suffix);
    if (!writeSparse(path, c.head, c.size)) GTEST_SKIP() << "no sparse file of " << c.size;
    std::vector<alg3D::Vec3d> points;
    EXPECT_EQ(readJob(path, io::fileTypeForName(path), points), c.error);
    EXPECT_TRUE(points.empty());
}

INSTANTIATE_TEST_SUITE_P(Readers, LargeFileCountSlow, ::testing::ValuesIn(oversizedCounts()),
                         [](const ::testing::TestParamInfo<OversizedCount>& info) {
                             return info.param.name;
                         });

}  // namespace
