// Common frame of every geometry fit: parameter states, the job record
// ParamFitGeometry, the worker entry fitGeometry, the two least-squares schemes
// (Gauss-Newton, Levenberg-Marquardt) and outlier weighting.
//
// A fit object (FitObjLine3D, FitObjPlane, ... FitObjTorus) is a plain copyable
// value class with these members, used by the schemes:
//   void estimateInitial(const Vec3d* begin, const Vec3d* end);
//       throws "not enough data for geometry approximation.\n" below the shape's
//       minimum point count; fills every parameter in state Estimate.
//   std::size_t numFreeParameters() const;      // m, the states other than Fixed
//   std::size_t numResidualRows(std::size_t n) const;  // n, plus 1 with a gauge row
//                                                 // (the line: 2n + 1, see FitObjLine3D)
//   void buildJacobian(const Vec3d* begin, const Vec3d* end, DMatrix& J, DMatrix& r,
//                      bool weighting) const;     // J: rows x m, r: rows x 1
//   void computeResiduals(const Vec3d* begin, const Vec3d* end, DMatrix& r,
//                         bool weighting) const;  // same rows as buildJacobian
//   void applyStep(const DMatrix& delta);         // m entries, shape's order
//   double deviation(const Vec3d& p) const;       // deviation shown to the user
//                                                 // (signed for plane, sphere, cylinder)
// The step solves J·δ ≈ −r. Jacobian columns follow the shape's parameter order
// with Fixed parameters skipped. estimateInitial, buildJacobian and computeResiduals
// may take a trailing `const std::atomic<bool>* abort` (the nine shapes do): their
// passes over the points, and an estimate's inner fits, then stop once it is set,
// leaving their output unspecified (AbortablePass.h).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <limits>
#include <string>

#include "alg3D/matrix/DMatrix.h"
#include "alg3D/matrix/Matrix.h"

namespace alg3D {
namespace approximate {

// State of one fit parameter.
enum ParamState : int {
    Estimate = 0,  // free; the initial estimate computes its start value
    Given = 1,     // free; the user's value is the start value
    Fixed = 2,     // held at its value: no Jacobian column, no update
};

// Fit methods of ParamFitGeometry::method.
enum FitMethod : int {
    kGaussNewton = 0,
    kLevenbergMarquardt = 1,  // the panel's "Gauss"
    kChebyshev = 2,
};

// Job record of one fit run on a worker thread.
template <class FitObj, class Point = Vec3d>
struct ParamFitGeometry {
    // Set by the controlling thread; the loops stop before their next step.
    std::atomic<bool> abort{false};
    std::atomic<float> progress{0.0f};  // percent, written by the worker
    int numThreads = 1;                 // processors when the record was filled
    int method = kGaussNewton;          // FitMethod
    bool weighting = false;             // outlier weighting
    std::uint64_t maxIterations = 100;  // iteration cap
    const Point* begin = nullptr;       // the selected points, contiguous
    const Point* end = nullptr;
    FitObj* fitObj = nullptr;      // in: start values and states; out: the fitted shape
    std::uint64_t iterations = 0;  // out: iterations performed
    std::string duration = "-";    // out: elapsed-time text of the run

    ParamFitGeometry();  // numThreads = omp_get_num_procs()

    // Resets progress (abort is kept: one asked for before the start ends the run at
    // its first check) and runs the scheme `method` selects (kChebyshev:
    // approximateChebyshev of ChebyshevFit.h); returns the iterations performed (0,
    // nothing changed, for an unknown method and without a fit object).
    std::uint64_t run();
};

// Worker entry: runs param.run(), stores iterations and duration, and any
// exception in `error`; sets `finished` as its last action in every case.
template <class FitObj, class Point>
void fitGeometry(ParamFitGeometry<FitObj, Point>& param, std::atomic<bool>& finished,
                 std::exception_ptr& error);

// Both schemes start with fitObj.estimateInitial and return 0 at once when no
// parameter is free. Their step thresholds (1e-6 on ‖δ‖ and on the change of
// ‖δ‖) and solver tolerance scale with the size of the data below 1 (see
// stepThreshold, gradientThreshold, solveTolerance), so a part gives the same
// result relative to its size in any unit. An Alg3dException from inside is
// rethrown as a copy; progress ends at 100.

// Both schemes end a run that stops by one of their tests (not by the cap or an
// abort) with polishing Gauss-Newton steps, each kept while it lowers Σr² and
// shrinks, until a step changes no parameter by more than 1e-13 of the data size
// (angles: 1e-13 rad; see detail::stepChangeRelative). At the returned parameters a
// further Gauss-Newton step is then below 1e-12 of the size wherever JᵀJ has full
// rank and the rounding of the data allows. Polishing steps are not counted as
// iterations; one that converges quadratically costs one more Jacobian pass.

// Gauss-Newton: normal equations JᵀJ·δ = −Jᵀr solved by the SVD solver until the
// step is small or its length stops changing; the converging step is applied, then
// the polish. Returns the iterations performed (the converging one not counted);
// maxIterations means the cap was reached.
template <class FitObj>
std::uint64_t approximateGaussNewton(const Vec3d* begin, const Vec3d* end, FitObj& fitObj,
                                     std::uint64_t maxIterations, bool weighting,
                                     const std::atomic<bool>& abort, std::atomic<float>& progress);

// Levenberg-Marquardt with Nielsen's damping update: returns 0 when the start's
// gradient is already small, otherwise the index of the iteration that stopped
// (small or unchanged step, small gradient after an accepted step) or
// maxIterations. A run that stops by one of these tests (not by the cap or an
// abort) ends with the polish, so that the result does not sit a threshold's
// width away from the optimum.
template <class FitObj>
std::uint64_t approximateLevenbergMarquardt(const Vec3d* begin, const Vec3d* end, FitObj& fitObj,
                                            std::uint64_t maxIterations, bool weighting,
                                            const std::atomic<bool>& abort,
                                            std::atomic<float>& progress);

// Outlier weighting of a filled residual column: with mean μ and population
// standard deviation σ of all entries, and only when μ > minMean, every entry above
// μ + 3σ is set to 0, and so is its Jacobian row when J is given.
// buildJacobian uses minMean 1e-6, computeResiduals 1e-7.
void applyOutlierWeighting(DMatrix& r, DMatrix* J, double minMean);

// Local frame of the shapes with an axis (line, plane, cylinder, cone, torus).
// The frame's third axis is the shape's direction. Its two angle parameters are
// rotations about the frame's own first and second axes, measured from the current
// frame: applyStep turns the frame by the step's angles and the angles then read 0
// again. This keeps the derivatives well conditioned for every direction (no
// gimbal lock), while Fixed angles keep the direction fixed.
class RotationFrame {
  public:
    RotationFrame() = default;

    // Frame whose third axis is the direction (normalised): the smallest rotation
    // taking z to the direction, about the horizontal axis ±(d_y, −d_x, 0) by
    // acos(d_z); a direction along +z gives the identity, one along −z a half turn
    // about x. A zero vector gives the identity.
    void setDirection(const Vec3d& direction);

    // Turns the frame about its own first axis by a1, then its second axis by a2.
    void rotate(double a1, double a2);

    // Columns are the frame axes in world coordinates.
    const Matrix3x3d& rotation() const { return rotation_; }
    Vec3d axis(std::size_t k) const {
        return Vec3d(rotation_(0, k), rotation_(1, k), rotation_(2, k));
    }
    Vec3d direction() const { return axis(2); }

    // World vector into frame coordinates (Rᵀv) and back (R·q).
    Vec3d toLocal(const Vec3d& v) const;
    Vec3d toWorld(const Vec3d& q) const;

    // Derivative of the local coordinates q = Rᵀv of a fixed world vector v with
    // respect to the two angle parameters at the current frame (angles 0).
    Vec3d dLocalDAngle1(const Vec3d& q) const { return Vec3d(0.0, q.z, -q.y); }
    Vec3d dLocalDAngle2(const Vec3d& q) const { return Vec3d(-q.z, 0.0, q.x); }

  private:
    Matrix3x3d rotation_;  // identity
};

// Reduces an angle modulo 2π (6.283185307179586) as the steps do.
double reduceAngle2Pi(double angle);

// Size of a point set for the unit-independent stopping thresholds: the largest
// distance of a point from the centroid (0 for no points).
double dataSize(const Vec3d* begin, const Vec3d* end);

// The step-length threshold of the schemes: 1e-6 for data of size 1 and above,
// 1e-6·size below, so that the same part gives the same relative result in any
// unit. A size of 0 (all points equal) or NaN gives the smallest normal double:
// only a zero step or an exactly repeated step length stops such a run.
double stepThreshold(double size);

// The gradient threshold of Levenberg-Marquardt: 1e-6 for data of size 1 and
// above, 1e-6·size² below. g = Jᵀr has entries of unit length (position and
// radius columns: J is unitless, r a length) and of unit length² (angle columns:
// J is a length), so the size² scaling keeps every column at least as strict as
// for the same part in a larger unit.
double gradientThreshold(double size);

// Absolute singular-value tolerance of the step solves: 1e-6 for data of size 1
// and above, 1e-6·size² below. The angle entries of JᵀJ scale with size², so a
// fixed 1e-6 would drop the rotation of a small part (in metres, say) as
// "singular" while the same part in millimetres keeps it.
double solveTolerance(double size);

// Outlier weighting thresholds on the mean residual (applyOutlierWeighting's
// minMean) of buildJacobian and computeResiduals.
inline constexpr double kWeightingMinMeanJacobian = 1e-6;
inline constexpr double kWeightingMinMeanResiduals = 1e-7;

// Number of points of a half-open range; 0 for null pointers or end < begin, so
// that a corrupt range never turns into a huge count.
inline std::size_t pointCount(const Vec3d* begin, const Vec3d* end) {
    return (begin && end && end > begin) ? static_cast<std::size_t>(end - begin) : 0;
}

}  // namespace approximate
}  // namespace alg3D
