#include "io/ScanDataLoader.h"

#include <cstddef>

#include "io/Cscandata_io.h"

namespace tessaro {
namespace io {

void loadScanDataPoints(const std::string& fileName, std::vector<alg3D::Vec3d>& points,
                        const std::atomic<bool>& abort) {
    points.clear();
    ScanDataPtr scan = Cscandata_io::read_bin(fileName, &abort);
    std::size_t total = 0;
    for (const auto& list : scan->pointLists)
        total += list.size();
    points.reserve(total);
    for (const auto& list : scan->pointLists)
        points.insert(points.end(), list.begin(), list.end());
    scan.reset();  // release the record: this was its only holder
}

}  // namespace io
}  // namespace tessaro
