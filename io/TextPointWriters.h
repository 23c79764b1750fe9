// Writers of text point files.
//
// - writeXyz (.xyz, job 7): one line "x\ty\tz\n" per point, each coordinate with six
//   decimals exactly as printf "%lf" writes it. An empty container writes nothing and
//   creates no file.
// - writeXyzc (.xyzc, job 8): from Vec3d with a parallel Color list,
//   "x\ty\tz\tr\tg\tb\n" with six decimals; from GLPoint the coordinates with four
//   decimals in a field of at least five characters (printf "%5.4lf"). Colour
//   channels are written as decimal numbers 0..255. An empty container gives an
//   empty file.
//
// Where the bytes go (OutputFile.h): with info.output set, into that multi-part
// output; otherwise with info.append into the end of info.fileName, and else into a
// temporary file that replaces info.fileName only when the write is complete, so a
// failed or aborted write leaves the previous file untouched. `abort` is tested
// before each point: an aborted replacing write leaves no trace, an aborted
// appending write keeps the lines written so far. Progress advances about every
// 1/100 of the points, 100 at the end.
// Errors: writeXyz throws Alg3dException "can not write destination file.\n" when
// the file cannot be created or written; writeXyzc throws std::runtime_error
// "cannot open file for write operation!" instead, and std::invalid_argument when
// the colour list is missing or its length differs from the point list.
// Cost: linear, with a buffer of 1 MiB.
#pragma once

#include <vector>

#include "alg3D/matrix/GLPoint.h"
#include "alg3D/matrix/Matrix.h"
#include "io/FileIOInfo.h"

namespace tessaro {
namespace io {

void writeXyz(FileIOInfo& info, const std::vector<alg3D::Vec3d>& points);
void writeXyz(FileIOInfo& info, const std::vector<alg3D::GLPoint>& points);
void writeXyzc(FileIOInfo& info, const std::vector<alg3D::Vec3d>& points,
               const std::vector<alg3D::Color>* colors);
void writeXyzc(FileIOInfo& info, const std::vector<alg3D::GLPoint>& points);

// Writes `value` as printf "%.*f" with `decimals` decimals would ("C" locale) and
// returns the end of the text. `out` needs room for 320 + decimals characters.
char* formatFixed(char* out, double value, int decimals);

}  // namespace io
}  // namespace tessaro
