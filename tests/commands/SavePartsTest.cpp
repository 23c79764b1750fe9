// Saving several objects into one file: every part in order, one replace at the end, and
// the previous file untouched when a part fails or the run is aborted.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "TestHelpers.h"
#include "commands/SaveParts.h"

namespace {

namespace fs = std::filesystem;
using alg3D::Color;
using alg3D::GLPoint;
using alg3D::Vec3d;
using tessaro::commands::DataKind;
using tessaro::commands::JobStatus;
using tessaro::commands::SavePart;

class SavePartsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "saveparts-XXXXXX").string();
        dir = mkdtemp(pattern.data());
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string file(const std::string& name) { return (fs::path(dir) / name).string(); }
    static std::string read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::string dir;
};

TEST_F(SavePartsTest, AllPartsInOrderIntoOneFile) {
    const std::vector<Vec3d> a = {Vec3d(1, 2, 3)};
    const std::vector<GLPoint> b = {GLPoint(4, 5, 6, 7, 8, 9)};
    const std::vector<Vec3d> c = {Vec3d(10, 11, 12), Vec3d(13, 14, 15)};
    SavePart pa{DataKind::kPoints, &a, nullptr, Color(1, 1, 1)};
    SavePart pb{DataKind::kColoredPoints, nullptr, &b, Color()};
    SavePart pc{DataKind::kPoints, &c, nullptr, Color(200, 100, 50)};
    std::ofstream(file("out.xyzc")) << "old\n";
    ASSERT_EQ(tessaro::commands::saveParts(file("out.xyzc"), {pa, pb, pc}), JobStatus::kCompleted);
    EXPECT_EQ(read(file("out.xyzc")),
              "1.000000\t2.000000\t3.000000\t1\t1\t1\n"
              "4.000000\t5.000000\t6.000000\t7\t8\t9\n"
              "10.000000\t11.000000\t12.000000\t200\t100\t50\n"
              "13.000000\t14.000000\t15.000000\t200\t100\t50\n");
    ASSERT_EQ(tessaro::commands::saveParts(file("out.xyz"), {pc, pa}), JobStatus::kCompleted);
    EXPECT_EQ(read(file("out.xyz")),
              "10.000000\t11.000000\t12.000000\n13.000000\t14.000000\t15.000000\n"
              "1.000000\t2.000000\t3.000000\n");
    // A colour coding is saved as shown; one of another length is not.
    const std::vector<Color> coded = {Color(0, 0, 255), Color(255, 0, 0)};
    pc.shownColors = &coded;
    pb.shownColors = &coded;
    ASSERT_EQ(tessaro::commands::saveParts(file("coded.xyzc"), {pc, pb}), JobStatus::kCompleted);
    EXPECT_EQ(read(file("coded.xyzc")),
              "10.000000\t11.000000\t12.000000\t0\t0\t255\n"
              "13.000000\t14.000000\t15.000000\t255\t0\t0\n"
              "4.000000\t5.000000\t6.000000\t7\t8\t9\n");
}

TEST_F(SavePartsTest, AbortOrRefusedPartLeavesThePreviousFile) {
    std::vector<Vec3d> big(200000, Vec3d(1.5, 2.5, 3.5));
    SavePart part{DataKind::kPoints, &big, nullptr, Color()};
    std::ofstream(file("keep.xyz")) << "old\n";
    // Abort at the first poll of the second part.
    int polls = 0;
    const JobStatus status = tessaro::commands::saveParts(
        file("keep.xyz"), {part, part}, [&polls](float) { return ++polls >= 1; },
        std::chrono::milliseconds(1));
    EXPECT_EQ(status, JobStatus::kAborted);
    EXPECT_EQ(read(file("keep.xyz")), "old\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);

    // A cloud cannot go into an STL file: refused before anything is written.
    EXPECT_THROW(tessaro::commands::saveParts(file("keep.stl"), {part}), std::exception);
    EXPECT_THROW(tessaro::commands::saveParts(file("keep.txt"), {part}), std::exception);
    EXPECT_FALSE(fs::exists(file("keep.stl")));
}

TEST_F(SavePartsTest, AbortPressedAfterTheLastPollStillKeepsThePreviousFile) {
    // A tiny part ends long before the first poll interval; the save asks once more
    // before it replaces the file, and that answer counts.
    const std::vector<Vec3d> one = {Vec3d(1, 2, 3)};
    SavePart part{DataKind::kPoints, &one, nullptr, Color()};
    std::ofstream(file("keep.xyz")) << "old\n";
    std::vector<float> seen;
    const JobStatus status = tessaro::commands::saveParts(
        file("keep.xyz"), {part},
        [&seen](float percent) {
            seen.push_back(percent);
            return true;
        },
        std::chrono::hours(1));
    EXPECT_EQ(status, JobStatus::kAborted);
    EXPECT_EQ(seen, std::vector<float>{100.0f});
    EXPECT_EQ(read(file("keep.xyz")), "old\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);

    // Not aborted: written.
    EXPECT_EQ(tessaro::commands::saveParts(
                  file("keep.xyz"), {part}, [](float) { return false; }, std::chrono::hours(1)),
              JobStatus::kCompleted);
    EXPECT_EQ(read(file("keep.xyz")), "1.000000\t2.000000\t3.000000\n");
}

TEST_F(SavePartsTest, AMeshInAPointFileIsItsVertices) {
    const std::vector<Vec3d> box = testing_helpers::boxTriangles();
    SavePart mesh{DataKind::kMesh, &box, nullptr, Color(1, 2, 3)};
    const struct {
        const char* name;
        std::string firstLine;
    } cases[] = {{"box.xyz", "-1.500000\t2.250000\t10.000000\n"},
                 {"box.xyzc", "-1.500000\t2.250000\t10.000000\t1\t2\t3\n"}};
    for (const auto& test : cases) {
        ASSERT_EQ(tessaro::commands::saveParts(file(test.name), {mesh}), JobStatus::kCompleted);
        const std::string text = read(file(test.name));
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 8) << test.name;
        EXPECT_EQ(text.substr(0, test.firstLine.size()), test.firstLine) << test.name;
    }
    // As STL it stays the twelve triangles.
    ASSERT_EQ(tessaro::commands::saveParts(file("box.stl"), {mesh}), JobStatus::kCompleted);
    EXPECT_EQ(fs::file_size(file("box.stl")), 84u + 12u * 50u);
}

}  // namespace
