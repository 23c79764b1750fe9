// Reader of binary profile files (.psl, job 5), little-endian:
//   512-byte file header, the int32 at offset 136 is the profile count P;
//   P times: 64-byte profile header, the int32 at offset 0 is the segment count S;
//     S times: 64-byte segment header, the int32 at offset 0 is the point count N;
//       N times: x, y, z as 32-bit floats.
// The other header bytes are not used.
//
// Output: all points in file order as Vec3d. A first pass walks the headers and
// sums the point counts, a second reads the points. Every count is checked against
// the bytes left in the file before anything is allocated or skipped, so a corrupt
// count cannot cause a huge allocation. `abort` is tested before each profile and
// segment; an aborted read returns the points read so far (none in the first pass).
// Progress runs over the profiles of the second pass up to 100.
// Errors (Alg3dException): "can not open file.\n" when the file cannot be opened;
// "unknown file format.\n" for a short header, a negative count, a count larger than
// the rest of the file, or a short read. Cost: two passes, one allocation.
#pragma once

#include <vector>

#include "alg3D/matrix/Matrix.h"
#include "io/FileIOInfo.h"

namespace tessaro {
namespace io {

constexpr std::size_t kPslFileHeaderSize = 512;
constexpr std::size_t kPslProfileCountOffset = 136;
constexpr std::size_t kPslProfileHeaderSize = 64;
constexpr std::size_t kPslSegmentHeaderSize = 64;
constexpr std::size_t kPslPointSize = 12;

void readPsl(FileIOInfo& info, std::vector<alg3D::Vec3d>& points);

}  // namespace io
}  // namespace tessaro
