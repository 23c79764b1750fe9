// The damped linear minimax iteration of the Chebyshev fits, for any fit object (or
// objective with the same operations: buildJacobian, computeResiduals, applyStep and
// copying). Included by the .cpp files of the Chebyshev fits only.
//
// Each iteration solves min_h max(|J·h + r|, λ·|h_k|) as a linear program (the damping
// rows λ = √S keep the step short while the linearisation is poor), tries the step and
// keeps it when the largest residual went down; S shrinks on success as in
// Levenberg-Marquardt (ratio of actual to predicted reduction) and grows by W, 2W, 4W, ...
// on failure. The linear program works with absolute tolerances, so every solve sees its
// data scaled to 1: residuals by their largest magnitude, each column by its largest
// entry. Cost per iteration: one Jacobian and one simplex over (n + m) rows.
#pragma once

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "alg3D/approximate/AbortablePass.h"
#include "alg3D/approximate/ChebyshevFit.h"
#include "alg3D/approximate/FitFramework.h"
#include "alg3D/matrix/Alg3dException.h"
#include "alg3D/matrix/DMatrix.h"
#include "alg3D/matrix/LinearMinimax.h"

namespace alg3D {
namespace approximate {
namespace chebyshev {

// Runs fn; an Alg3dException from inside is thrown again as a copy of itself.
template <class Fn>
auto rethrowAsCopy(Fn&& fn) -> decltype(fn()) {
    try {
        return fn();
    } catch (const Alg3dException& e) {
        throw Alg3dException(e);
    }
}

inline double maxAbs(const DMatrix& m) {
    double v = 0.0;
    for (std::uint64_t k = 0; k < m.size(); ++k)
        v = std::max(v, std::abs(m[k]));
    return v;
}

// min_h max(|J·h + r|_i, λ·|h_k|): the step h and the predicted maximum t. False when the
// simplex fails.
inline bool dampedMinimaxStep(const DMatrix& J, const DMatrix& r, double lambda, DMatrix& h,
                              double& t) {
    const std::uint64_t n = J.rows(), m = J.cols();
    double s = maxAbs(r);
    if (!(s > 0.0)) s = 1.0;
    std::vector<double> c(m, 0.0);
    for (std::uint64_t i = 0; i < n; ++i)
        for (std::uint64_t k = 0; k < m; ++k)
            c[k] = std::max(c[k], std::abs(J(i, k)));
    for (std::uint64_t k = 0; k < m; ++k) {
        c[k] = std::max(c[k], lambda);
        if (!(c[k] > 0.0)) c[k] = 1.0;
    }
    DMatrix a(n + m, m), b(n + m, 1);
    for (std::uint64_t i = 0; i < n; ++i) {
        for (std::uint64_t k = 0; k < m; ++k)
            a(i, k) = J(i, k) / c[k];
        b[i] = r[i] / s;
    }
    for (std::uint64_t k = 0; k < m; ++k)
        a(n + k, k) = lambda / c[k];
    DMatrix g;
    const double value = linearMinimax(a, b, g);
    if (value < 0.0 || g.size() != m) return false;
    h.assign(m, 1);
    for (std::uint64_t k = 0; k < m; ++k)
        h[k] = g[k] * s / c[k];
    t = value * s;
    return true;
}

// The iteration from the fit object's current parameters. stepTol stops on a short or
// unchanged step, valueTol on an unchanged maximum (a last small improvement is still
// kept). Every iteration adds progressSpan / maxIterations to progress (callers that run
// a start of their own first give the iteration the rest of the bar). Returns the index
// of the stopping iteration, or maxIterations.
template <class Objective>
std::uint64_t iterate(const Vec3d* begin, const Vec3d* end, Objective& fit,
                      std::uint64_t maxIterations, const std::atomic<bool>& abort,
                      std::atomic<float>& progress, double stepTol, double valueTol,
                      float progressSpan = 100.0f) {
    const float progressStep =
        maxIterations > 0 ? progressSpan / static_cast<float>(maxIterations) : 0.0f;
    DMatrix J, r, rTrial, h;
    jacobian(fit, begin, end, J, r, false, abort);
    if (abort.load()) return 0;
    double H = maxAbs(r);
    double S = maxAbs(J);
    if (!(S > 0.0)) S = 1.0;
    double W = 2.0;
    double sPrev = std::numeric_limits<double>::max();
    std::uint64_t l = 0;
    for (; l < maxIterations && !abort.load(); ++l) {
        progress.store(progress.load(std::memory_order_relaxed) + progressStep,
                       std::memory_order_relaxed);
        double t = 0.0;
        if (!dampedMinimaxStep(J, r, std::sqrt(S), h, t)) {
            throwAlg3dException(errors::kApproximationFailed);
        }
        const double sigma = std::sqrt(sumOfSquares(h));
        Objective trial = fit;
        trial.applyStep(h);
        residuals(trial, begin, end, rTrial, false, abort);
        // A pass cut short leaves rows out of the maximum: not a value to accept.
        if (abort.load()) break;
        const double b = maxAbs(rTrial);
        if (sigma < stepTol || std::abs(sPrev - sigma) < stepTol) {
            // The last short step is kept when it helps: stopping without it would leave
            // the result a threshold's width from the optimum.
            if (b < H) fit = trial;
            break;
        }
        if (std::abs(b - H) < valueTol) {
            if (b < H) fit = trial;
            break;
        }
        if (b < H) {
            sPrev = sigma;
            fit = trial;
            jacobian(fit, begin, end, J, r, false, abort);
            const double rho = (H - b) / std::abs(H - t);
            const double q = 2.0 * rho - 1.0;
            S *= std::max(0.3333333333333333, 1.0 - q * q * q);
            W = 2.0;
            H = b;
        } else {
            S *= W;
            W *= 2.0;
        }
    }
    return l;
}

// The iteration with the step and value thresholds of the data's size, a failure
// thrown again as a copy (what every caller on measured data wants).
template <class Objective>
std::uint64_t iterateOnData(const Vec3d* begin, const Vec3d* end, Objective& fit,
                            std::uint64_t maxIterations, const std::atomic<bool>& abort,
                            std::atomic<float>& progress, float progressSpan = 100.0f) {
    const double threshold = stepThreshold(dataSize(begin, end));
    return rethrowAsCopy([&] {
        return iterate(begin, end, fit, maxIterations, abort, progress, threshold, threshold,
                       progressSpan);
    });
}

}  // namespace chebyshev

// The generic scheme (ChebyshevFit.h): the shape's Levenberg-Marquardt fit, then the
// minimax iteration from there. Defined here so that every fit object's ParamFitGeometry
// can run it.
template <class FitObj>
std::uint64_t approximateChebyshev(const Vec3d* begin, const Vec3d* end, FitObj& fitObj,
                                   std::uint64_t maxIterations, const std::atomic<bool>& abort,
                                   std::atomic<float>& progress) {
    progress = 0.0f;
    std::atomic<float> startProgress{0.0f};
    approximateLevenbergMarquardt(begin, end, fitObj, maxIterations, false, abort, startProgress);
    if (fitObj.numFreeParameters() == 0 || abort.load()) {
        progress = 100.0f;
        return 0;
    }
    const std::uint64_t l =
        chebyshev::iterateOnData(begin, end, fitObj, maxIterations, abort, progress);
    progress = 100.0f;
    return l;
}

}  // namespace approximate
}  // namespace alg3D
