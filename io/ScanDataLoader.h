// Loads the points of a scan data file (.scn): all point lists of the file,
// concatenated in file order, as one plain point cloud (file job code 3).
// Reads the scan record with Cscandata_io::read_bin, reserves the total once,
// appends the lists in order and releases the record.
// `abort` is tested while the file is read; an aborted load returns the points read
// until then (the caller discards them). No intermediate progress is reported.
// Errors are standard exceptions with the scan data reader's texts (Cscandata_io.h);
// `points` is left empty then.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "alg3D/matrix/Matrix.h"

namespace tessaro {
namespace io {

void loadScanDataPoints(const std::string& fileName, std::vector<alg3D::Vec3d>& points,
                        const std::atomic<bool>& abort);

}  // namespace io
}  // namespace tessaro
