// Loading and saving PLY files through the command layer: what kind of object a file
// becomes, and what a save writes.
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "TestHelpers.h"
#include "commands/FileCommands.h"
#include "commands/SaveParts.h"
#include "io/PlyReader.h"

namespace {

using alg3D::Vec3d;
using tessaro::commands::DataKind;
using tessaro::commands::JobStatus;
using tessaro::commands::LoadedData;

const std::string kSeeds = std::string(TESSARO_TESTDATA_DIR) + "/ply/";

std::string scratchFile(const std::string& name) {
    const auto dir =
        std::filesystem::temp_directory_path() /
        ("tessaro_plycmd_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::create_directories(dir);
    return (dir / name).string();
}

TEST(PlyFileCommands, FilesBecomeMeshesColouredOrPlainClouds) {
    LoadedData mesh;
    ASSERT_EQ(tessaro::commands::loadFile(kSeeds + "mesh_polygons_ascii.ply", mesh),
              JobStatus::kCompleted);
    EXPECT_EQ(mesh.kind, DataKind::kMesh);
    EXPECT_EQ(mesh.format, "ply");
    EXPECT_EQ(mesh.meshVertices.size(), 7u);
    ASSERT_EQ(mesh.meshIndices.size(), 15u);
    ASSERT_EQ(mesh.points.size(), 15u);  // the soup follows the indices
    for (std::size_t i = 0; i < mesh.points.size(); ++i)
        EXPECT_EQ(mesh.points[i], mesh.meshVertices[mesh.meshIndices[i]]);

    LoadedData colored;
    ASSERT_EQ(tessaro::commands::loadFile(kSeeds + "cloud_colors_le.ply", colored),
              JobStatus::kCompleted);
    EXPECT_EQ(colored.kind, DataKind::kColoredPoints);
    ASSERT_EQ(colored.coloredPoints.size(), 3u);
    EXPECT_EQ(colored.coloredPoints[0].color(), alg3D::Color(255, 0, 0));
    EXPECT_EQ(colored.coloredPoints[0].vec(), Vec3d(0.5, 1.5, 2.5));

    LoadedData plain;
    ASSERT_EQ(tessaro::commands::loadFile(kSeeds + "cloud_ascii.ply", plain),
              JobStatus::kCompleted);
    EXPECT_EQ(plain.kind, DataKind::kPoints);
    EXPECT_EQ(plain.normals.size(), 4u);
    ASSERT_EQ(plain.scalarFields.size(), 1u);
    EXPECT_EQ(plain.scalarFields[0].name, "intensity");
    const auto info = tessaro::commands::describeData("c.ply", plain);
    EXPECT_TRUE(info.normals);
    EXPECT_EQ(info.scalarFields, std::vector<std::string>{"intensity"});
}

TEST(PlyFileCommands, SavedMeshIsIndexedAndCloudsKeepTheirValues) {
    LoadedData mesh;
    mesh.kind = DataKind::kMesh;
    mesh.points = testing_helpers::boxTriangles();
    const std::string path = scratchFile("box.ply");
    ASSERT_EQ(tessaro::commands::saveFile(path, mesh), JobStatus::kCompleted);
    const tessaro::io::PlyData box = tessaro::io::readPlyFile(path);
    EXPECT_EQ(box.vertices.size(), 8u);
    ASSERT_EQ(box.triangles.size(), mesh.points.size());
    for (std::size_t i = 0; i < mesh.points.size(); ++i)
        EXPECT_EQ(box.vertices[box.triangles[i]], mesh.points[i]);

    LoadedData cloud;
    ASSERT_EQ(tessaro::commands::loadFile(kSeeds + "cloud_ascii.ply", cloud),
              JobStatus::kCompleted);
    const std::string copy = scratchFile("copy.ply");
    ASSERT_EQ(tessaro::commands::saveFile(copy, cloud), JobStatus::kCompleted);
    LoadedData again;
    ASSERT_EQ(tessaro::commands::loadFile(copy, again), JobStatus::kCompleted);
    EXPECT_EQ(again.points, cloud.points);
    EXPECT_EQ(again.normals, cloud.normals);
    EXPECT_EQ(again.scalarFields[0].values, cloud.scalarFields[0].values);
    std::filesystem::remove_all(std::filesystem::path(path).parent_path());
}

TEST(PlyFileCommands, OnePlyFileTakesOneObject) {
    const std::vector<Vec3d> points = {{1, 2, 3}};
    tessaro::commands::SavePart part;
    part.points = &points;
    EXPECT_THROW(tessaro::commands::saveParts(scratchFile("two.ply"), {part, part}),
                 std::runtime_error);
    EXPECT_FALSE(std::filesystem::exists(scratchFile("two.ply")));
    std::filesystem::remove_all(std::filesystem::path(scratchFile("x")).parent_path());
}

}  // namespace
