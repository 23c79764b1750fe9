#include "commands/PlyConversion.h"

#include <utility>

#include "commands/MeshVertices.h"

namespace tessaro {
namespace commands {

void loadedDataFromPly(io::PlyData&& ply, LoadedData& data) {
    data.format = "ply";
    if (ply.hasFaces && !ply.triangles.empty()) {
        data.kind = DataKind::kMesh;
        data.points.reserve(ply.triangles.size());
        for (std::uint64_t index : ply.triangles)
            data.points.push_back(ply.vertices[index]);
        data.meshVertices = std::move(ply.vertices);
        data.meshIndices = std::move(ply.triangles);
        return;
    }
    if (!ply.colors.empty()) {
        data.kind = DataKind::kColoredPoints;
        data.coloredPoints.reserve(ply.vertices.size());
        for (std::size_t i = 0; i < ply.vertices.size(); ++i)
            data.coloredPoints.emplace_back(ply.vertices[i], ply.colors[i]);
    } else {
        data.kind = DataKind::kPoints;
        data.points = std::move(ply.vertices);
    }
    data.normals = std::move(ply.normals);
    data.scalarFields = std::move(ply.scalars);
}

io::PlySource plySourceForPart(const SavePart& part, PlyScratch& scratch) {
    static const std::vector<alg3D::Vec3d> kNoPoints;
    io::PlySource source;
    source.encoding = part.plyEncoding;
    if (part.kind == DataKind::kMesh) {
        indexMeshCorners(part.points ? *part.points : kNoPoints, scratch.points, scratch.triangles);
        scratch.triangles.resize(scratch.triangles.size() / 3 * 3);
        source.points = &scratch.points;
        source.triangles = &scratch.triangles;
        return source;
    }
    const bool colored = part.kind == DataKind::kColoredPoints && part.coloredPoints;
    const std::size_t count =
        colored ? part.coloredPoints->size() : (part.points ? part.points->size() : 0);
    const bool shown = part.shownColors && part.shownColors->size() == count;
    if (colored && !shown) {
        source.coloredPoints = part.coloredPoints;
    } else if (colored) {
        scratch.points.reserve(count);
        for (const alg3D::GLPoint& p : *part.coloredPoints)
            scratch.points.push_back(p.vec());
        source.points = &scratch.points;
    } else {
        source.points = part.points ? part.points : &kNoPoints;
    }
    if (shown) source.colors = part.shownColors;
    if (part.normals && part.normals->size() == count) source.normals = part.normals;
    if (part.scalarFields) {
        bool fits = true;
        for (const io::PlyScalarField& field : *part.scalarFields)
            fits = fits && field.values.size() == count;
        if (fits && !part.scalarFields->empty()) source.scalars = part.scalarFields;
    }
    return source;
}

}  // namespace commands
}  // namespace tessaro
