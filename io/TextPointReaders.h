// Readers of text point files: one point per line, tokens separated by blanks, tabs
// and semicolons, numbers read by the number parser (NumberParser.h).
//
// - readXyz (.xyz, job 1): x y z from the first three tokens; a line that does not
//   parse (a header, an empty line) is skipped. An empty file gives an empty cloud.
// - readXyzc (.xyzc, job 4): x y z r g b; a line that does not parse is skipped. The
//   first line must have more than 5 columns.
// - readPts (.pts, job 6): the first line (the point count) is skipped; then
//   x y z, an intensity token that is not looked at, r g b; a line that does not
//   parse is skipped. An empty file is an error.
// Colour values are reduced to a byte by colorChannelFromNumber. A line longer than
// 64 KiB is read as its first 64 KiB (a point line is far shorter), so the memory taken
// beyond the points stays at one 1 MiB block whatever the file holds.
//
// Each reader analyses the file first (FileAnalysis.h, first half of the progress),
// empties `points`, reserves one point per line and reads at most that many lines;
// the second half of the progress advances about every 1/50 of the lines, and
// `progress` is 100 at the end. `abort` is tested before each line; an aborted read
// returns the points read so far.
// Errors (Alg3dException): "can not open file.\n" when the file cannot be opened,
// analysed or read, or an .xyzc file has 5 columns or fewer; "file is empty.\n" for
// an empty .pts file; "error allocating memory.\n" when the reservation fails. On an
// error `points` is left empty. Cost: two sequential passes over the file.
#pragma once

#include <vector>

#include "alg3D/matrix/GLPoint.h"
#include "alg3D/matrix/Matrix.h"
#include "io/FileIOInfo.h"

namespace tessaro {
namespace io {

void readXyz(FileIOInfo& info, std::vector<alg3D::Vec3d>& points);
void readXyzc(FileIOInfo& info, std::vector<alg3D::GLPoint>& points);
void readPts(FileIOInfo& info, std::vector<alg3D::GLPoint>& points);

}  // namespace io
}  // namespace tessaro
