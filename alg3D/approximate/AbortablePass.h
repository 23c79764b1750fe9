// Passes over the points of a fit that an abort cuts short, and the calls through
// which the schemes hand their abort flag to a fit object.
//
// forEachChunk runs a loop body over [0, count) in chunks on the OpenMP team; once the
// flag is set, chunks not yet started are skipped, so an abort ends a pass over
// millions of points after at most one chunk per thread. Chunks are handed out
// dynamically, one at a time, as `schedule(dynamic, chunk)` would hand out indices, and
// every index is visited once: a body that writes only its own rows gives the same
// result as the plain loop. No exception may leave the body (OpenMP).
//
// A fit object may take the flag as a trailing `const std::atomic<bool>*` argument of
// estimateInitial, buildJacobian and computeResiduals; the jacobian, residuals and
// estimate calls below pass it when it does and call the plain form otherwise.
// Cost: one relaxed atomic load per chunk.
#pragma once

#include <algorithm>
#include <atomic>
#include <type_traits>
#include <utility>

#include "alg3D/matrix/DMatrix.h"
#include "alg3D/matrix/Matrix.h"

namespace alg3D {
namespace approximate {

// Whether an optional abort flag is set.
inline bool isAborted(const std::atomic<bool>* abort) {
    return abort != nullptr && abort->load(std::memory_order_relaxed);
}

// Calls body(i) for every i in [0, count) unless `abort` is set; in parallel when
// `parallel` holds.
template <class Body>
void forEachChunk(long long count, long long chunk, bool parallel, const std::atomic<bool>* abort,
                  const Body& body) {
    if (count <= 0) return;
    chunk = std::max(chunk, 1LL);
    const long long chunks = (count + chunk - 1) / chunk;
#pragma omp parallel for schedule(dynamic, 1) if (parallel)
    for (long long c = 0; c < chunks; ++c) {
        if (isAborted(abort)) continue;
        const long long first = c * chunk;
        const long long last = std::min(count, first + chunk);
        for (long long i = first; i < last; ++i)
            body(i);
    }
}

namespace detail {

template <class F, class = void>
struct TakesAbortFlag : std::false_type {};

template <class F>
struct TakesAbortFlag<
    F, std::void_t<decltype(std::declval<const F&>().buildJacobian(
           std::declval<const Vec3d*>(), std::declval<const Vec3d*>(), std::declval<DMatrix&>(),
           std::declval<DMatrix&>(), false, std::declval<const std::atomic<bool>*>()))>>
    : std::true_type {};

}  // namespace detail

template <class FitObj>
void jacobian(const FitObj& fit, const Vec3d* begin, const Vec3d* end, DMatrix& J, DMatrix& r,
              bool weighting, const std::atomic<bool>& abort) {
    if constexpr (detail::TakesAbortFlag<FitObj>::value)
        fit.buildJacobian(begin, end, J, r, weighting, &abort);
    else
        fit.buildJacobian(begin, end, J, r, weighting);
}

template <class FitObj>
void residuals(const FitObj& fit, const Vec3d* begin, const Vec3d* end, DMatrix& r, bool weighting,
               const std::atomic<bool>& abort) {
    if constexpr (detail::TakesAbortFlag<FitObj>::value)
        fit.computeResiduals(begin, end, r, weighting, &abort);
    else
        fit.computeResiduals(begin, end, r, weighting);
}

template <class FitObj>
void estimate(FitObj& fit, const Vec3d* begin, const Vec3d* end, const std::atomic<bool>& abort) {
    if constexpr (detail::TakesAbortFlag<FitObj>::value)
        fit.estimateInitial(begin, end, &abort);
    else
        fit.estimateInitial(begin, end);
}

}  // namespace approximate
}  // namespace alg3D
