// Binary profile files (.psl): structure, order of points, and corrupt counts.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "io/FileIOInfo.h"
#include "io/PslReader.h"
#include "tests/io/IoTestSupport.h"

using alg3D::Vec3d;
using io_test::alg3dText;
using io_test::readJob;
using io_test::writeFile;
namespace tio = tessaro::io;

namespace {

const std::string kUnknown = alg3dText("unknown file format.\n");

using Segment = std::vector<Vec3d>;
using Profile = std::vector<Segment>;

void putI32(std::string& s, std::size_t offset, std::int32_t v) {
    std::uint32_t u;
    std::memcpy(&u, &v, 4);
    for (int i = 0; i < 4; ++i)
        s[offset + i] = static_cast<char>((u >> (8 * i)) & 0xff);
}

void appendF32(std::string& s, double d) {
    const float f = static_cast<float>(d);
    std::uint32_t u;
    std::memcpy(&u, &f, 4);
    for (int i = 0; i < 4; ++i)
        s.push_back(static_cast<char>((u >> (8 * i)) & 0xff));
}

std::string pslFile(const std::vector<Profile>& profiles) {
    std::string s(512, '\x5a');  // unused header bytes are not looked at
    putI32(s, 136, static_cast<std::int32_t>(profiles.size()));
    for (const Profile& profile : profiles) {
        std::string header(64, '\x11');
        putI32(header, 0, static_cast<std::int32_t>(profile.size()));
        s += header;
        for (const Segment& segment : profile) {
            std::string segmentHeader(64, '\x22');
            putI32(segmentHeader, 0, static_cast<std::int32_t>(segment.size()));
            s += segmentHeader;
            for (const Vec3d& p : segment) {
                appendF32(s, p.x);
                appendF32(s, p.y);
                appendF32(s, p.z);
            }
        }
    }
    return s;
}

const std::vector<Profile> kProfiles = {
    {{Vec3d(1, 2, 3), Vec3d(4, 5, 6)}, {}, {Vec3d(7, 8, 9)}},
    {},
    {{Vec3d(-1, -2, -3.5)}, {Vec3d(0.25, 0.5, 0.75), Vec3d(10, 20, 30)}},
};

const std::vector<Vec3d> kPoints = {Vec3d(1, 2, 3),      Vec3d(4, 5, 6),         Vec3d(7, 8, 9),
                                    Vec3d(-1, -2, -3.5), Vec3d(0.25, 0.5, 0.75), Vec3d(10, 20, 30)};

std::vector<Vec3d> readPslBytes(const io_test::TempDir& dir, const std::string& bytes,
                                std::string* error = nullptr) {
    const std::string name = dir.file("profiles.psl");
    writeFile(name, bytes);
    std::vector<Vec3d> points{Vec3d(9, 9, 9)};
    const std::string e = readJob(name, tio::kReadPsl, points);
    if (error != nullptr) {
        *error = e;
    } else {
        EXPECT_EQ(e, "");
    }
    return points;
}

}  // namespace

TEST(PslReader, ReadsAllPointsInFileOrder) {
    io_test::TempDir dir;
    EXPECT_EQ(readPslBytes(dir, pslFile(kProfiles)), kPoints);
}

TEST(PslReader, PointsAreSinglePrecision) {
    io_test::TempDir dir;
    const auto points = readPslBytes(dir, pslFile({{{Vec3d(0.1, 1e-3, 12345.678)}}}));
    ASSERT_EQ(points.size(), 1u);
    EXPECT_EQ(points[0], Vec3d(0.1f, 1e-3f, 12345.678f));
}

TEST(PslReader, NoProfilesGivesEmptyCloud) {
    io_test::TempDir dir;
    EXPECT_TRUE(readPslBytes(dir, pslFile({})).empty());
    // Bytes after the structure are not read.
    EXPECT_EQ(readPslBytes(dir, pslFile(kProfiles) + "trailing"), kPoints);
}

TEST(PslReader, ShortHeaderIsAnUnknownFormat) {
    io_test::TempDir dir;
    std::string error;
    readPslBytes(dir, std::string(511, '\0'), &error);
    EXPECT_EQ(error, kUnknown);
    readPslBytes(dir, "", &error);
    EXPECT_EQ(error, kUnknown);
}

TEST(PslReader, MissingFileCannotBeOpened) {
    io_test::TempDir dir;
    std::vector<Vec3d> points;
    EXPECT_EQ(readJob(dir.file("none.psl"), tio::kReadPsl, points),
              alg3dText("can not open file.\n"));
}

TEST(PslReader, CorruptCountsAreUnknownFormats) {
    // Counts beyond the file, negative counts and counts of 2^31 - 1 or 2^31 must
    // neither allocate nor seek outside the file.
    io_test::TempDir dir;
    const std::string good = pslFile(kProfiles);
    const std::size_t profileHeader = 512;
    const std::size_t segmentHeader = 512 + 64;
    for (const auto& [offset, value] : std::vector<std::pair<std::size_t, std::int32_t>>{
             {136, 4},
             {136, -1},
             {136, 0x7fffffff},
             {136, static_cast<std::int32_t>(0x80000000u)},
             {profileHeader, 4000},
             {profileHeader, -3},
             {profileHeader, 0x7fffffff},
             {segmentHeader, 3},
             {segmentHeader, 1000000},
             {segmentHeader, -1},
             {segmentHeader, 0x7fffffff},
             {segmentHeader, static_cast<std::int32_t>(0x80000000u)}}) {
        std::string bytes = good;
        putI32(bytes, offset, value);
        std::string error;
        const auto points = readPslBytes(dir, bytes, &error);
        EXPECT_EQ(error, kUnknown) << offset << " " << value;
        EXPECT_TRUE(points.empty());
    }
}

TEST(PslReader, TruncatedAtEveryLength) {
    io_test::TempDir dir;
    const std::string good = pslFile(kProfiles);
    for (std::size_t length = 0; length < good.size(); ++length) {
        std::string error;
        const auto points = readPslBytes(dir, good.substr(0, length), &error);
        EXPECT_EQ(error, kUnknown) << length;
        EXPECT_TRUE(points.empty());
    }
}

TEST(PslReader, AbortEndsSilently) {
    io_test::TempDir dir;
    writeFile(dir.file("p.psl"), pslFile(kProfiles));
    tio::FileIOInfo info;
    info.fileName = dir.file("p.psl");
    info.abort = true;
    std::vector<Vec3d> points{Vec3d()};
    tio::readPsl(info, points);
    EXPECT_TRUE(points.empty());
}

TEST(PslReader, ProgressOverManyProfiles) {
    io_test::TempDir dir;
    std::vector<Profile> profiles(250, Profile{Segment{Vec3d(1, 1, 1)}});
    writeFile(dir.file("p.psl"), pslFile(profiles));
    tio::FileIOInfo info;
    info.fileName = dir.file("p.psl");
    std::vector<Vec3d> points;
    tio::readPsl(info, points);
    EXPECT_EQ(points.size(), 250u);
    EXPECT_EQ(info.progress.load(), 100);
}
