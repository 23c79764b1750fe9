// Readers of STL meshes (job 2). The mesh comes back as a triangle soup: every three
// consecutive points of `points` are the corners of one triangle, in file order.
// Facet normals are not read.
//
// - readStl: chooses the encoding (StlFormat.h) and runs one of the readers below.
// - readStlAscii: reads the published grammar token by token, so line breaks and
//   blank lines do not matter:
//       solid [name]
//         facet normal ni nj nk
//           outer loop
//             vertex x y z      (three times)
//           endloop
//         endfacet              (any number of facets)
//       endsolid [name]
//   The name runs to the end of its line and holds no NUL byte (binary files may
//   begin with "solid" too). Further solids may follow; anything else
//   after an endsolid is ignored, and a missing endsolid at the end of the file is
//   accepted. Coordinates are read as single-precision floats (as the format holds
//   them) and stored as doubles; they must be finite numbers filling their token.
// - readStlBinary: 80-byte header, uint32 triangle count T, T records of 50 bytes
//   (normal, three corners as little-endian floats, two attribute bytes). T must
//   match the file length ((size - 84) / 50), which bounds the allocation by the
//   file size.
//
// `abort` is tested before each facet; an aborted read returns the triangles read so
// far. Progress: the binary reader advances about every 1/100 of the triangles; both
// end at 100.
// Errors (Alg3dException): "can not open file.\n" when the file cannot be opened or
// read; "unknown file format.\n" for any deviation from the grammar, a vertex that
// does not parse, a truncated facet, a binary file of 83 bytes or less or whose
// count does not match its length; "error allocating memory.\n" when reserving the
// points fails. On an error `points` is left empty. Cost: one pass.
#pragma once

#include <vector>

#include "alg3D/matrix/Matrix.h"
#include "io/FileIOInfo.h"

namespace tessaro {
namespace io {

void readStl(FileIOInfo& info, std::vector<alg3D::Vec3d>& points);
void readStlAscii(FileIOInfo& info, std::vector<alg3D::Vec3d>& points);
void readStlBinary(FileIOInfo& info, std::vector<alg3D::Vec3d>& points);

}  // namespace io
}  // namespace tessaro
