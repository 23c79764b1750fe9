// Smallest ball containing a point set, by the move-to-front algorithm with pivoting.
//
// Inputs: points [begin, end) (any unit), the cap on pivoting passes. Outputs: the centre
// and squared radius. Support points (at most four) are kept in a linked list at its
// front; a new support point is orthogonalised against the current ones and skipped when
// its squared orthogonal part is below 2.220446049250313e-16 times the current squared
// radius (numerically dependent). No points: centre 0, squared radius 0.
// abort (may be null) is tested between the pivoting passes; an aborted run returns the
// ball of the passes so far, which need not contain every point (aborted = true).
// Cost: expected linear in the number of points.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "alg3D/matrix/Matrix.h"

namespace alg3D {
namespace approximate {

struct EnclosingBall {
    Vec3d center;
    double squaredRadius = 0.0;
    bool aborted = false;
};

EnclosingBall minimumEnclosingBall(const Vec3d* begin, const Vec3d* end,
                                   std::uint64_t maxPasses = 100,
                                   const std::atomic<bool>* abort = nullptr);

}  // namespace approximate
}  // namespace alg3D
