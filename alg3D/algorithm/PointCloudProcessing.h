// Shared pieces of the point-cloud processing algorithms (normals, surface features,
// smoothing, thinning, regions): the run control they report to, and the principal
// axes of a neighbourhood.
//
// ProcessControl points at the caller's progress value and abort flag (both atomics,
// read and written from several threads); every parallel loop tests the abort flag per
// point, so an abort stops all threads within one point's work.
// Cost: analyseNeighbourhood is O(n) plus one 3x3 SVD; it allocates nothing.
#pragma once

#include <atomic>
#include <cstddef>
#include <vector>

#include "alg3D/matrix/Matrix.h"

namespace alg3D {
namespace algorithm {

struct ProcessControl {
    const std::atomic<bool>* abort = nullptr;  // set by the controlling thread; may be null
    std::atomic<float>* progress = nullptr;    // percent 0..100; may be null
    int threads = 0;                           // OpenMP threads; 0 = all processors

    bool aborted() const { return abort && abort->load(std::memory_order_relaxed); }
    void addProgress(float delta) const {
        if (!progress) return;
        float current = progress->load(std::memory_order_relaxed);
        while (
            !progress->compare_exchange_weak(current, current + delta, std::memory_order_relaxed)) {
        }
    }
    void setProgress(float value) const {
        if (progress) progress->store(value, std::memory_order_relaxed);
    }
    // The team size for the kernels' parallel loops.
    int teamSize() const;
};

// Principal axes of a neighbourhood: centroid, singular values w0 >= w1 >= w2 of the
// covariance Σ(p - c)(p - c)ᵀ / n and the singular vector of w2 (unit length).
struct NeighbourhoodAxes {
    Vec3d centroid;
    Vec3d singularValues;  // x = w0, y = w1, z = w2
    Vec3d normal;
};

// Empty input gives zero axes.
NeighbourhoodAxes analyseNeighbourhood(const Vec3d* begin, const Vec3d* end);
inline NeighbourhoodAxes analyseNeighbourhood(const std::vector<Vec3d>& points) {
    return analyseNeighbourhood(points.data(), points.data() + points.size());
}

}  // namespace algorithm
}  // namespace alg3D
