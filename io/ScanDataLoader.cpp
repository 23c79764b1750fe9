#include "io/ScanDataLoader.h"

#include <stdexcept>

namespace tessaro {
namespace io {

void loadScanDataPoints(const std::string&, std::vector<alg3D::Vec3d>& points,
                        const std::atomic<bool>&) {
    points.clear();
    throw std::runtime_error("scan data files are not readable yet");
}

}  // namespace io
}  // namespace tessaro
