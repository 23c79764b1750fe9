// Fit framework: the schemes on small fit objects of the test's own (iteration
// counts, fixed parameters, caps, abort, exceptions), the job record and worker
// entry, outlier weighting, the rotation frame and the size-scaled thresholds.
#include <gtest/gtest.h>
#include <omp.h>

#include <Eigen/Dense>

#include <atomic>
#include <cmath>
#include <limits>
#include <random>
#include <stdexcept>
#include <thread>
#include <vector>

#include "FitCoreTestUtils.h"
#include "FitTestUtils.h"
#include "TestHelpers.h"
#include "alg3D/approximate/FitSchemes-inl.h"
#include "alg3D/matrix/Alg3dException.h"
#include "alg3D/matrix/PointStatistics.h"

using alg3D::DMatrix;
using alg3D::Matrix3x3d;
using alg3D::Vec3d;
using namespace alg3D::approximate;
using fit_core_test::Scheme;

namespace {

// Observation and fault injection for ExpFit, shared by its copies.
struct Hooks {
    int estimateCalls = 0;
    int jacobianCalls = 0;
    int abortAtCall = -1;  // buildJacobian call that sets *abortFlag
    std::atomic<bool>* abortFlag = nullptr;
    int throwAtCall = -1;  // buildJacobian call that throws
    bool throwStandard = false;
    int residualCalls = 0;
    int abortAtResiduals = -1;  // computeResiduals call that sets *abortFlag
    int steps = 0;              // applyStep calls
    int jacobiansAtAbort = -1;  // buildJacobian calls when computeResiduals set the flag
};

struct TaggedException : alg3D::Alg3dException {
    TaggedException() : alg3D::Alg3dException("ALG3D::tagged.\n") {}
};

// y = a·exp(b·x) through the points (x, y, ·): residual a·exp(b·x) − y.
class ExpFit {
  public:
    double a = 1.0, b = 0.0;
    ParamState state[2] = {Estimate, Estimate};
    Hooks* hooks = nullptr;

    void estimateInitial(const Vec3d* begin, const Vec3d* end) {
        if (hooks) ++hooks->estimateCalls;
        if (pointCount(begin, end) < 2) alg3D::throwAlg3dException(alg3D::errors::kNotEnoughData);
        // Mean of y and a flat curve: a start that scales with the data.
        if (state[0] == Estimate) {
            double sum = 0.0;
            for (const Vec3d* p = begin; p != end; ++p)
                sum += p->y;
            a = sum / double(pointCount(begin, end));
        }
        if (state[1] == Estimate) b = 0.0;
    }
    std::size_t numFreeParameters() const {
        return std::size_t(state[0] != Fixed) + std::size_t(state[1] != Fixed);
    }
    std::size_t numResidualRows(std::size_t n) const { return n; }
    void buildJacobian(const Vec3d* begin, const Vec3d* end, DMatrix& J, DMatrix& r,
                       bool weighting) const {
        if (hooks) {
            ++hooks->jacobianCalls;
            if (hooks->jacobianCalls == hooks->abortAtCall) *hooks->abortFlag = true;
            if (hooks->jacobianCalls == hooks->throwAtCall) {
                if (hooks->throwStandard) throw std::runtime_error("plain failure");
                throw TaggedException();
            }
        }
        const std::size_t n = pointCount(begin, end);
        J.assign(n, numFreeParameters());
        r.assign(n, 1);
        for (std::size_t i = 0; i < n; ++i) {
            const double e = std::exp(b * begin[i].x);
            r[i] = a * e - begin[i].y;
            std::size_t c = 0;
            if (state[0] != Fixed) J(i, c++) = e;
            if (state[1] != Fixed) J(i, c++) = a * begin[i].x * e;
        }
        if (weighting) applyOutlierWeighting(r, &J, kWeightingMinMeanJacobian);
    }
    void computeResiduals(const Vec3d* begin, const Vec3d* end, DMatrix& r, bool weighting) const {
        if (hooks && ++hooks->residualCalls == hooks->abortAtResiduals) {
            *hooks->abortFlag = true;
            hooks->jacobiansAtAbort = hooks->jacobianCalls;
        }
        const std::size_t n = pointCount(begin, end);
        r.assign(n, 1);
        for (std::size_t i = 0; i < n; ++i)
            r[i] = a * std::exp(b * begin[i].x) - begin[i].y;
        if (weighting) applyOutlierWeighting(r, nullptr, kWeightingMinMeanResiduals);
    }
    void applyStep(const DMatrix& d) {
        if (hooks) ++hooks->steps;
        std::size_t c = 0;
        if (state[0] != Fixed) a += d[c++];
        if (state[1] != Fixed) b += d[c++];
    }
    double deviation(const Vec3d& p) const { return a * std::exp(b * p.x) - p.y; }
};

// Points of y = a·exp(b·x) for x in [0, length], with optional noise in y.
std::vector<Vec3d> expPoints(double a, double b, std::size_t n, double length = 1.0,
                             double noise = 0.0) {
    std::vector<Vec3d> pts;
    for (std::size_t i = 0; i < n; ++i) {
        const double x = length * double(i) / double(n - 1);
        const double wobble = noise * std::sin(37.0 * double(i));
        pts.emplace_back(x, a * std::exp(b * x) + wobble, 0.0);
    }
    return pts;
}

// One parameter x with residual x − target on every point and a Jacobian of 2
// instead of 1: each Gauss-Newton step halves the error, so the iteration count
// shows exactly where the step thresholds stop a run. The points only give the
// data its size (L/2 for points 0 and L on the x axis).
class HalvingFit {
  public:
    double x = 0.0;
    double start = 0.0, target = 0.0;
    ParamState state[1] = {Estimate};

    void estimateInitial(const Vec3d*, const Vec3d*) {
        if (state[0] == Estimate) x = start;
    }
    std::size_t numFreeParameters() const { return state[0] != Fixed ? 1 : 0; }
    std::size_t numResidualRows(std::size_t n) const { return n; }
    void buildJacobian(const Vec3d* begin, const Vec3d* end, DMatrix& J, DMatrix& r, bool) const {
        const std::size_t n = pointCount(begin, end);
        J.assign(n, 1, 2.0);
        r.assign(n, 1, x - target);
    }
    void computeResiduals(const Vec3d* begin, const Vec3d* end, DMatrix& r, bool) const {
        r.assign(pointCount(begin, end), 1, x - target);
    }
    void applyStep(const DMatrix& d) { x += d[0]; }
    double deviation(const Vec3d&) const { return x - target; }
};

template <class FitObj>
std::uint64_t runWith(Scheme s, const std::vector<Vec3d>& pts, FitObj& obj,
                      std::uint64_t maxIterations = 100) {
    return fit_core_test::runScheme(s, pts, obj, maxIterations, false);
}

constexpr Scheme kSchemes[] = {Scheme::GaussNewton, Scheme::LevenbergMarquardt};

}  // namespace

// ---- thresholds and helpers ------------------------------------------------------

TEST(FitFramework, ThresholdsScaleBelowSizeOne) {
    EXPECT_EQ(stepThreshold(1.0), 1e-6);
    EXPECT_EQ(stepThreshold(1e3), 1e-6);
    EXPECT_EQ(stepThreshold(1e9), 1e-6);
    EXPECT_DOUBLE_EQ(stepThreshold(0.05), 5e-8);
    EXPECT_DOUBLE_EQ(stepThreshold(1e-3), 1e-9);
    EXPECT_EQ(stepThreshold(0.0), std::numeric_limits<double>::min());
    EXPECT_EQ(stepThreshold(std::nan("")), std::numeric_limits<double>::min());

    EXPECT_EQ(gradientThreshold(1.0), 1e-6);
    EXPECT_EQ(gradientThreshold(250.0), 1e-6);
    EXPECT_DOUBLE_EQ(gradientThreshold(0.05), 1e-6 * 0.05 * 0.05);
    EXPECT_DOUBLE_EQ(gradientThreshold(1e-3), 1e-12);
    EXPECT_EQ(gradientThreshold(0.0), std::numeric_limits<double>::min());
    EXPECT_DOUBLE_EQ(solveTolerance(0.1), 1e-8);
    EXPECT_EQ(solveTolerance(10.0), 1e-6);
}

TEST(FitFramework, DataSizeIsLargestDistanceFromCentroid) {
    EXPECT_EQ(dataSize(nullptr, nullptr), 0.0);
    std::vector<Vec3d> pts = {Vec3d(1e4, 5.0, 0.0), Vec3d(1e4 + 2.0, 5.0, 0.0),
                              Vec3d(1e4 + 1.0, 5.0, 3.0)};
    // centroid (1e4 + 1, 5, 1): distances √2, √2, 2
    EXPECT_NEAR(dataSize(pts.data(), pts.data() + pts.size()), 2.0, 1e-12);
    EXPECT_EQ(dataSize(pts.data() + 1, pts.data()), 0.0);  // reversed range: no points
    EXPECT_EQ(pointCount(pts.data() + 2, pts.data()), 0u);
    EXPECT_EQ(pointCount(pts.data(), pts.data() + 3), 3u);

    // Large inputs take the parallel path; the brute-force maximum must agree.
    auto rng = testing_helpers::seededRng(7);
    std::uniform_real_distribution<double> uni(-3.0, 3.0);
    std::vector<Vec3d> many(150000);
    for (auto& p : many)
        p = Vec3d(uni(rng), uni(rng), uni(rng));
    const Vec3d c = alg3D::centroid(many);
    double best = 0.0;
    for (const auto& p : many)
        best = std::max(best, (p - c).norm());
    EXPECT_NEAR(dataSize(many.data(), many.data() + many.size()), best, 1e-14);
}

TEST(FitFramework, ReduceAngle2PiKeepsSignAndReducesModulo) {
    EXPECT_EQ(reduceAngle2Pi(1.0), 1.0);
    EXPECT_EQ(reduceAngle2Pi(0.0), 0.0);
    EXPECT_NEAR(reduceAngle2Pi(7.0), 7.0 - 6.283185307179586, 1e-15);
    EXPECT_NEAR(reduceAngle2Pi(-7.0), -7.0 + 6.283185307179586, 1e-15);
    EXPECT_NEAR(reduceAngle2Pi(3.0 * 6.283185307179586 + 0.25), 0.25, 1e-14);
}

// ---- outlier weighting -------------------------------------------------------------

TEST(FitFrameworkWeighting, RemovesEntriesAboveMeanPlusThreeSigmaWithTheirRows) {
    const std::size_t n = 100;
    DMatrix r(n, 1), J(n, 3);
    for (std::size_t i = 0; i < n; ++i) {
        r[i] = 0.01 * double(1 + i % 7);
        for (std::size_t c = 0; c < 3; ++c)
            J(i, c) = double(i + c + 1);
    }
    r[17] = 5.0;  // planted outliers
    r[60] = 3.0;
    const auto stats = alg3D::meanAndStdDev(r.values());
    const double tau = stats.mean + 3.0 * stats.sigma;
    ASSERT_LT(tau, 3.0);
    DMatrix before = r;
    applyOutlierWeighting(r, &J, kWeightingMinMeanJacobian);
    for (std::size_t i = 0; i < n; ++i) {
        if (before[i] > tau) {
            EXPECT_EQ(r[i], 0.0) << i;
            for (std::size_t c = 0; c < 3; ++c)
                EXPECT_EQ(J(i, c), 0.0) << i;
        } else {
            EXPECT_EQ(r[i], before[i]) << i;
            EXPECT_EQ(J(i, 0), double(i + 1)) << i;
        }
    }
    EXPECT_EQ(r[17], 0.0);
    EXPECT_EQ(r[60], 0.0);
    EXPECT_EQ(J.rows(), n);  // the rows stay in the system
}

TEST(FitFrameworkWeighting, IsOneSided) {
    const std::size_t n = 100;
    DMatrix r(n, 1);
    for (std::size_t i = 0; i < n; ++i)
        r[i] = 0.5 + 0.01 * double(i % 5);
    r[3] = -40.0;  // far below μ − 3σ: a signed residual on the other side stays
    r[4] = 40.0;
    applyOutlierWeighting(r, nullptr, kWeightingMinMeanResiduals);
    EXPECT_EQ(r[3], -40.0);
    EXPECT_EQ(r[4], 0.0);
}

TEST(FitFrameworkWeighting, MeanMustExceedTheThreshold) {
    EXPECT_EQ(kWeightingMinMeanJacobian, 1e-6);
    EXPECT_EQ(kWeightingMinMeanResiduals, 1e-7);
    // 99 zeros and one clear outlier: the mean is x/100.
    const std::size_t n = 100;
    const double x = 9e-5;  // mean 9e-7: between the two thresholds
    DMatrix r(n, 1);
    r[42] = x;
    DMatrix J(n, 2, 1.0);
    {
        DMatrix rr = r, jj = J;
        applyOutlierWeighting(rr, &jj, kWeightingMinMeanJacobian);  // mean <= 1e-6: kept
        EXPECT_EQ(rr[42], x);
        EXPECT_EQ(jj(42, 0), 1.0);
    }
    {
        DMatrix rr = r;
        applyOutlierWeighting(rr, nullptr, kWeightingMinMeanResiduals);  // mean > 1e-7
        EXPECT_EQ(rr[42], 0.0);
    }
    // Exactly at the threshold nothing is removed (the test is mean > minMean).
    const double mean = alg3D::meanAndStdDev(r.values()).mean;
    {
        DMatrix rr = r;
        applyOutlierWeighting(rr, nullptr, mean);
        EXPECT_EQ(rr[42], x);
    }
    {
        DMatrix rr = r;
        applyOutlierWeighting(rr, nullptr, std::nextafter(mean, 0.0));
        EXPECT_EQ(rr[42], 0.0);
    }
}

TEST(FitFrameworkWeighting, EmptyColumnAndMismatchedJacobian) {
    DMatrix r, J;
    applyOutlierWeighting(r, &J, 1e-6);  // nothing to do
    DMatrix r3(3, 1, 1.0), j4(4, 2);
    EXPECT_THROW(applyOutlierWeighting(r3, &j4, 1e-6), alg3D::Alg3dException);
}

TEST(FitFrameworkWeighting, LargeColumnsGiveTheSameResultInParallel) {
    const std::size_t n = 150000;
    DMatrix r(n, 1), J(n, 2, 1.0);
    auto rng = testing_helpers::seededRng(3);
    std::uniform_real_distribution<double> uni(0.0, 1.0);
    for (std::size_t i = 0; i < n; ++i)
        r[i] = uni(rng);
    for (std::size_t i = 0; i < n; i += 1000)
        r[i] = 50.0;
    const auto stats = alg3D::meanAndStdDev(r.values());
    const double tau = stats.mean + 3.0 * stats.sigma;
    DMatrix before = r;
    applyOutlierWeighting(r, &J, 1e-6);
    std::size_t removed = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const bool out = before[i] > tau;
        removed += out;
        ASSERT_EQ(r[i], out ? 0.0 : before[i]);
        ASSERT_EQ(J(i, 1), out ? 0.0 : 1.0);
    }
    EXPECT_EQ(removed, n / 1000);
}

// ---- rotation frame ----------------------------------------------------------------

namespace {

void expectRotation(const RotationFrame& f, double tol) {
    const Matrix3x3d& r = f.rotation();
    for (std::size_t i = 0; i < 3; ++i)
        for (std::size_t j = 0; j < 3; ++j)
            EXPECT_NEAR(f.axis(i).dot(f.axis(j)), i == j ? 1.0 : 0.0, tol) << i << "," << j;
    EXPECT_NEAR(alg3D::matrix::determinant(r), 1.0, tol);
}

}  // namespace

TEST(FitFrameworkRotationFrame, SetDirectionAlongPlusAndMinusZ) {
    RotationFrame f;
    f.setDirection(Vec3d(0.0, 0.0, 3.0));
    EXPECT_TRUE(f.rotation() == Matrix3x3d::identity());
    f.setDirection(Vec3d(0.0, 0.0, -0.5));
    const Matrix3x3d half(1.0, 0.0, 0.0, 0.0, -1.0, 0.0, 0.0, 0.0, -1.0);
    EXPECT_TRUE(f.rotation() == half);
    EXPECT_VEC_NEAR(f.direction(), Vec3d(0.0, 0.0, -1.0), 0.0);
    f.setDirection(Vec3d(0.0, 0.0, 0.0));
    EXPECT_TRUE(f.rotation() == Matrix3x3d::identity());
}

TEST(FitFrameworkRotationFrame, SetDirectionRandomAndNearPoles) {
    auto rng = testing_helpers::seededRng(11);
    std::vector<Vec3d> dirs;
    for (int i = 0; i < 200; ++i)
        dirs.push_back(fit_core_test::randomUnit(rng));
    for (double e : {1e-300, 1e-200, 1e-12, 1e-8, 1e-3}) {
        dirs.push_back(Vec3d(e, 0.0, -1.0).normalized());
        dirs.push_back(Vec3d(0.0, -e, -1.0).normalized());
        dirs.push_back(Vec3d(e, e, 1.0).normalized());
    }
    dirs.push_back(Vec3d(1.0, 0.0, 0.0));
    dirs.push_back(Vec3d(0.0, -1.0, 0.0));
    for (const Vec3d& d : dirs) {
        RotationFrame f;
        f.setDirection(7.0 * d);
        EXPECT_VEC_NEAR(f.direction(), d, 4e-16);
        expectRotation(f, 4e-15);
        // The smallest rotation taking z to d: its axis lies in the xy plane, so the
        // frame's first two axes keep no component about z beyond the tilt.
        const Vec3d zAxis(0.0, 0.0, 1.0);
        const Vec3d k = zAxis.cross(d);
        if (k.norm() > 1e-6) {
            // The rotation axis is fixed by the rotation.
            EXPECT_VEC_NEAR(f.toWorld(k.normalized()), k.normalized(), 1e-14);
        }
        // toLocal and toWorld are inverse.
        const Vec3d v(0.3, -2.0, 5.0);
        EXPECT_VEC_NEAR(f.toWorld(f.toLocal(v)), v, 1e-14);
        EXPECT_VEC_NEAR(f.toLocal(d), zAxis, 1e-15);
    }
}

TEST(FitFrameworkRotationFrame, RotateTurnsAboutTheFramesOwnAxes) {
    auto rng = testing_helpers::seededRng(12);
    std::uniform_real_distribution<double> ang(-1.5, 1.5);
    for (int trial = 0; trial < 50; ++trial) {
        RotationFrame f;
        f.setDirection(fit_core_test::randomUnit(rng));
        const double a1 = ang(rng), a2 = ang(rng);
        Eigen::Matrix3d r0;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                r0(i, j) = f.rotation()(std::size_t(i), std::size_t(j));
        const Eigen::Matrix3d expected = r0 *
                                         Eigen::AngleAxisd(a1, Eigen::Vector3d::UnitX()).matrix() *
                                         Eigen::AngleAxisd(a2, Eigen::Vector3d::UnitY()).matrix();
        f.rotate(a1, a2);
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                EXPECT_NEAR(f.rotation()(std::size_t(i), std::size_t(j)), expected(i, j), 1e-14);
    }
}

TEST(FitFrameworkRotationFrame, StaysOrthonormalOverManySteps) {
    auto rng = testing_helpers::seededRng(13);
    std::uniform_real_distribution<double> ang(-0.7, 0.7);
    RotationFrame f;
    f.setDirection(Vec3d(1.0, 2.0, 3.0));
    for (int i = 0; i < 5000; ++i)
        f.rotate(ang(rng), ang(rng));
    expectRotation(f, 2e-15);
}

TEST(FitFrameworkRotationFrame, AngleDerivativesMatchFiniteDifferences) {
    auto rng = testing_helpers::seededRng(14);
    std::uniform_real_distribution<double> uni(-10.0, 10.0);
    const double h = 1e-5;
    for (int trial = 0; trial < 100; ++trial) {
        RotationFrame f;
        f.setDirection(fit_core_test::randomUnit(rng));
        const Vec3d v(uni(rng), uni(rng), uni(rng));
        const Vec3d q = f.toLocal(v);
        RotationFrame p1 = f, m1 = f, p2 = f, m2 = f;
        p1.rotate(h, 0.0);
        m1.rotate(-h, 0.0);
        p2.rotate(0.0, h);
        m2.rotate(0.0, -h);
        const Vec3d d1 = (p1.toLocal(v) - m1.toLocal(v)) / (2.0 * h);
        const Vec3d d2 = (p2.toLocal(v) - m2.toLocal(v)) / (2.0 * h);
        // Central differences: error O(h²·|v|) ≈ 1e-9 plus rounding 1e-15·|v|/h.
        EXPECT_VEC_NEAR(d1, f.dLocalDAngle1(q), 2e-9 * v.norm());
        EXPECT_VEC_NEAR(d2, f.dLocalDAngle2(q), 2e-9 * v.norm());
    }
}

// ---- schemes -------------------------------------------------------------------------

TEST(FitFrameworkSchemes, BothConvergeOnExactData) {
    const auto pts = expPoints(2.0, 0.5, 30);
    for (Scheme s : kSchemes) {
        ExpFit fit;
        const auto it = runWith(s, pts, fit);
        SCOPED_TRACE(fit_core_test::schemeName(s));
        EXPECT_NEAR(fit.a, 2.0, 1e-12);
        EXPECT_NEAR(fit.b, 0.5, 1e-12);
        EXPECT_GT(it, 0u);
        EXPECT_LT(it, 30u);
    }
}

TEST(FitFrameworkSchemes, GaussNewtonStopsOnTheFirstSmallStep) {
    // Started at the solution: the first step is 0, which stops at once.
    const auto pts = expPoints(2.0, 0.5, 30);
    ExpFit fit;
    fit.state[0] = fit.state[1] = Given;
    fit.a = 2.0;
    fit.b = 0.5;
    Hooks hooks;
    fit.hooks = &hooks;
    EXPECT_EQ(runWith(Scheme::GaussNewton, pts, fit), 0u);
    EXPECT_EQ(hooks.jacobianCalls, 1);
    // Levenberg-Marquardt's gradient test fires before any iteration.
    hooks = Hooks();
    EXPECT_EQ(runWith(Scheme::LevenbergMarquardt, pts, fit), 0u);
    EXPECT_EQ(hooks.jacobianCalls, 1);
    EXPECT_NEAR(fit.a, 2.0, 1e-15);
}

TEST(FitFrameworkSchemes, AllParametersFixedGiveZeroIterationsAfterTheEstimate) {
    const auto pts = expPoints(2.0, 0.5, 10);
    for (Scheme s : kSchemes) {
        ExpFit fit;
        Hooks hooks;
        fit.hooks = &hooks;
        fit.state[0] = fit.state[1] = Fixed;
        fit.a = 3.0;
        fit.b = -1.0;
        std::atomic<bool> abort{false};
        std::atomic<float> progress{0.0f};
        const auto it = s == Scheme::GaussNewton
                            ? approximateGaussNewton(pts.data(), pts.data() + pts.size(), fit, 100,
                                                     false, abort, progress)
                            : approximateLevenbergMarquardt(pts.data(), pts.data() + pts.size(),
                                                            fit, 100, false, abort, progress);
        EXPECT_EQ(it, 0u);
        EXPECT_EQ(hooks.estimateCalls, 1);
        EXPECT_EQ(hooks.jacobianCalls, 0);
        EXPECT_EQ(fit.a, 3.0);
        EXPECT_EQ(fit.b, -1.0);
        EXPECT_EQ(progress.load(), 100.0f);
    }
}

TEST(FitFrameworkSchemes, OneFixedParameterStaysAndTheOtherIsFitted) {
    const auto pts = expPoints(2.0, 0.5, 20);
    for (Scheme s : kSchemes) {
        ExpFit fit;
        fit.state[0] = Fixed;
        fit.a = 2.0;
        runWith(s, pts, fit);
        EXPECT_EQ(fit.a, 2.0);
        EXPECT_NEAR(fit.b, 0.5, 1e-12);
    }
}

TEST(FitFrameworkSchemes, MaxIterationsZeroPerformsNoStep) {
    const auto pts = expPoints(2.0, 0.5, 20);
    for (Scheme s : kSchemes) {
        ExpFit fit;
        Hooks hooks;
        fit.hooks = &hooks;
        EXPECT_EQ(runWith(s, pts, fit, 0), 0u);
        ExpFit estimated;
        estimated.estimateInitial(pts.data(), pts.data() + pts.size());
        EXPECT_EQ(fit.a, estimated.a);  // as estimated
        EXPECT_EQ(fit.b, 0.0);
        EXPECT_EQ(hooks.estimateCalls, 1);
    }
}

TEST(FitFrameworkSchemes, CapIsReportedAsMaxIterations) {
    const auto pts = expPoints(2.0, 3.0, 20);
    for (Scheme s : kSchemes) {
        ExpFit fit;
        EXPECT_EQ(runWith(s, pts, fit, 2), 2u) << fit_core_test::schemeName(s);
    }
}

TEST(FitFrameworkSchemes, AbortStopsBeforeTheNextIteration) {
    const auto pts = expPoints(2.0, 3.0, 20);
    // Gauss-Newton builds one Jacobian per iteration: an abort during the third ends
    // the run before that iteration's step.
    {
        ExpFit fit;
        Hooks hooks;
        std::atomic<bool> abort{false};
        std::atomic<float> progress{0.0f};
        hooks.abortAtCall = 3;
        hooks.abortFlag = &abort;
        fit.hooks = &hooks;
        const auto it = approximateGaussNewton(pts.data(), pts.data() + pts.size(), fit, 100, false,
                                               abort, progress);
        EXPECT_EQ(it, 2u);
        EXPECT_EQ(hooks.jacobianCalls, 3);
        EXPECT_EQ(hooks.steps, 2);
    }
    // Levenberg-Marquardt: the loop ends before its next iteration as well.
    {
        ExpFit fit;
        Hooks hooks;
        std::atomic<bool> abort{false};
        std::atomic<float> progress{0.0f};
        hooks.abortAtCall = 3;
        hooks.abortFlag = &abort;
        fit.hooks = &hooks;
        const auto it = approximateLevenbergMarquardt(pts.data(), pts.data() + pts.size(), fit, 100,
                                                      false, abort, progress);
        EXPECT_EQ(hooks.jacobianCalls, 3);
        EXPECT_LT(it, 100u);
        EXPECT_FALSE(std::abs(fit.b - 3.0) < 1e-12);  // stopped short of the solution
    }
}

// One pass over a big cloud takes long, so the schemes stop at the next pass, not at the
// next iteration: no Jacobian after an abort during the trial residuals, no step after
// an abort during a Jacobian (the first one included).
TEST(FitFrameworkSchemes, AbortStopsAtTheNextPassOverThePoints) {
    const auto pts = expPoints(2.0, 3.0, 20);
    for (const int abortAt : {1, 2, 3}) {
        ExpFit fit;
        Hooks hooks;
        std::atomic<bool> abort{false};
        std::atomic<float> progress{0.0f};
        hooks.abortAtResiduals = abortAt;
        hooks.abortFlag = &abort;
        fit.hooks = &hooks;
        approximateLevenbergMarquardt(pts.data(), pts.data() + pts.size(), fit, 100, false, abort,
                                      progress);
        EXPECT_EQ(hooks.residualCalls, abortAt);
        EXPECT_EQ(hooks.jacobianCalls, hooks.jacobiansAtAbort);
        EXPECT_EQ(progress.load(), 100.0f);
    }
    {
        ExpFit fit;
        Hooks hooks;
        std::atomic<bool> abort{false};
        std::atomic<float> progress{0.0f};
        hooks.abortAtCall = 1;
        hooks.abortFlag = &abort;
        fit.hooks = &hooks;
        EXPECT_EQ(approximateLevenbergMarquardt(pts.data(), pts.data() + pts.size(), fit, 100,
                                                false, abort, progress),
                  0u);
        EXPECT_EQ(hooks.residualCalls, 0);
        EXPECT_EQ(hooks.steps, 0);
    }
    for (const int abortAt : {1, 2}) {
        ExpFit fit;
        Hooks hooks;
        std::atomic<bool> abort{false};
        std::atomic<float> progress{0.0f};
        hooks.abortAtCall = abortAt;
        hooks.abortFlag = &abort;
        fit.hooks = &hooks;
        approximateGaussNewton(pts.data(), pts.data() + pts.size(), fit, 100, false, abort,
                               progress);
        EXPECT_EQ(hooks.jacobianCalls, abortAt);
        EXPECT_EQ(hooks.steps, abortAt - 1);
    }
}

TEST(FitFrameworkSchemes, Alg3dExceptionInsideAnIterationArrivesAsACopy) {
    const auto pts = expPoints(2.0, 0.5, 20);
    for (Scheme s : kSchemes) {
        ExpFit fit;
        Hooks hooks;
        hooks.throwAtCall = 2;
        fit.hooks = &hooks;
        try {
            runWith(s, pts, fit);
            ADD_FAILURE() << "no exception";
        } catch (const alg3D::Alg3dException& e) {
            EXPECT_STREQ(e.what(), "ALG3D::tagged.\n");
            // A copy of the Alg3dException part, not the derived object thrown.
            EXPECT_EQ(dynamic_cast<const TaggedException*>(&e), nullptr);
        }
    }
}

TEST(FitFrameworkSchemes, ProgressEndsAtHundred) {
    const auto pts = expPoints(2.0, 0.5, 20);
    std::atomic<bool> abort{false};
    std::atomic<float> progress{-5.0f};
    ExpFit fit;
    approximateGaussNewton(pts.data(), pts.data() + pts.size(), fit, 7, false, abort, progress);
    EXPECT_EQ(progress.load(), 100.0f);
    progress = -5.0f;
    approximateLevenbergMarquardt(pts.data(), pts.data() + pts.size(), fit, 7, false, abort,
                                  progress);
    EXPECT_EQ(progress.load(), 100.0f);
}

// ---- unit-independent stopping -----------------------------------------------------

TEST(FitFrameworkSchemes, StepThresholdsStopAtTheSameRelativeErrorInAnyUnitBelowOne) {
    // The same part in units that make its size 1, 0.05 and 0.001 stops after the
    // same number of halvings, with the same error relative to its size. With an
    // absolute 1e-6 the smaller units would stop 20 and 1000 times earlier.
    std::uint64_t iterationsAtOne = 0;
    double relativeErrorAtOne = 0.0;
    for (double size : {1.0, 0.05, 1e-3}) {
        const std::vector<Vec3d> pts = {Vec3d(0.0, 0.0, 0.0), Vec3d(2.0 * size, 0.0, 0.0)};
        ASSERT_DOUBLE_EQ(dataSize(pts.data(), pts.data() + 2), size);
        HalvingFit fit;
        fit.start = 0.8 * size;
        fit.target = 0.3 * size;
        const auto it = runWith(Scheme::GaussNewton, pts, fit);
        const double rel = std::abs(fit.x - fit.target) / size;
        if (size == 1.0) {
            iterationsAtOne = it;
            relativeErrorAtOne = rel;
            // 0.5·2⁻ᵏ⁻¹ < 1e-6 first for k = 18: the step that stops is applied.
            EXPECT_EQ(it, 18u);
        } else {
            EXPECT_EQ(it, iterationsAtOne) << size;
            EXPECT_NEAR(rel, relativeErrorAtOne, 1e-15) << size;
        }
        EXPECT_LT(rel, 1e-6);
    }
    // Above size 1 the absolute 1e-6 stays: a larger part is fitted further.
    const std::vector<Vec3d> big = {Vec3d(0.0, 0.0, 0.0), Vec3d(2000.0, 0.0, 0.0)};
    HalvingFit fit;
    fit.start = 800.0;
    fit.target = 300.0;
    EXPECT_EQ(runWith(Scheme::GaussNewton, big, fit), 28u);
    EXPECT_LT(std::abs(fit.x - fit.target), 1e-6);
}

TEST(FitFrameworkSchemes, BothSchemesGiveTheSameRelativeResultInAnyUnit) {
    // y = L·2·exp(0.5·x/L) with noise of 1e-3·L over x in [0, L]: a is a length,
    // b an inverse length, so the fit in units of L must give the same a/L and b·L.
    for (Scheme scheme : kSchemes) {
        double aRef = 0.0, bRef = 0.0;
        for (double length : {1.0, 0.05, 1e-3, 1e3}) {
            const auto pts = expPoints(2.0 * length, 0.5 / length, 40, length, 1e-3 * length);
            ExpFit fit;
            const auto it = runWith(scheme, pts, fit);
            EXPECT_LT(it, 100u);
            const double a = fit.a / length, b = fit.b * length;
            if (length == 1.0) {
                aRef = a;
                bRef = b;
            } else {
                EXPECT_NEAR(a, aRef, 1e-9) << fit_core_test::schemeName(scheme) << " " << length;
                EXPECT_NEAR(b, bRef, 1e-9) << fit_core_test::schemeName(scheme) << " " << length;
            }
        }
        EXPECT_NEAR(aRef, 2.0, 1e-3);
        EXPECT_NEAR(bRef, 0.5, 1e-3);
    }
}

// ---- job record and worker entry -------------------------------------------------

TEST(FitFrameworkRecord, DefaultsAndRunByMethod) {
    ParamFitGeometry<ExpFit> param;
    EXPECT_FALSE(param.abort.load());
    EXPECT_EQ(param.progress.load(), 0.0f);
    EXPECT_EQ(param.numThreads, omp_get_num_procs());
    EXPECT_EQ(param.method, kGaussNewton);
    EXPECT_FALSE(param.weighting);
    EXPECT_EQ(param.maxIterations, 100u);
    EXPECT_EQ(param.begin, nullptr);
    EXPECT_EQ(param.fitObj, nullptr);
    EXPECT_EQ(param.iterations, 0u);
    EXPECT_EQ(param.duration, "-");

    EXPECT_EQ(param.run(), 0u);  // no fit object: nothing to do

    const auto pts = expPoints(2.0, 0.5, 25);
    param.begin = pts.data();
    param.end = pts.data() + pts.size();
    for (int method : {kGaussNewton, kLevenbergMarquardt}) {
        ExpFit fit;
        param.fitObj = &fit;
        param.method = method;
        // An abort set before the run is kept and ends it at once.
        param.abort = true;
        param.progress = 42.0f;
        EXPECT_EQ(param.run(), 0u) << method;
        EXPECT_EQ(fit.b, ExpFit().b);
        EXPECT_EQ(param.progress.load(), 100.0f);
        EXPECT_TRUE(param.abort.load());
        param.abort = false;
        param.progress = 42.0f;
        EXPECT_GT(param.run(), 0u) << method;
        EXPECT_NEAR(fit.b, 0.5, 1e-12);
        EXPECT_EQ(param.progress.load(), 100.0f);
    }
    for (int method : {3, -1}) {
        ExpFit fit;
        Hooks hooks;
        fit.hooks = &hooks;
        fit.a = 7.0;
        param.fitObj = &fit;
        param.method = method;
        EXPECT_EQ(param.run(), 0u) << method;
        EXPECT_EQ(hooks.estimateCalls, 0);
        EXPECT_EQ(fit.a, 7.0);
    }
}

TEST(FitFrameworkRecord, AbortDuringRunThroughTheRecord) {
    const auto pts = expPoints(2.0, 3.0, 20);
    ParamFitGeometry<ExpFit> param;
    ExpFit fit;
    Hooks hooks;
    hooks.abortAtCall = 2;
    hooks.abortFlag = &param.abort;
    fit.hooks = &hooks;
    param.begin = pts.data();
    param.end = pts.data() + pts.size();
    param.fitObj = &fit;
    EXPECT_EQ(param.run(), 1u);  // the second iteration stops before its step
    EXPECT_EQ(hooks.jacobianCalls, 2);
}

TEST(FitFrameworkRecord, FitGeometryStoresResultsAndSetsFinished) {
    const auto pts = expPoints(2.0, 0.5, 25);
    ParamFitGeometry<ExpFit> param;
    ExpFit fit;
    param.begin = pts.data();
    param.end = pts.data() + pts.size();
    param.fitObj = &fit;
    param.method = kLevenbergMarquardt;
    std::atomic<bool> finished{true};
    std::exception_ptr error;
    std::thread worker(fitGeometry<ExpFit, Vec3d>, std::ref(param), std::ref(finished),
                       std::ref(error));
    worker.join();
    EXPECT_TRUE(finished.load());
    EXPECT_FALSE(error);
    EXPECT_GT(param.iterations, 0u);
    EXPECT_NE(param.duration, "-");
    EXPECT_NE(param.duration.find("ms"), std::string::npos);
    EXPECT_NEAR(fit.b, 0.5, 1e-12);
}

TEST(FitFrameworkRecord, FitGeometryStoresExceptionsAndSetsFinished) {
    const auto pts = expPoints(2.0, 0.5, 25);
    // Too few points: the estimate's message reaches the controlling thread.
    {
        ParamFitGeometry<ExpFit> param;
        ExpFit fit;
        param.begin = pts.data();
        param.end = pts.data() + 1;
        param.fitObj = &fit;
        std::atomic<bool> finished{false};
        std::exception_ptr error;
        fitGeometry(param, finished, error);
        EXPECT_TRUE(finished.load());
        ASSERT_TRUE(error);
        try {
            std::rethrow_exception(error);
        } catch (const alg3D::Alg3dException& e) {
            EXPECT_STREQ(e.what(), "ALG3D::not enough data for geometry approximation.\n");
        }
        EXPECT_EQ(param.iterations, 0u);
    }
    // Any other exception is stored as well.
    {
        ParamFitGeometry<ExpFit> param;
        ExpFit fit;
        Hooks hooks;
        hooks.throwAtCall = 1;
        hooks.throwStandard = true;
        fit.hooks = &hooks;
        param.begin = pts.data();
        param.end = pts.data() + pts.size();
        param.fitObj = &fit;
        std::atomic<bool> finished{false};
        std::exception_ptr error;
        fitGeometry(param, finished, error);
        EXPECT_TRUE(finished.load());
        ASSERT_TRUE(error);
        EXPECT_THROW(std::rethrow_exception(error), std::runtime_error);
    }
}
