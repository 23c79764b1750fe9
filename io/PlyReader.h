// Reader of PLY files (job 11): point clouds and polygon meshes in ASCII or binary
// (either byte order) encoding, header grammar in PlyFormat.h.
//
// What is taken from the file:
// - element "vertex": x, y, z (any scalar type; required, finite) into `vertices`;
//   nx, ny, nz (all three) into `normals`; red, green, blue (all three; also with the
//   prefix "diffuse_") into `colors`: 8-bit types as they are (clamped to 0..255),
//   ushort scaled from 0..65535, other integers clamped, float and double scaled from
//   0..1 and rounded. Every other scalar property becomes a named per-point value in
//   `scalars` (with its declared type); list properties of vertices are skipped.
// - element "face": the list "vertex_indices" (or "vertex_index") of integer indices;
//   a polygon of n >= 3 corners becomes n - 2 triangles fanned from its first corner,
//   faces of fewer corners give none. Other face properties are skipped.
// - every other element is read over and dropped; comments and obj_info lines are kept.
// A value of a float property in an ASCII body is rounded to float, as a binary body
// would hold it.
//
// Bounds checked before anything is allocated or trusted: the element counts against
// the bytes the body can hold (binary: every record at least its fixed part; ASCII: at
// least two characters per value), each list count against the bytes left, negative
// list counts, face indices against the vertex count. Memory is therefore a bounded
// multiple of the file size; no input makes the reader loop without consuming bytes.
//
// `abort` is tested before each record; an aborted read returns what was read so far.
// Progress advances with the bytes of the body read, 100 at the end.
// Errors (Alg3dException): "can not open file.\n" when the file cannot be opened or
// read; "unknown file format.\n" for a header PlyFormat.h refuses, a missing x, y or z,
// a non-integer face index type, a body that is truncated or does not parse, a count
// that the file cannot hold, an index out of range, a non-finite coordinate;
// "error allocating memory.\n" when the output cannot be reserved. On an error `data`
// is left empty. Cost: one pass over the file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "alg3D/matrix/GLPoint.h"
#include "alg3D/matrix/Matrix.h"
#include "io/FileIOInfo.h"
#include "io/PlyFormat.h"

namespace tessaro {
namespace io {

// A per-point value of a cloud beyond coordinates, normals and colours (intensity,
// confidence, ...), one value per vertex, kept with the type it had in the file.
struct PlyScalarField {
    std::string name;
    PlyType type = PlyType::kFloat32;
    std::vector<double> values;
};

// What a PLY file holds.
struct PlyData {
    PlyEncoding encoding = PlyEncoding::kBinaryLittleEndian;  // as read
    std::vector<alg3D::Vec3d> vertices;
    std::vector<alg3D::Vec3f> normals;  // empty, or one per vertex
    std::vector<alg3D::Color> colors;   // empty, or one per vertex
    std::vector<PlyScalarField> scalars;
    bool hasFaces = false;                 // the file has a face element with vertex indices
    std::vector<std::uint64_t> triangles;  // three vertex indices per triangle
    std::vector<std::string> comments;
    std::vector<std::string> objInfo;

    void clear() { *this = PlyData{}; }
};

void readPly(FileIOInfo& info, PlyData& data);

// Worker entry for PLY reads, framed like the others (FileIOInfo.h): progress 0, abort
// and error cleared, any exception stored in `error`, progress 100 at the end. Runs
// readPly for type kReadPly and does nothing for other codes.
void readFileJob(FileIOInfo* info, PlyData* data);

// Reads a PLY file on the calling thread; throws what readPly throws.
PlyData readPlyFile(const std::string& fileName);

}  // namespace io
}  // namespace tessaro
