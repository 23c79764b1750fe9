// Loads the points of a scan data file (.scn): all point lists of the file,
// concatenated in file order, as one plain point cloud (file job code 3).
// Errors are standard exceptions with the scan data reader's texts.
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
