// Between the PLY file layer's records and the command layer's data.
//
// - loadedDataFromPly: a file with at least one triangle becomes a mesh (the triangle
//   soup in `points`, the file's own vertices and indices in `meshVertices` and
//   `meshIndices`); otherwise a cloud, coloured when the file has colours. Clouds keep
//   their normals and further per-point values; a mesh drops them and its colours (the
//   mesh object has none).
// - plySourceForPart: what the PLY writer gets for one saved part. Clouds are written
//   with their colours (the part's shown colours take their place, as in .xyzc), normals
//   and per-point values; a mesh is indexed first, corners with exactly equal
//   coordinates becoming one vertex (indexMeshCorners).
// Errors: none of their own. Cost: linear in the points (a mesh: one hashing pass).
#pragma once

#include <cstdint>
#include <vector>

#include "commands/FileCommands.h"
#include "commands/SaveParts.h"
#include "io/PlyReader.h"
#include "io/PlyWriter.h"

namespace tessaro {
namespace commands {

void loadedDataFromPly(io::PlyData&& ply, LoadedData& data);

// Arrays the writer's source may point into; they live as long as the write.
struct PlyScratch {
    std::vector<alg3D::Vec3d> points;
    std::vector<alg3D::Color> colors;
    std::vector<std::uint64_t> triangles;
};

io::PlySource plySourceForPart(const SavePart& part, PlyScratch& scratch);

}  // namespace commands
}  // namespace tessaro
