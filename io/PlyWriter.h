// Writer of PLY files (job 12): a point cloud or an indexed triangle mesh, binary
// little-endian by default, binary big-endian or ASCII on request.
//
// Layout written: element vertex with x, y, z as double (the coordinates as held, no
// digits lost), nx, ny, nz as float when normals are given, red, green, blue as uchar
// when colours are given (or the points are GLPoints), then every scalar field with its
// own type and name; element face with "property list uchar uint vertex_indices" when
// triangles are given (also for zero triangles). ASCII values are written in the
// shortest form that reads back to the same value of their type. The comments and
// obj_info lines of the source go into the header, after "comment " + kPlyCommentText.
//
// Where the bytes go (OutputFile.h): with info.output set into that output, which must
// still be empty; otherwise into a temporary file that replaces info.fileName only when
// complete. An aborted or failed write leaves the previous file as it was. `abort` is
// tested before each vertex and triangle; progress advances about every 1/100 of them,
// 100 at the end.
// Errors: std::invalid_argument when the source is inconsistent (no points, normals,
// colours or a scalar field of another length than the points, a triangle list not a
// multiple of three or with an index beyond the points, a scalar field name that is
// empty, holds blanks or repeats a property name) or info.output already holds data;
// Alg3dException "can not write destination file.\n" when the file cannot be created or
// written, or a mesh has more vertices than a uint index counts. Cost: linear.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "alg3D/matrix/GLPoint.h"
#include "alg3D/matrix/Matrix.h"
#include "io/FileIOInfo.h"
#include "io/PlyFormat.h"
#include "io/PlyReader.h"

namespace tessaro {
namespace io {

extern const char kPlyCommentText[];

// What to write; the writer does not own any of it. Exactly one of `points` and
// `coloredPoints` is set.
struct PlySource {
    const std::vector<alg3D::Vec3d>* points = nullptr;
    const std::vector<alg3D::GLPoint>* coloredPoints = nullptr;  // colours from the points
    const std::vector<alg3D::Color>* colors = nullptr;           // with `points`, optional
    const std::vector<alg3D::Vec3f>* normals = nullptr;          // optional
    const std::vector<PlyScalarField>* scalars = nullptr;        // optional
    const std::vector<std::uint64_t>* triangles = nullptr;       // optional: makes a mesh
    std::vector<std::string> comments;
    std::vector<std::string> objInfo;
    PlyEncoding encoding = PlyEncoding::kBinaryLittleEndian;
};

void writePly(FileIOInfo& info, const PlySource& source);

// Worker entry for PLY writes, framed like the others (FileIOInfo.h); runs writePly for
// type kWritePly and does nothing for other codes.
void writeFileJob(FileIOInfo* info, const PlySource* source);

// The source for writing `data` back (its own encoding unless another is given).
PlySource plySourceOf(const PlyData& data);

}  // namespace io
}  // namespace tessaro
