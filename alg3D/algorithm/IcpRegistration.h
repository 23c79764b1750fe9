// ICP registration: moves a data point cloud onto a reference (points or a triangle
// mesh) by iterated closest-point pairing, with a similarity transform x -> s·R·x + t
// restricted to chosen degrees of freedom.
//
// registerGauss       point reference: incremental rigid (plus scale) transform from the
//                     SVD of the weighted cross-covariance of the pairs, its angles masked
//                     by the freedom bits.
// registerGaussMesh   mesh reference: damped Gauss-Newton (Levenberg-Marquardt) on the
//                     system linearised along the pair directions.
// registerChebyshev   either reference: linear minimax steps on the same linearisation
//                     with a step factor, accepting only steps that do not increase the
//                     maximum deviation.
// Inputs: the state (settings, transform), the data range [begin, end), samples (0 =
// all), search radius (<= 0 = unbounded), maximum iterations, tolerance, and the
// nearest-point function of the reference (query, radius, out point) -> found.
// Outputs: the state's transform (published whole, readable from another thread while
// the run goes on), pairs, statistics and iterations; a result code (IcpResult).
// A set `cancel` stops a run between points and iterations, also one set before the run
// began (the run never clears it): the last accepted transform stays, code 2.
// Thresholds (step lengths, rhs, spread sums, the minimax optimum, the tolerance floor
// 1e-6) scale with the data's size (pointSpread) below 1, as those of the fits, so the
// same part gives the same transform relative to its size in any unit. Where the
// stopping rules leave a run (a unit-dependent distance from the optimum), the mesh
// variant closes with undamped Gauss-Newton steps and Chebyshev (codes 0 and 4) with
// full minimax steps, then Newton steps on the optimality conditions of the binding
// pairs (over a point reference fewer than seven bind, and linear steps only creep);
// each is taken only when it does not raise the sum of squares or the maximum, and
// they end at the optimum itself, so every unit ends at the same transform.
// Code 0 (converged) always follows an accepted step (or the start itself); the mesh
// variant tries its harder-damped step after a rejected one instead of stopping there.
// Errors: a failed simplex solve of the Chebyshev step throws "geometry approximation
// failed.\n" (the transform keeps the last accepted step); nothing else of their own
// (allocation aside). Cost per iteration: one nearest query
// per sampled point (O(m log n_ref)) plus O(m) (Chebyshev: a simplex over all pairs;
// its closing steps at most 3 + 10 more such iterations);
// the pairing runs on `threads` OpenMP threads from 4096 points per pass, serially below.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "alg3D/algorithm/KdTree.h"
#include "alg3D/algorithm/KdTriangleProxy.h"
#include "alg3D/matrix/GLPoint.h"
#include "alg3D/matrix/Matrix.h"

namespace alg3D {
namespace algorithm {

// Result codes.
enum IcpResult : int {
    kIcpConverged = 0,       // the mean (Gauss) or maximum (Chebyshev) stopped changing
    kIcpBelowTolerance = 1,  // the mean (Gauss) or maximum (Chebyshev) fell below the tolerance
    kIcpIterationLimit = 2,  // the iteration limit was reached (or the run was cancelled)
    kIcpTooFewPoints = 3,    // fewer than 3 data points, or fewer pairs than wanted
    kIcpNoImprovement = 4,   // Chebyshev: the minimax step has no improvement left
};

// Freedom bits.
enum IcpFreedom : unsigned {
    kIcpRx = 1u << 0,
    kIcpRy = 1u << 1,
    kIcpRz = 1u << 2,
    kIcpTx = 1u << 3,
    kIcpTy = 1u << 4,
    kIcpTz = 1u << 5,
    kIcpScale = 1u << 6,
    kIcpRotations = kIcpRx | kIcpRy | kIcpRz,
    kIcpTranslations = kIcpTx | kIcpTy | kIcpTz,
    kIcpRigid = kIcpRotations | kIcpTranslations,  // the default: 63
};

struct IcpPair {
    Vec3d data;       // data point after the current transform
    Vec3d reference;  // its partner on the reference
    double distance = 0.0;
    double weight = 1.0;
};

struct IcpStatistics {
    double minDev = 0.0;
    double maxDev = 0.0;
    double meanDev = 0.0;
    double stdDev = 0.0;  // population form
    double rmse = 0.0;
    double sumSquares = 0.0;
    std::uint64_t pairs = 0;
};

// x -> scale·rotation·x + translation.
struct IcpTransform {
    Matrix3x3d rotation;  // identity
    Vec3d translation;
    double scale = 1.0;

    Vec3d apply(const Vec3d& x) const { return scale * (rotation * x) + translation; }
    // The 4x4 matrix of the transform (columns points, translation in the last column).
    Matrix4x4d matrix() const;
};

// Statistics of the pairs' distances (population stdDev; all zero for no pairs).
IcpStatistics icpPairStatistics(const std::vector<IcpPair>& pairs);

// Nearest reference point (or closest mesh point) of a query within a radius.
using IcpNearest = std::function<bool(const Vec3d& query, double radius, Vec3d& found)>;

// The registration state: settings, the current transform, pairs and statistics.
class IcpState {
  public:
    IcpState();
    IcpState(const IcpState&) = delete;
    IcpState& operator=(const IcpState&) = delete;

    std::atomic<float> progress{0.0f};  // percent, 100 when finished
    std::atomic<bool> cancel{false};    // set by the controlling thread to stop; never cleared
    unsigned threads = 0;               // OpenMP threads; the processors by default
    // The transform was pre-set (centre alignment); otherwise a run starts at identity.
    bool hasInitialTransform = false;
    // Weight of a pair (data point, reference point); empty = constant 1.
    std::function<double(const Vec3d&, const Vec3d&)> weightFunction;
    std::vector<IcpPair> pairs;
    IcpStatistics stats;
    std::uint64_t iterations = 0;
    // Linearised steps rotate about the origin instead of the transformed data centroid.
    bool rotationCentreIsOrigin = false;
    unsigned freedom = kIcpRigid;

    // The last accepted transform, as a whole (safe from any thread).
    IcpTransform transform() const;
    void setTransform(const IcpTransform& t);

  private:
    mutable std::mutex mutex_;
    IcpTransform transform_;
};

template <typename P>
int registerGauss(IcpState& state, const P* dataBegin, const P* dataEnd, int samples,
                  double searchRadius, std::uint64_t maxIterations, double tolerance,
                  const IcpNearest& nearest);

template <typename P>
int registerGaussMesh(IcpState& state, const P* dataBegin, const P* dataEnd, int samples,
                      double searchRadius, std::uint64_t maxIterations, double tolerance,
                      const IcpNearest& nearest);

template <typename P>
int registerChebyshev(IcpState& state, const P* dataBegin, const P* dataEnd, double searchRadius,
                      std::uint64_t maxIterations, double tolerance, const IcpNearest& nearest);

// Centre pre-alignment: t = referenceCentre - mean(data), R = identity, s = 1, and
// hasInitialTransform set.
template <typename P>
void alignCenters(IcpState& state, const P* dataBegin, const P* dataEnd,
                  const Vec3d& referenceCentre);

// Nearest-point functions over a built tree (which must outlive them).
template <typename Q>
IcpNearest icpNearestPoint(const KdTree<Q>& tree);
IcpNearest icpNearestOnMesh(const KdTree<KdTriangleProxy<Vec3d>>& tree);

// "iterations: N\npairs: N\nmeanDev.: …\nminDev.: …\nmaxDev.: …\nRMSE: …\nstdDev.: …\n"
// "duration: " + duration, numbers with 8 decimals.
std::string icpStatisticsText(const IcpState& state, const std::string& duration);
// "** R **\n", three rows "±r0 ±r1 ±r2 \n", "** T **\n", three lines "±t \n", "** S **\n",
// "±s" (6 decimals, forced sign).
std::string icpTransformText(const IcpTransform& t);

// The record handed to the worker thread (P data, Q reference point type).
template <typename P, typename Q>
struct ParamICPalgorithm {
    IcpState state;
    IcpNearest nearest;
    const P* dataBegin = nullptr;
    const P* dataEnd = nullptr;
    bool chebyshev = false;
    bool mesh = false;  // the reference is a mesh
    double searchRadius = 0.0;
    std::uint64_t maxIterations = 100;
    double tolerance = 0.0;
    int samples = 2000;  // 0 = all; forced to 0 for Chebyshev
    bool report = true;  // print the "ICP-Registration finished in …" line

    int result = kIcpIterationLimit;  // out: the result code
    std::string duration;             // out: the run's elapsed time text
    double milliseconds = 0.0;        // out
};

// Worker entry: Chebyshev -> registerChebyshev; Gauss with a mesh -> registerGaussMesh;
// else registerGauss; timed as "ICP-Registration". Exceptions pass to the caller.
template <typename P, typename Q>
void icpRegistration(ParamICPalgorithm<P, Q>& param);

}  // namespace algorithm
}  // namespace alg3D
