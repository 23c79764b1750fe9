// Helpers shared by the fit tests: the Jacobian of any fit object checked against
// central finite differences of its residuals, runs of both schemes, population
// statistics of deviations, the NIST reference files, and a few geometric
// generators.
#pragma once

#include <gtest/gtest.h>

#include <Eigen/Dense>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "alg3D/approximate/FitFramework.h"
#include "alg3D/matrix/DMatrix.h"
#include "alg3D/matrix/Matrix.h"

namespace fit_core_test {

using alg3D::DMatrix;
using alg3D::Vec3d;

// Largest difference between the analytic Jacobian and central differences of
// computeResiduals over the first `dataRows` rows (default: one per point; gauge
// rows excluded, their residual is 0 by construction). Steps go through
// applyStep, so angle columns are checked against the frame turn they really
// cause.
template <class FitObj>
double maxJacobianError(const FitObj& obj, const std::vector<Vec3d>& pts, double h,
                        std::size_t dataRows = 0) {
    if (dataRows == 0) dataRows = pts.size();
    const Vec3d* b = pts.data();
    const Vec3d* e = b + pts.size();
    DMatrix J, r;
    obj.buildJacobian(b, e, J, r, false);
    const std::size_t m = obj.numFreeParameters();
    double worst = 0.0;
    for (std::size_t k = 0; k < m; ++k) {
        DMatrix step(m, 1);
        step[k] = h;
        FitObj plus = obj;
        plus.applyStep(step);
        step[k] = -h;
        FitObj minus = obj;
        minus.applyStep(step);
        DMatrix rp, rm;
        plus.computeResiduals(b, e, rp, false);
        minus.computeResiduals(b, e, rm, false);
        for (std::size_t i = 0; i < dataRows; ++i) {
            const double fd = (rp[i] - rm[i]) / (2.0 * h);
            worst = std::max(worst, std::abs(fd - J(i, k)));
        }
    }
    return worst;
}

enum class Scheme { GaussNewton, LevenbergMarquardt };

inline const char* schemeName(Scheme s) {
    return s == Scheme::GaussNewton ? "Gauss-Newton" : "Levenberg-Marquardt";
}

// Runs one scheme on the points; returns the iterations.
template <class FitObj>
std::uint64_t runScheme(Scheme s, const std::vector<Vec3d>& pts, FitObj& obj,
                        std::uint64_t maxIterations = 100, bool weighting = false) {
    std::atomic<bool> abort{false};
    std::atomic<float> progress{0.0f};
    const Vec3d* b = pts.data();
    const Vec3d* e = b + pts.size();
    return s == Scheme::GaussNewton ? alg3D::approximate::approximateGaussNewton(
                                          b, e, obj, maxIterations, weighting, abort, progress)
                                    : alg3D::approximate::approximateLevenbergMarquardt(
                                          b, e, obj, maxIterations, weighting, abort, progress);
}

// Change one further Gauss-Newton step makes at the fit object's parameters. The
// step solves J·δ ≈ −r in the least-squares sense by Eigen's column-pivoting QR on the
// fit's own Jacobian (not through the normal equations the schemes use). Entries
// flagged in `dimensionless` (angles, the superellipse's exponent) go into `angle`
// as they are, the others (positions, radii) into `length` divided by `size`.
struct StepChange {
    double length = 0.0, angle = 0.0;
};

template <class FitObj>
StepChange gaussNewtonStepChange(const FitObj& obj, const std::vector<Vec3d>& pts,
                                 const std::vector<bool>& dimensionless, double size) {
    DMatrix J, r;
    obj.buildJacobian(pts.data(), pts.data() + pts.size(), J, r, false);
    Eigen::MatrixXd A(J.rows(), J.cols());
    Eigen::VectorXd b(J.rows());
    for (std::uint64_t i = 0; i < J.rows(); ++i) {
        b[Eigen::Index(i)] = -r[i];
        for (std::uint64_t k = 0; k < J.cols(); ++k)
            A(Eigen::Index(i), Eigen::Index(k)) = J(i, k);
    }
    // Minimum-norm solution; directions with pivots below 1e-10 of the largest (the
    // plane's moves inside itself) are the rank deficiency, not steps.
    Eigen::CompleteOrthogonalDecomposition<Eigen::MatrixXd> cod(A);
    cod.setThreshold(1e-10);
    const Eigen::VectorXd delta = cod.solve(b);
    StepChange c;
    for (Eigen::Index k = 0; k < delta.size(); ++k) {
        const bool angle = std::size_t(k) < dimensionless.size() && dimensionless[std::size_t(k)];
        double& worst = angle ? c.angle : c.length;
        worst = std::max(worst, std::abs(delta[k]) / (angle ? 1.0 : size));
    }
    return c;
}

struct Stats {
    double mean = 0.0, sigma = 0.0, minDev = 0.0, maxDev = 0.0;
};

// Population statistics of the fit object's deviations, as the fit command forms them.
template <class FitObj>
Stats deviationStats(const FitObj& obj, const std::vector<Vec3d>& pts) {
    Stats s;
    if (pts.empty()) return s;
    std::vector<double> d(pts.size());
    for (std::size_t i = 0; i < pts.size(); ++i)
        d[i] = obj.deviation(pts[i]);
    double sum = 0.0;
    for (double x : d)
        sum += x;
    s.mean = sum / double(d.size());
    double sq = 0.0;
    for (double x : d)
        sq += (x - s.mean) * (x - s.mean);
    s.sigma = std::sqrt(sq / double(d.size()));
    s.minDev = *std::min_element(d.begin(), d.end());
    s.maxDev = *std::max_element(d.begin(), d.end());
    return s;
}

// Population standard deviation of values.
inline double populationSigma(const std::vector<double>& v) {
    if (v.empty()) return 0.0;
    double sum = 0.0;
    for (double x : v)
        sum += x;
    const double mean = sum / double(v.size());
    double sq = 0.0;
    for (double x : v)
        sq += (x - mean) * (x - mean);
    return std::sqrt(sq / double(v.size()));
}

inline std::vector<double> absolute(std::vector<double> v) {
    for (double& x : v)
        x = std::abs(x);
    return v;
}

// A unit vector perpendicular to n.
inline Vec3d anyPerpendicular(const Vec3d& n) {
    const Vec3d a = std::abs(n.x) < 0.6 ? Vec3d(1.0, 0.0, 0.0) : Vec3d(0.0, 1.0, 0.0);
    return (a - a.dot(n) * n).normalized();
}

inline Vec3d randomUnit(std::mt19937_64& rng) {
    std::normal_distribution<double> g(0.0, 1.0);
    for (;;) {
        const Vec3d v(g(rng), g(rng), g(rng));
        const double len = v.norm();
        if (len > 1e-3) return v / len;
    }
}

inline std::vector<Vec3d> scaled(const std::vector<Vec3d>& pts, double s) {
    std::vector<Vec3d> out(pts.size());
    for (std::size_t i = 0; i < pts.size(); ++i)
        out[i] = pts[i] * s;
    return out;
}

// Set TESSARO_FIT_REPORT to make the reference tests print the figures they reach.
inline bool reportFigures() {
    return std::getenv("TESSARO_FIT_REPORT") != nullptr;
}

// ---- NIST reference files -------------------------------------------------------

// The folder beside the checkout, or TESSARO_NIST_DIR when set (a checkout in a
// worktree has no shared folder beside it); normalised by hand because tests/data
// itself need not exist for the path to be meaningful.
inline std::string nistDir() {
    if (const char* dir = std::getenv("TESSARO_NIST_DIR")) return dir;
#ifdef TESSARO_TESTDATA_DIR
    const std::filesystem::path p =
        std::filesystem::path(TESSARO_TESTDATA_DIR "/../../../shared/testdata/nist-l2");
    return p.lexically_normal().string();
#else
    return "";
#endif
}

inline bool nistAvailable() {
    std::ifstream f(nistDir() + "/README.md");
    return static_cast<bool>(f);
}

// The points of a .ds file; empty when it cannot be read.
inline std::vector<Vec3d> readNistPoints(const std::string& path) {
    std::ifstream f(path);
    std::vector<Vec3d> pts;
    std::size_t n = 0;
    if (!(f >> n) || n > 1000000) return pts;
    pts.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        Vec3d p;
        if (!(f >> p.x >> p.y >> p.z)) return {};
        pts.push_back(p);
    }
    return pts;
}

// The numbers of a .fit file.
inline std::vector<double> readNistFit(const std::string& path) {
    std::ifstream f(path);
    std::vector<double> v;
    double x;
    while (f >> x)
        v.push_back(x);
    return v;
}

}  // namespace fit_core_test

#define SKIP_WITHOUT_NIST()                                                                  \
    do {                                                                                     \
        if (!fit_core_test::nistAvailable())                                                 \
            GTEST_SKIP() << "NIST reference data not found in " << fit_core_test::nistDir(); \
    } while (0)
