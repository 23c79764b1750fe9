// nanoflann's view of a vector of Vec3d, the baseline tree of the benchmarks.
#pragma once

#include <cstddef>
#include <nanoflann.hpp>
#include <vector>

#include "alg3D/matrix/Matrix.h"

namespace bench_support {

struct CloudAdaptor {
    const std::vector<alg3D::Vec3d>* pts;
    std::size_t kdtree_get_point_count() const { return pts->size(); }
    double kdtree_get_pt(std::size_t idx, std::size_t dim) const { return (*pts)[idx].data()[dim]; }
    template <class Box>
    bool kdtree_get_bbox(Box&) const {
        return false;
    }
};

using NanoTree =
    nanoflann::KDTreeSingleIndexAdaptor<nanoflann::L2_Simple_Adaptor<double, CloudAdaptor>,
                                        CloudAdaptor, 3>;

}  // namespace bench_support
