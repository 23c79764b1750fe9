// Surface features: one scalar per point from its neighbourhood, and the evaluation
// that turns the values into statistics and false colours.
//
// Features (N = neighbour coordinates including the point, x = the point, r = the
// neighbourhood's radius): 0 local edges (distance between a wide and a narrow
// Gaussian-weighted mean of N), 1 local point density |N| / (π r²), 2 intrinsic
// curvature 3·w2 / (w0 + w1 + w2) of the covariance's singular values, 3 extrinsic
// curvature 1 / R of a least-squares sphere fitted to N.
// Neighbourhoods: kernel 1 all points within r + 1e-6 (the functions get r + 1e-6);
// kernels 0 (k = 30) and 2 (k = point number) the k nearest points, and the
// functions get the distance to the k-th of them (the point's own radius).
// Outputs: one value per point in point order; the caller fills the array with -1
//   before the run, and points not reached before an abort keep that value.
// Errors: the k-d tree's exceptions (memory). Cost: one neighbourhood query per point
//   plus O(|N|) (a 3x3 SVD, or up to 50 Gauss-Newton steps of a 4x4 system for the
//   sphere), parallel over points; the evaluation sorts a copy (O(n log n)).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "alg3D/algorithm/PointCloudProcessing.h"
#include "alg3D/matrix/GLPoint.h"
#include "alg3D/matrix/Matrix.h"

namespace alg3D {
namespace algorithm {

enum SurfaceFeature : int {
    kFeatureLocalEdges = 0,
    kFeatureDensity = 1,
    kFeatureIntrinsicCurvature = 2,
    kFeatureExtrinsicCurvature = 3,
};

enum FeatureKernel : int { kKernelAuto = 0, kKernelRadius = 1, kKernelPointNumber = 2 };

inline constexpr std::size_t kFeaturesAutoK = 30;

template <typename P>
struct ParamEdges {
    ProcessControl control;    // abort flag, progress, threads
    const P* begin = nullptr;  // points
    const P* end = nullptr;
    double* out = nullptr;  // one value per point, -1 on entry
    int feature = kFeatureLocalEdges;
    double radius = 0.0;                         // kernel 1
    std::uint64_t pointNumber = kFeaturesAutoK;  // kernel 2
    int kernelMode = kKernelAuto;
};

// The feature functions, on the neighbourhood N of x with radius argument r.
double localEdges(const std::vector<Vec3d>& n, const Vec3d& x, double r);
double localPointDensity(const std::vector<Vec3d>& n, const Vec3d& x, double r);
double intrinsicCurvature(const std::vector<Vec3d>& n, const Vec3d& x, double r);
double extrinsicCurvature(const std::vector<Vec3d>& n, const Vec3d& x, double r);
// The function of a feature number (local edges for an unknown number).
double featureValue(int feature, const std::vector<Vec3d>& n, const Vec3d& x, double r);

// Runs the feature over the kernel chosen in the record.
template <typename P>
void calcEdges(ParamEdges<P>& param);

// Statistics and colours of feature values.
struct FeatureEvaluation {
    double minimum = 0.0, maximum = 0.0, mean = 0.0, median = 0.0, stdDev = 0.0;
    double low = 0.0, high = 0.0;  // colour range D..E (the colour bar's limits)
    std::vector<Color> colors;     // one per value
};

// Sorted statistics (median = sorted[N / 2]), the one-sided colour range
// (D = mean - 3σ, E = mean + 3σ; D is raised to the minimum when the minimum exceeds
// it, otherwise E is lowered to the maximum when the maximum is below it) and the
// colours at (value - D) / |E - D| over 240 degrees (all blue when |E - D| <= 1e-8).
FeatureEvaluation evaluateFeatures(const std::vector<double>& values);

// "min.: …\nmax.: …\nmean: …\nmedian: …\nstdDev.: …\nduration: <duration>", numbers
// as printf "%g".
std::string featureStatisticsText(const FeatureEvaluation& e, const std::string& duration);
// A number as the statistics and the colour bar show it ("%g").
std::string formatFeatureNumber(double v);

}  // namespace algorithm
}  // namespace alg3D
