// Writer of binary STL meshes (job 10) from a triangle soup: every three consecutive
// points are one triangle A, B, C; a remainder of one or two points is not written.
//
// Writes the 80-byte header "created with Stelvane by Halvorsk" padded with NUL
// bytes, the triangle count T and per triangle the unit normal
// N = (B - A) x (C - B) / |(B - A) x (C - B)| (the zero vector when that length is
// zero), the corners as little-endian 32-bit floats and a 16-bit zero.
//
// The file is always replaced, never appended to: with info.output set the mesh goes
// into that output, which must still be empty; otherwise into a temporary file that
// replaces info.fileName only when complete. An aborted or failed write leaves the
// previous file as it was and no temporary file behind. `abort` is tested before
// each triangle; progress advances about every 1/100 of the triangles, 100 at the end.
// Errors: Alg3dException "can not write destination file.\n" when the file cannot be
// created or written or holds more triangles than the format counts;
// std::invalid_argument when info.output already holds data. Cost: linear.
#pragma once

#include <vector>

#include "alg3D/matrix/GLPoint.h"
#include "alg3D/matrix/Matrix.h"
#include "io/FileIOInfo.h"

namespace tessaro {
namespace io {

extern const char kStlHeaderText[];

void writeStl(FileIOInfo& info, const std::vector<alg3D::Vec3d>& points);
void writeStl(FileIOInfo& info, const std::vector<alg3D::GLPoint>& points);

}  // namespace io
}  // namespace tessaro
