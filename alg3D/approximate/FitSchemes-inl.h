// Template definitions of the fit framework: the job record ParamFitGeometry, the
// worker entry fitGeometry and the least-squares schemes (Gauss-Newton,
// Levenberg-Marquardt). Included only by the fit objects' .cpp files, each of
// which instantiates them for its own FitObj type.
//
// Cost per iteration: one Jacobian (n rows, m <= 7 columns), the m x m normal
// equations JᵀJ (O(n·m²)) and an SVD of m x m; Levenberg-Marquardt adds one
// residual pass per trial step.
#pragma once

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "alg3D/approximate/AbortablePass.h"
#include "alg3D/approximate/ChebyshevFit.h"
#include "alg3D/approximate/FitFramework.h"
#include "alg3D/matrix/Alg3dException.h"
#include "alg3D/matrix/DMatrix.h"
#include "alg3D/matrix/SVD.h"
#include "alg3D/matrix/TimeMeasurement.h"

namespace alg3D {
namespace approximate {

namespace detail {

// progress has a single writer (the worker), so load and store need no CAS loop.
inline void advanceProgress(std::atomic<float>& progress, float delta) {
    progress.store(progress.load(std::memory_order_relaxed) + delta, std::memory_order_relaxed);
}

inline float progressPerIteration(std::uint64_t maxIterations) {
    return maxIterations > 0 ? 100.0f / static_cast<float>(maxIterations) : 0.0f;
}

inline double euclideanNorm(const DMatrix& v) {
    return std::sqrt(sumOfSquares(v));
}

// Polishing ends once a Gauss-Newton step moves no parameter by more than this share
// of the data size (see stepChangeRelative), a tenth of the precision promised for the
// returned parameters, or after kMaxPolishSteps steps.
inline constexpr double kPolishTolerance = 1e-13;
inline constexpr int kMaxPolishSteps = 30;

// Largest change of the residuals a step δ causes through any single parameter,
// relative to the data size: max |δ_i|·c_i / size with c_i the root mean square of
// Jacobian column i (√(A_ii/rows)), held at least at min(size, 1). Position and
// radius columns have c_i ≤ 1, so their entries are measured against the size;
// angle columns have c_i of the order of the size, so angles are measured in
// radians. A non-finite step gives infinity.
inline double stepChangeRelative(const DMatrix& delta, const DMatrix& A, std::uint64_t rows,
                                 double size) {
    const double floorScale = std::min(size, 1.0);
    const double denominator = std::max(size, std::numeric_limits<double>::min());
    const double perRow = rows > 0 ? 1.0 / static_cast<double>(rows) : 1.0;
    double worst = 0.0;
    for (std::uint64_t i = 0; i < delta.size(); ++i) {
        const double c = std::max(std::sqrt(std::max(A(i, i), 0.0) * perRow), floorScale);
        const double change = std::abs(delta[i]) * c / denominator;
        if (!(change <= std::numeric_limits<double>::max()))
            return std::numeric_limits<double>::infinity();
        worst = std::max(worst, change);
    }
    return worst;
}

// Final Gauss-Newton steps after a scheme's stopping rule has fired. The stopping
// thresholds (1e-6 of the step) leave the result as far from the optimum as the
// last step's contraction allows, which on noisy or partial data is far more than
// the data's precision. Starting from A = JᵀJ, g = Jᵀr and F = Σr² at the current
// parameters, each step is tried and kept while it does not raise Σr² (beyond
// rounding) and keeps shrinking; a step below kPolishTolerance is applied without a
// further pass and ends the polish. Returns the number of Jacobian passes made.
// Cost: one Jacobian pass per kept step; a run that converges quadratically needs
// one.
template <class FitObj>
int polishGaussNewton(const Vec3d* begin, const Vec3d* end, FitObj& fitObj, bool weighting,
                      double size, double solveTol, DMatrix& J, DMatrix& r, DMatrix A, DMatrix g,
                      double F, const std::atomic<bool>& abort) {
    int passes = 0;
    double previous = std::numeric_limits<double>::infinity();
    for (int step = 0; step < kMaxPolishSteps && !abort.load(); ++step) {
        const DMatrix delta = svdSolve(A, -g, solveTol);
        const double change = stepChangeRelative(delta, A, r.size(), size);
        if (change <= kPolishTolerance) {
            fitObj.applyStep(delta);
            break;
        }
        // Not shrinking any more: the rounding of the data bounds the step.
        if (!(change < 0.9 * previous)) break;
        FitObj trial = fitObj;
        trial.applyStep(delta);
        jacobian(trial, begin, end, J, r, weighting, abort);
        ++passes;
        // A pass cut short by an abort has rows left out of its sum.
        if (abort.load()) break;
        const double FTrial = sumOfSquares(r);
        if (!(FTrial <= F + 1e-12 * F)) break;
        fitObj = trial;
        F = FTrial;
        A = transposedProduct(J, J);
        g = transposedProduct(J, r);
        previous = change;
    }
    return passes;
}

}  // namespace detail

template <class FitObj, class Point>
ParamFitGeometry<FitObj, Point>::ParamFitGeometry() : numThreads(omp_get_num_procs()) {}

template <class FitObj, class Point>
std::uint64_t ParamFitGeometry<FitObj, Point>::run() {
    // abort is kept: one asked for before the worker got here ends the run at its
    // first check.
    progress = 0.0f;
    if (!fitObj) return 0;
    switch (method) {
        case kGaussNewton:
            return approximateGaussNewton(begin, end, *fitObj, maxIterations, weighting, abort,
                                          progress);
        case kLevenbergMarquardt:
            return approximateLevenbergMarquardt(begin, end, *fitObj, maxIterations, weighting,
                                                 abort, progress);
        case kChebyshev:
            return approximateChebyshev(begin, end, *fitObj, maxIterations, abort, progress);
        default:
            return 0;
    }
}

template <class FitObj, class Point>
void fitGeometry(ParamFitGeometry<FitObj, Point>& param, std::atomic<bool>& finished,
                 std::exception_ptr& error) {
    finished = false;
    try {
        TimeMeasurement watch("");
        watch.setReport(false);
        param.iterations = 0;
        param.iterations = param.run();
        param.duration = watch.elapsedText();
    } catch (...) {
        // Anything, not only std::exception: the controlling thread waits for
        // `finished` and must never hang on a worker that died silently.
        error = std::current_exception();
    }
    finished = true;
}

template <class FitObj>
std::uint64_t approximateGaussNewton(const Vec3d* begin, const Vec3d* end, FitObj& fitObj,
                                     std::uint64_t maxIterations, bool weighting,
                                     const std::atomic<bool>& abort, std::atomic<float>& progress) {
    progress = 0.0f;
    if (abort.load()) {
        progress = 100.0f;
        return 0;
    }
    estimate(fitObj, begin, end, abort);
    if (fitObj.numFreeParameters() == 0 || abort.load()) {
        progress = 100.0f;
        return 0;
    }
    const double size = dataSize(begin, end);
    const double stepTol = stepThreshold(size);
    const double solveTol = solveTolerance(size);
    const float progressStep = detail::progressPerIteration(maxIterations);

    std::uint64_t j = 0;
    try {
        DMatrix J, r;
        double sPrev = std::numeric_limits<double>::max();
        bool polish = false;  // stopped by a test, with a step above the polish tolerance
        while (j < maxIterations && !abort.load()) {
            detail::advanceProgress(progress, progressStep);
            jacobian(fitObj, begin, end, J, r, weighting, abort);
            // Each pass over the points takes long on big clouds: an abort asked for
            // meanwhile ends the run before the products.
            if (abort.load()) break;
            const DMatrix N = transposedProduct(J, J);
            const DMatrix g = transposedProduct(J, r);
            const DMatrix delta = svdSolve(N, -g, solveTol);
            fitObj.applyStep(delta);
            const double s = detail::euclideanNorm(delta);
            if (s < stepTol || std::abs(sPrev - s) < stepTol) {
                // A converging step already below the polish tolerance needs no
                // further pass.
                polish =
                    detail::stepChangeRelative(delta, N, r.size(), size) > detail::kPolishTolerance;
                break;
            }
            sPrev = s;
            ++j;
        }
        if (polish && !abort.load()) {
            jacobian(fitObj, begin, end, J, r, weighting, abort);
            if (!abort.load())
                detail::polishGaussNewton(begin, end, fitObj, weighting, size, solveTol, J, r,
                                          transposedProduct(J, J), transposedProduct(J, r),
                                          sumOfSquares(r), abort);
        }
    } catch (const Alg3dException& e) {
        throw Alg3dException(e);
    }
    progress = 100.0f;
    return j;
}

template <class FitObj>
std::uint64_t approximateLevenbergMarquardt(const Vec3d* begin, const Vec3d* end, FitObj& fitObj,
                                            std::uint64_t maxIterations, bool weighting,
                                            const std::atomic<bool>& abort,
                                            std::atomic<float>& progress) {
    progress = 0.0f;
    if (abort.load()) {
        progress = 100.0f;
        return 0;
    }
    estimate(fitObj, begin, end, abort);
    if (fitObj.numFreeParameters() == 0 || abort.load()) {
        progress = 100.0f;
        return 0;
    }
    const double size = dataSize(begin, end);
    const double stepTol = stepThreshold(size);
    const double gradTol = gradientThreshold(size);
    const double solveTol = solveTolerance(size);
    const float progressStep = detail::progressPerIteration(maxIterations);

    std::uint64_t k = 0;
    try {
        DMatrix J, r, rTrial;
        double mu = 0.001;
        double F = 0.0;
        // A converged run ends with undamped (Gauss-Newton) steps, kept while they
        // lower the sum of squares. Stopping without them would leave the result as
        // far from the optimum as the thresholds themselves: the last step goes
        // unapplied (up to 1e-6 of a part of size 1), and where an ill-conditioned
        // partial arc makes a small gradient compatible with a larger error, the
        // damping also shortens the steps. That error would differ from unit to unit.
        const auto finish = [&](const DMatrix& A, const DMatrix& g) {
            detail::polishGaussNewton(begin, end, fitObj, weighting, size, solveTol, J, r, A, g, F,
                                      abort);
        };
        const auto dampedStep = [&](const DMatrix& A, const DMatrix& g) {
            DMatrix damped = A;
            for (std::uint64_t i = 0; i < damped.rows(); ++i)
                damped(i, i) += mu;
            return svdSolve(damped, -g, solveTol);
        };

        jacobian(fitObj, begin, end, J, r, weighting, abort);
        if (abort.load()) {
            progress = 100.0f;
            return 0;
        }
        DMatrix g = transposedProduct(J, r);
        DMatrix A = transposedProduct(J, J);
        F = sumOfSquares(r);
        if (infinityNorm(g) < gradTol) {
            if (maxIterations > 0) finish(A, g);
            progress = 100.0f;
            return 0;
        }
        double nu = 2.0;
        double sPrev = std::numeric_limits<double>::max();
        while (k < maxIterations && !abort.load()) {
            detail::advanceProgress(progress, progressStep);
            const DMatrix h = dampedStep(A, g);
            const double s = detail::euclideanNorm(h);
            if (s < stepTol || std::abs(sPrev - s) < stepTol) {
                finish(A, g);
                break;
            }

            FitObj trial = fitObj;
            trial.applyStep(h);
            residuals(trial, begin, end, rTrial, weighting, abort);
            // Every pass over the points is a point to stop at: one iteration takes
            // several of them, too long for an abort on big clouds.
            if (abort.load()) break;
            const double FTrial = sumOfSquares(rTrial);
            double L = 0.0;  // predicted reduction of Σr², hᵀ(μh − g)
            for (std::uint64_t i = 0; i < h.size(); ++i)
                L += h[i] * (mu * h[i] - g[i]);

            if (F - FTrial > 0.0 && L > 0.0) {
                const double rho = (F - FTrial) / L;
                sPrev = s;
                fitObj = trial;
                F = FTrial;
                jacobian(fitObj, begin, end, J, r, weighting, abort);
                if (abort.load()) break;
                A = transposedProduct(J, J);
                g = transposedProduct(J, r);
                const double t = 2.0 * rho - 1.0;
                mu *= std::max(0.3333333333333333, 1.0 - t * t * t);
                nu = 2.0;
                if (infinityNorm(g) < gradTol) {
                    finish(A, g);
                    break;
                }
            } else {
                mu *= nu;
                nu *= 2.0;
            }
            ++k;
        }
    } catch (const Alg3dException& e) {
        throw Alg3dException(e);
    }
    progress = 100.0f;
    return k;
}

}  // namespace approximate
}  // namespace alg3D

// The Chebyshev scheme needs approximateLevenbergMarquardt above.
#include "alg3D/approximate/ChebyshevScheme-inl.h"
