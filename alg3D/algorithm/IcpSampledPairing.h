// The sampled pairing of the ICP variants (registerGauss, registerChebyshev,
// registerPointToPlane): the data under a transform, every stride-th point (stride n / m)
// from offset 0, then from offsets 1, 2, ... until m pairs exist (all points for m = 0 or
// m >= n).
//
// Inputs: the state (cancel flag, thread count), the data range, m, the transform, the
//   count of points per pass from which a pass runs on a thread team, and `pair(x, slot)`,
//   which pairs the moved point x into a slot (false: no partner).
// Outputs: the slots of the points that found a partner, in data order per pass, the
//   passes one after the other (the callers sort them by distance, stably, so runs repeat
//   exactly whatever the thread count). A cancel ends the passes at their next point.
// Errors: none. Cost: one `pair` call per visited point; parallel within a pass.
#pragma once

#include <omp.h>

#include <atomic>
#include <cstddef>
#include <vector>

#include "alg3D/algorithm/IcpRegistration.h"

namespace alg3D {
namespace algorithm {

inline int icpThreads(const IcpState& s) {
    return s.threads > 0 ? static_cast<int>(s.threads) : omp_get_num_procs();
}

template <typename Slot, typename P, typename Pair>
void icpSampledPairs(const IcpState& state, const P* data, std::size_t n, std::size_t m,
                     const IcpTransform& t, std::ptrdiff_t parallelFrom, const Pair& pair,
                     std::vector<Slot>& found) {
    found.clear();
    if (n == 0) return;
    std::size_t stride = 1;
    std::size_t want = n;
    if (n >= m && m > 0) {
        stride = n / m;
        want = m;
    }
    const std::size_t perOffset = n / stride;
    std::vector<Slot> slots(perOffset);
    std::vector<char> hit(perOffset);
    const int threads = icpThreads(state);
    for (std::size_t o = 0; o < stride && found.size() < want; ++o) {
        const std::ptrdiff_t count = static_cast<std::ptrdiff_t>(perOffset);
#pragma omp parallel for schedule(dynamic, 64) num_threads(threads) if (count >= parallelFrom)
        for (std::ptrdiff_t j = 0; j < count; ++j) {
            hit[j] = 0;
            if (state.cancel.load(std::memory_order_relaxed)) continue;
            const Vec3d x = t.apply(coords(data[o + stride * static_cast<std::size_t>(j)]));
            hit[j] = pair(x, slots[j]) ? 1 : 0;
        }
        for (std::size_t j = 0; j < perOffset; ++j)
            if (hit[j]) found.push_back(slots[j]);
    }
}

}  // namespace algorithm
}  // namespace alg3D
